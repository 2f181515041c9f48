#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

// The emulator's modification date as the settings file stores it: "YYYY-MM-DD HH:MM:SS" in local
// time, seconds rounded down to even (the precision of file dates), so a stored text matches the
// file's date exactly as long as the emulator is unchanged.

/// The text for a time, seconds rounded down to even.
std::string FormatEmuExeDate(std::time_t time);

/// The time of a text in exactly that format (blanks around it allowed); nothing otherwise,
/// including dates that do not exist such as the 30th of February.
std::optional<std::time_t> ParseEmuExeDate(std::string_view text);

/// The stored text for the file at path now; empty when its date cannot be read.
std::string EmuExeDateOf(const std::string& path);

/// True when stored names the same date, at two-second precision, as the file at path has now.
/// A stored text that does not parse, or a file whose date cannot be read, counts as changed.
bool EmuExeDateMatches(std::string_view stored, const std::string& path);
