#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The settings file's sections-and-keys layout. Reading is forgiving (any letter case, comments,
// LF or CRLF, blanks around names); writing is exact: CRLF lines, "key=value" without blanks, one
// empty line after each section, sections and keys in the order they are written.

/// A parsed sections-and-keys text. Section look-up is hashed and keys are searched within their
/// section only, so reading every section of a large file costs time linear in its size.
class TIniFile {
 public:
  TIniFile() = default;
  explicit TIniFile(std::string_view text) { Parse(text); }
  // The parsed views point into the object's own copy of the text.
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;

  void Parse(std::string_view text);

  bool SectionExists(std::string_view section) const { return Find(section) != nullptr; }

  /// True when the section exists and holds at least one key line.
  bool SectionHasEntries(std::string_view section) const;

  /// The value of the first key of that name: the text after the first "=", unchanged.
  std::optional<std::string_view> Value(std::string_view section, std::string_view key) const;

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;

  /// A decimal 32-bit number, blanks around it allowed; anything else yields def.
  std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const;

  /// Read as an integer: not 0 means true; a value that is no number yields def.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;

  /// The sections in the order of the text, a repeated name counted once, by their first spelling.
  std::vector<std::string_view> SectionNames() const;

 private:
  struct TKey {
    std::string_view Name;
    std::string_view Value;
  };
  struct TSection {
    std::string_view Name;
    std::vector<TKey> Keys;
  };
  const TSection* Find(std::string_view section) const;

  std::string FText;  // the views below point into it
  std::vector<TSection> FSections;
  std::unordered_map<std::string, std::size_t> FIndex;  // lower-case name -> FSections index
};

/// Parses a decimal 32-bit signed number with optional sign and surrounding blanks.
std::optional<std::int32_t> ParseInt32(std::string_view text);

/// Builds a settings text from scratch, exactly as it will be stored.
class TIniWriter {
 public:
  /// Starts a section; the previous one is closed with its empty line.
  void Section(std::string_view name);
  void WriteString(std::string_view key, std::string_view value);
  void WriteInteger(std::string_view key, std::int64_t value);
  void WriteBool(std::string_view key, bool value) { WriteString(key, value ? "1" : "0"); }

  /// The finished text: the last section closed with its empty line.
  std::string Text() const;

  void Reserve(std::size_t bytes) { FText.reserve(bytes); }

 private:
  std::string FText;
  bool FOpen = false;
};
