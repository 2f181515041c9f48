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

std::size_t TIniFile::Probe(std::string_view name) const {
  const std::size_t mask = FTable.size() - 1;
  std::size_t at = HashAsciiFolded(name) & mask;
  while (FTable[at] != kNoSection && !SameTextAscii(FSections[FTable[at]].Name, name))
    at = (at + 1) & mask;
  return at;
}

std::size_t TIniFile::AddSection(std::string_view name) {
  // Kept at most half full, so probes stay short.
  if ((FSections.size() + 1) * 2 > FTable.size()) {
    FTable.assign(std::max<std::size_t>(64, FTable.size() * 2), kNoSection);
    for (std::size_t s = 0; s < FSections.size(); ++s) FTable[Probe(FSections[s].Name)] = s;
  }
  const std::size_t at = Probe(name);
  if (FTable[at] == kNoSection) {
    FTable[at] = FSections.size();
    FSections.push_back({name});
  }
  return FTable[at];
}

void TIniFile::Parse(std::string text) {
  FText = std::move(text);
  FSections.clear();
  FKeys.clear();
  FTable.clear();
  // Every key and section takes a line: room for them all is reserved, and pages never used are
  // never touched.
  const auto lines = static_cast<std::size_t>(std::count(FText.begin(), FText.end(), '\n')) + 1;
  FKeys.reserve(lines);
  std::string_view rest(FText);
  // An editor may have put a UTF-8 byte-order mark before the first section.
  if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
  std::size_t current = kNoSection;  // keys before the first section belong to none
  bool grouped = true;               // false once a section's keys are split by another's
  while (!rest.empty()) {
    const std::size_t eol = rest.find('\n');
    std::string_view line = rest.substr(0, eol);
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed.front() == ';') continue;
    if (trimmed.front() == '[') {
      std::string_view name = trimmed.substr(1);
      const std::size_t close = name.find(']');
      if (close != std::string_view::npos) name = name.substr(0, close);
      // A repeated section adds its keys to the first one, where look-ups find the first key.
      current = AddSection(TrimBlanks(name));
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || current == kNoSection) continue;
    const std::string_view key = TrimBlanks(line.substr(0, eq));
    if (key.empty()) continue;
    if (!FKeys.empty() && FKeys.back().Section > current) grouped = false;
    FKeys.push_back({key, line.substr(eq + 1), current});
  }
  // Keys of a repeated section join those of its first appearance, each group in text order.
  if (!grouped)
    std::stable_sort(FKeys.begin(), FKeys.end(),
                     [](const TKey& a, const TKey& b) { return a.Section < b.Section; });
  for (std::size_t k = 0; k < FKeys.size(); ++k) {
    TSection& section = FSections[FKeys[k].Section];
    if (section.KeyCount++ == 0) section.FirstKey = k;
  }
}

const TIniFile::TSection* TIniFile::Find(std::string_view section) const {
  if (FTable.empty()) return nullptr;
  const std::size_t s = FTable[Probe(section)];
  return s == kNoSection ? nullptr : &FSections[s];
}

bool TIniFile::SectionHasEntries(std::string_view section) const {
  const TSection* s = Find(section);
  return s != nullptr && s->KeyCount != 0;
}

std::optional<std::string_view> TIniFile::Value(std::string_view section,
                                                std::string_view key) const {
  const TSection* s = Find(section);
  if (s == nullptr) return std::nullopt;
  for (std::size_t k = s->FirstKey; k < s->FirstKey + s->KeyCount; ++k)
    if (SameTextAscii(FKeys[k].Name, key)) return FKeys[k].Value;
  return std::nullopt;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view def) const {
  return std::string(Value(section, key).value_or(def));
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                                   std::int32_t def) const {
  const auto value = Value(section, key);
  if (!value) return def;
  return ParseInt32(*value).value_or(def);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
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
