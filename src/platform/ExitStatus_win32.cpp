#include <cstdio>

#include "ExitStatus.h"

namespace platform {

std::string ExitStatusMeaning(int status) {
  const auto code = static_cast<unsigned>(status);
  if (code < 0xC0000000u) return {};
  char text[32];
  std::snprintf(text, sizeof text, "exception 0x%08X", code);
  return text;
}

}  // namespace platform
