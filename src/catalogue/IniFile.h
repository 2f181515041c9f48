#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The settings file's sections-and-keys layout. Reading is forgiving (any letter case, comments,
// LF or CRLF, blanks around names); writing is exact: CRLF lines, "key=value" without blanks, one
// empty line after each section, sections and keys in the order they are written.

/// A parsed sections-and-keys text. Section look-up is hashed and keys are searched within their
/// section only, so reading every section of a large file costs time linear in its size. The
/// parse keeps views into the text and a few flat tables, so a file of fifty thousand sections
/// costs a few allocations, not several per section.
class TIniFile {
 public:
  TIniFile() = default;
  explicit TIniFile(std::string_view text) { Parse(std::string(text)); }
  // The parsed views point into the object's own copy of the text.
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;

  /// Takes the text over; the views handed out point into it.
  void Parse(std::string text);

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
    std::size_t Section;  // index into FSections
  };
  struct TSection {
    std::string_view Name;
    std::size_t FirstKey = 0;  // its keys are FKeys[FirstKey, FirstKey + KeyCount)
    std::size_t KeyCount = 0;
  };
  static constexpr std::size_t kNoSection = ~std::size_t{0};

  // Where the section of that name (any letter case) is in FTable, or the free place it would
  // take; FTable must not be empty.
  std::size_t Probe(std::string_view name) const;
  // The index of the section of that name, added when it is new.
  std::size_t AddSection(std::string_view name);
  const TSection* Find(std::string_view section) const;

  std::string FText;  // the views below point into it
  std::vector<TSection> FSections;
  std::vector<TKey> FKeys;           // grouped by section, in the order of the text within each
  std::vector<std::size_t> FTable;   // open addressing over FSections, kNoSection where free
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
