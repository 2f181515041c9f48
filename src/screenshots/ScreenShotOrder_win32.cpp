#include <windows.h>

#include "ScreenShotOrder.h"

int CompareScreenShotNames(std::string_view a, std::string_view b) {
  if (a == b) return 0;
  const int r = ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                                 static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()));
  if (r == CSTR_LESS_THAN) return -1;
  if (r == CSTR_GREATER_THAN) return 1;
  // Equal ignoring case (or not comparable): the bytes decide, so only identical names are equal.
  return a < b ? -1 : 1;
}
