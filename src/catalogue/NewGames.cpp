#include "NewGames.h"

#include "platform/Text.h"

void TNewGames::Add(std::string_view name) {
  const auto at = static_cast<std::uint32_t>(FNames.size());
  FNames.append(name);
  FIndex.Add(name, static_cast<std::uint32_t>(FEntries.size()));
  FEntries.push_back({at, static_cast<std::uint32_t>(name.size()), false});
  ++FCount;
}

std::size_t TNewGames::FindHeld(std::string_view name) const {
  // Case variants of one name are few: the oldest of those still held.
  std::size_t first = FEntries.size();
  FIndex.Probe(name, [&](std::size_t i) {
    if (i < first && !FEntries[i].Removed && SameTextAscii(Name(i), name)) first = i;
    return false;
  });
  return first;
}

bool TNewGames::Contains(std::string_view name) const {
  return FindHeld(name) < FEntries.size();
}

bool TNewGames::Remove(std::string_view name) {
  const std::size_t i = FindHeld(name);
  if (i == FEntries.size()) return false;
  FEntries[i].Removed = true;
  --FCount;
  return true;
}

std::string TNewGames::First() const {
  while (FFirst < FEntries.size() && FEntries[FFirst].Removed) ++FFirst;
  return FFirst < FEntries.size() ? std::string(Name(FFirst)) : std::string();
}

std::vector<std::string> TNewGames::Names() const {
  std::vector<std::string> names;
  names.reserve(FCount);
  for (std::size_t i = 0; i < FEntries.size(); ++i)
    if (!FEntries[i].Removed) names.emplace_back(Name(i));
  return names;
}
