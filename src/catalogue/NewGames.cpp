#include "NewGames.h"

#include "platform/Text.h"

void TNewGames::Add(std::string name) {
  FIndex[LowerAscii(name)].push_back(FEntries.size());
  FEntries.push_back({std::move(name), false});
  ++FCount;
}

bool TNewGames::Contains(std::string_view name) const {
  return FIndex.find(LowerAscii(name)) != FIndex.end();
}

bool TNewGames::Remove(std::string_view name) {
  const auto it = FIndex.find(LowerAscii(name));
  if (it == FIndex.end()) return false;
  std::vector<std::size_t>& indices = it->second;
  FEntries[indices.front()].Removed = true;
  indices.erase(indices.begin());  // case variants of one name are few; this stays cheap
  if (indices.empty()) FIndex.erase(it);
  --FCount;
  return true;
}

const std::string& TNewGames::First() const {
  static const std::string none;
  while (FFirst < FEntries.size() && FEntries[FFirst].Removed) ++FFirst;
  return FFirst < FEntries.size() ? FEntries[FFirst].Name : none;
}

std::vector<std::string> TNewGames::Names() const {
  std::vector<std::string> names;
  names.reserve(FCount);
  for (const TEntry& e : FEntries)
    if (!e.Removed) names.push_back(e.Name);
  return names;
}
