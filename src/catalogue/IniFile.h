#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/FoldedIndex.h"

// The settings file's sections-and-keys layout. Reading is forgiving (any letter case, comments,
// LF or CRLF, blanks around names); writing is exact: CRLF lines, "key=value" without blanks, one
// empty line after each section, sections and keys in the order they are written.

/// A parsed sections-and-keys text. Parsing finds the sections, hashed by name; a key is looked
/// for in its section's lines when it is asked for. Reading every section of a large file costs
/// time linear in its size, and memory for its sections only.
class TIniFile {
  struct TSection;

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

  /// How many of those names pred accepts.
  template <typename Pred>
  std::size_t CountSections(Pred pred) const {
    std::size_t count = 0;
    for (const TSection& s : FSections) count += pred(s.Name) ? 1 : 0;
    return count;
  }

  /// One section looked up once, for reading several of its keys as the reads above do; a
  /// section that is not there yields the defaults.
  class TSectionReader {
   public:
    std::optional<std::string_view> Value(std::string_view key) const;
    std::string ReadString(std::string_view key, std::string_view def) const;
    std::int32_t ReadInteger(std::string_view key, std::int32_t def) const;
    bool ReadBool(std::string_view key, bool def) const;

   private:
    friend class TIniFile;
    TSectionReader(const TIniFile& ini, const TSection* section);
    const TIniFile& FIni;
    const TSection* FSection;
    // The section's first keys, read in one pass: a game's section has a few, and each read
    // looks among them instead of going through the lines again.
    static constexpr std::size_t kHeld = 16;
    std::array<std::pair<std::string_view, std::string_view>, kHeld> FKeys;
    std::size_t FHeld = 0;
    bool FMore = false;  // keys past the ones held
  };
  TSectionReader Section(std::string_view name) const { return {*this, Find(name)}; }

 private:
  // The lines of a section between its header and the next one; a section that comes back
  // after another has one part for each time.
  struct TPart {
    std::size_t Begin = 0;  // offsets into FText
    std::size_t End = 0;
    std::size_t Next = kNone;  // the section's next part
  };
  struct TSection {
    std::string_view Name;
    std::size_t FirstPart = kNone;
    std::size_t LastPart = kNone;
  };
  static constexpr std::size_t kNone = ~std::size_t{0};

  // The index of the section of that name (any letter case), kNone when there is none.
  std::size_t FindSection(std::string_view name) const;
  // The index of the section of that name, added when it is new.
  std::size_t AddSection(std::string_view name);
  const TSection* Find(std::string_view section) const;
  // Calls visit(key, value) for the key lines of a section in text order until it returns true.
  template <typename Visit>
  bool ForEachKey(const TSection& section, Visit visit) const;

  std::string FText;  // the views below point into it
  std::vector<TSection> FSections;
  std::vector<TPart> FParts;
  TFoldedIndex FIndex;  // FSections by name
  // The section found last: sections read in the order of the text (Game1, Game2, ...) are each
  // found beside it, without a look-up in the table.
  mutable std::atomic<std::size_t> FLastFound{kNone};
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
