#pragma once

#include <string_view>

// The order of a game's screenshot names: the whole names compared without regard to letter case,
// following the user's locale, as the emulator's home platform sorts file names.
//
// Windows: CompareStringA with the user-default locale and NORM_IGNORECASE.
// POSIX: the same shape built on the user's LC_COLLATE/LC_CTYPE (from the environment):
//   - hyphens and apostrophes are skipped in a first pass ("word sort");
//   - characters are compared one by one: punctuation, symbols and spaces come before digits,
//     digits before letters; digits compare as characters (so "x100" lies between "x10" and "x11");
//   - letters compare after case folding (towlower in the user's locale); two different letters
//     are ordered by the locale's collation (wcscoll), so accented letters follow that locale;
//   - names that are still equal are ordered with hyphens and apostrophes counted, then by their
//     bytes, so two names are equal only when their bytes are.
// Names are read as UTF-8 when valid, else as Windows-1252.

/// Negative when a sorts before b, zero only when their bytes are equal, positive otherwise.
int CompareScreenShotNames(std::string_view a, std::string_view b);

/// Strict weak order for std::sort.
inline bool ScreenShotNameLess(std::string_view a, std::string_view b) {
  return CompareScreenShotNames(a, b) < 0;
}
