#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Process.h"

// The POSIX layer under StartProcess, shared with the batch interpreter: an argument vector
// spawned with fork and execve, never through a shell.

namespace platform {

struct TSpawnOptions {
  int StdIn = -1;                     ///< descriptor to become standard input, or -1 to inherit
  int StdOut = -1;                    ///< descriptor to become standard output, or -1 to inherit
  int StdErr = -1;                    ///< the same for standard error
  bool NewSession = false;            ///< detach from the caller's terminal signals
  std::optional<int> Niceness;        ///< requested nice value, applied best effort
  std::vector<int> FallbackNiceness;  ///< tried in order when the request is refused
};

/// Spawns argv[0] (a path, not searched) with argv. On failure returns an invalid process, with
/// the reason in error; a child whose exec failed has already been reaped.
TChildProcess SpawnArgv(const std::vector<std::string>& argv, const TSpawnOptions& options,
                        std::string* error);

}  // namespace platform
