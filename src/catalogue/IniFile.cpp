#include "IniFile.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "platform/Text.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<std::int32_t> ParseInt32(std::string_view text) {
  text = TrimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > std::int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::size_t TIniFile::FindSection(std::string_view name) const {
  // Each name has one section, so the one beside the last found is the one when its name fits.
  const std::size_t next = FLastFound.load(std::memory_order_relaxed) + 1;
  if (next < FSections.size() && SameTextAscii(FSections[next].Name, name)) {
    FLastFound.store(next, std::memory_order_relaxed);
    return next;
  }
  std::size_t found = kNone;
  FIndex.Probe(name, [&](std::size_t s) {
    if (!SameTextAscii(FSections[s].Name, name)) return false;
    found = s;
    return true;
  });
  if (found != kNone) FLastFound.store(found, std::memory_order_relaxed);
  return found;
}

std::size_t TIniFile::AddSection(std::string_view name) {
  const auto added = static_cast<std::uint32_t>(FSections.size());
  const std::uint32_t found = FIndex.Insert(
      name, added, [&](std::size_t s) { return SameTextAscii(FSections[s].Name, name); });
  if (found == added) FSections.push_back({name});
  return found;
}

void TIniFile::Parse(std::string text) {
  FText = std::move(text);
  FLastFound = kNone;
  const std::string_view all(FText);
  // A game's section, the shortest there are in number, takes some sixty bytes or more.
  const std::size_t expected = all.size() / 64;
  FSections.clear();
  FSections.reserve(expected);
  FParts.clear();
  FParts.reserve(expected);
  FIndex = TFoldedIndex(expected);
  // An editor may have put a UTF-8 byte-order mark before the first section.
  std::size_t at = all.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;  // where the line starts
  // Lines before the first section belong to none.
  std::size_t open = kNone;  // the part being read
  while (at < all.size()) {
    // The last line may end without a line break.
    const std::size_t end = std::min(all.find('\n', at), all.size());
    const std::size_t start = at;
    at = end == all.size() ? end : end + 1;
    const std::string_view trimmed = TrimBlanks(all.substr(start, end - start));
    if (trimmed.empty() || trimmed.front() != '[') continue;
    std::string_view name = trimmed.substr(1);
    const std::size_t close = name.find(']');
    if (close != std::string_view::npos) name = name.substr(0, close);
    if (open != kNone) FParts[open].End = start;
    // A repeated section adds its lines to the first one's, where look-ups find the first key.
    TSection& section = FSections[AddSection(TrimBlanks(name))];
    open = FParts.size();
    FParts.push_back({at, all.size()});
    if (section.LastPart == kNone)
      section.FirstPart = open;
    else
      FParts[section.LastPart].Next = open;
    section.LastPart = open;
  }
}

template <typename Visit>
bool TIniFile::ForEachKey(const TSection& section, Visit visit) const {
  for (std::size_t p = section.FirstPart; p != kNone; p = FParts[p].Next) {
    std::string_view rest(FText.data() + FParts[p].Begin, FParts[p].End - FParts[p].Begin);
    while (!rest.empty()) {
      const std::size_t eol = rest.find('\n');
      std::string_view line = rest.substr(0, eol);
      rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      const std::string_view trimmed = TrimBlanks(line);
      if (trimmed.empty() || trimmed.front() == ';') continue;
      const std::size_t eq = line.find('=');
      if (eq == std::string_view::npos) continue;
      const std::string_view key = TrimBlanks(line.substr(0, eq));
      if (!key.empty() && visit(key, line.substr(eq + 1))) return true;
    }
  }
  return false;
}

const TIniFile::TSection* TIniFile::Find(std::string_view section) const {
  const std::size_t s = FindSection(section);
  return s == kNone ? nullptr : &FSections[s];
}

bool TIniFile::SectionHasEntries(std::string_view section) const {
  const TSection* s = Find(section);
  return s != nullptr && ForEachKey(*s, [](std::string_view, std::string_view) { return true; });
}

TIniFile::TSectionReader::TSectionReader(const TIniFile& ini, const TSection* section)
    : FIni(ini), FSection(section) {
  if (FSection != nullptr)
    FIni.ForEachKey(*FSection, [this](std::string_view name, std::string_view value) {
      if (FHeld == kHeld) return FMore = true;
      FKeys[FHeld++] = {name, value};
      return false;
    });
}

std::optional<std::string_view> TIniFile::TSectionReader::Value(std::string_view key) const {
  for (std::size_t i = 0; i < FHeld; ++i)
    if (SameTextAscii(FKeys[i].first, key)) return FKeys[i].second;
  std::optional<std::string_view> found;
  if (FMore)
    FIni.ForEachKey(*FSection, [&](std::string_view name, std::string_view value) {
      if (!SameTextAscii(name, key)) return false;
      found = value;
      return true;
    });
  return found;
}

std::string TIniFile::TSectionReader::ReadString(std::string_view key,
                                                 std::string_view def) const {
  return std::string(Value(key).value_or(def));
}

std::int32_t TIniFile::TSectionReader::ReadInteger(std::string_view key, std::int32_t def) const {
  const auto value = Value(key);
  if (!value) return def;
  return ParseInt32(*value).value_or(def);
}

bool TIniFile::TSectionReader::ReadBool(std::string_view key, bool def) const {
  return ReadInteger(key, def ? 1 : 0) != 0;
}

std::optional<std::string_view> TIniFile::Value(std::string_view section,
                                                std::string_view key) const {
  return Section(section).Value(key);
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view def) const {
  return Section(section).ReadString(key, def);
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                                   std::int32_t def) const {
  return Section(section).ReadInteger(key, def);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return Section(section).ReadBool(key, def);
}

std::vector<std::string_view> TIniFile::SectionNames() const {
  std::vector<std::string_view> names;
  names.reserve(FSections.size());
  for (const TSection& s : FSections) names.push_back(s.Name);
  return names;
}

void TIniWriter::Section(std::string_view name) {
  if (FOpen) FText += "\r\n";
  FText += '[';
  FText += name;
  FText += "]\r\n";
  FOpen = true;
}

void TIniWriter::WriteString(std::string_view key, std::string_view value) {
  FText += key;
  FText += '=';
  FText += value;
  FText += "\r\n";
}

void TIniWriter::WriteInteger(std::string_view key, std::int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  WriteString(key, std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

std::string TIniWriter::Text() const {
  return FOpen ? FText + "\r\n" : FText;
}
