#include <signal.h>

#include <cstring>

#include "ExitStatus.h"

namespace platform {

std::string ExitStatusMeaning(int status) {
  const int signal = status - 128;
  if (signal < 1 || signal >= NSIG) return {};
  const char* name = ::strsignal(signal);
  return "signal " + std::to_string(signal) + (name ? std::string(", ") + name : std::string());
}

}  // namespace platform
