#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Texts are byte strings as files and the file system give them. These helpers decide how such
// bytes are shown and cut without ever producing broken UTF-8 from valid input.

/// True when the bytes form valid UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
bool IsValidUtf8(std::string_view text);

/// Windows-1252 bytes as UTF-8; the five undefined codes map to the C1 controls of the same value.
std::string Cp1252ToUtf8(std::string_view text);

/// The text as UTF-8 for display: unchanged when it is valid UTF-8, else read as Windows-1252.
std::string DisplayText(std::string_view text);

/// Length of the longest prefix of at most maxBytes bytes that does not end inside a UTF-8
/// sequence when the text is valid UTF-8; other texts are cut at maxBytes exactly.
std::size_t TruncatedLength(std::string_view text, std::size_t maxBytes);

/// The text cut by TruncatedLength.
std::string TruncateBytes(std::string_view text, std::size_t maxBytes);

/// True when the text holds an ASCII control character (below 0x20, or DEL), which no name or
/// path the program keeps in a settings line may carry: a line break would split the line.
bool HasControlCharacter(std::string_view text);

/// ASCII-only case folding, as the file system's letter-case-insensitive matching uses.
inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}
bool SameTextAscii(std::string_view a, std::string_view b);
std::string LowerAscii(std::string_view text);
/// A hash of the text folded by AsciiLower: texts that SameTextAscii finds equal hash alike.
std::size_t HashAsciiFolded(std::string_view text);
/// A 64-bit hash of the bytes (FNV-1a), the same on every machine: it may name a file.
std::uint64_t HashBytes(std::string_view text);
/// A checksum of a cache file's bytes, eight at a time: a few milliseconds for the largest. Not
/// the same on machines of the other byte order, whose files are not read anyway.
std::uint64_t ChecksumWords(std::string_view bytes);
