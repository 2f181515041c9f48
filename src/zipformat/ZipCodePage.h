#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Names and comments in zip archives made on DOS-like hosts are in the OEM code page 437. Both the
// zip component and the unzip library convert them the same way, so the names a listing shows are
// the names the extracted files get.

namespace zip {

enum class TCodePageRule { cpAuto, cpNone, cpOEM };

/// True when text of an entry with this version-made-by field is OEM text to be converted.
bool IsOemText(std::uint16_t versionMadeBy, TCodePageRule rule);

/// Bytes of 128 and above converted from code page 437 to the platform's narrow encoding (UTF-8 on
/// Linux, the ANSI code page on Windows); bytes below 128 kept.
std::string OemToAnsi(std::string_view text);
/// OemToAnsi(text) appended to out.
void AppendOemToAnsi(std::string& out, std::string_view text);

/// UTF-8 text in the platform's narrow encoding; nothing when it is no valid UTF-8 or a character
/// has no exact counterpart there.
std::optional<std::string> Utf8ToNarrow(std::string_view text);
/// Utf8ToNarrow(text) appended to out; false (out unchanged) where that gives nothing.
bool AppendUtf8ToNarrow(std::string& out, std::string_view text);

}  // namespace zip
