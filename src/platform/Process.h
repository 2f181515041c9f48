#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "UserInteraction.h"

// The process seam: starting a program from one command line with a console of its own, and
// waiting for it without polling. On Windows the line goes to CreateProcessA (batch files through
// cmd.exe); on Linux it is split into words and spawned directly, batch files through the
// project's own interpreter, so no shell ever parses an argument.

namespace platform {

/// Show commands of the new process's window (the Windows SW_ values).
inline constexpr int swHide = 0;
inline constexpr int swShowNormal = 1;
inline constexpr int swShowMinimized = 2;
inline constexpr int swShowMaximized = 3;
inline constexpr int swShowMinNoActive = 7;
inline constexpr int swShowNA = 8;

/// Creation priority classes (the Windows values).
inline constexpr std::uint32_t NormalPriorityClass = 0x20;
inline constexpr std::uint32_t IdlePriorityClass = 0x40;
inline constexpr std::uint32_t HighPriorityClass = 0x80;
inline constexpr std::uint32_t RealtimePriorityClass = 0x100;

struct TProcessStart {
  std::string CommandLine;  ///< program, then its arguments separated by blanks
  int ShowCommand = swShowNormal;
  std::uint32_t PriorityClass = NormalPriorityClass;
  /// The title of a batch file's console window; the batch file's name when empty.
  std::string Title{};
  /// A file the batch file's output is redirected into, which the console window shows as it grows.
  std::string ConsoleLog{};
};

/// A started child process. It is always reaped: by HasEnded/WaitForEnd once it has ended, or,
/// when the object goes while the child still runs, by a background reaper, so no zombie stays.
class TChildProcess {
 public:
  TChildProcess() = default;
  ~TChildProcess();
  TChildProcess(TChildProcess&& other) noexcept;
  TChildProcess& operator=(TChildProcess&& other) noexcept;
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  bool Valid() const { return FId != 0; }
  std::int64_t Id() const { return FId; }

  /// Becomes readable (POSIX) or signalled (Windows) when the process has ended.
  TWaitHandle WaitHandle() const { return FWaitHandle; }

  /// Tests without blocking; true once the process has ended (it is then reaped).
  bool HasEnded();
  /// Blocks until the process has ended.
  void WaitForEnd();
  /// The exit status once ended: the exit code, or 128 + signal number on POSIX.
  std::optional<int> ExitCode() const { return FExitCode; }

  /// Used by the implementation to hand over a started process.
  static TChildProcess Adopt(std::int64_t id, TWaitHandle waitHandle);

 private:
  void Release();

  std::int64_t FId = 0;  ///< process id (POSIX) or process HANDLE (Windows)
  TWaitHandle FWaitHandle = -1;
  std::optional<int> FExitCode;
};

/// Starts the command line. Returns an invalid process and a reason in error when nothing could
/// be started (a missing program or batch file, a batch file that cannot be read).
TChildProcess StartProcess(const TProcessStart& start, std::string* error);

/// Asks the console window of the program's own that runs as processId to say that StartVELK
/// cleans up when the game ends; false when that process is no such window (a terminal emulator,
/// the system's console).
bool ShowConsoleNotice(std::int64_t processId);

/// The program the shell associates with a document; nothing where the platform has no
/// associations (Linux) or none is registered.
std::optional<std::string> FindAssociatedProgram(const std::string& document);

/// The command line split into words at blanks and tabs; double quotes group blanks into a word
/// and are removed.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

/// Full path of a program found in the directories of PATH, or nothing.
std::optional<std::string> FindOnPath(const std::string& name);

}  // namespace platform
