#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Process.h"
#include "platform/ShortString.h"
#include "platform/UserInteraction.h"

enum TWindowStyle : std::uint8_t {
  wsNorm,
  wsMinimize,
  wsMaximize,
  wsHide,
  wsMinNoActivate,
  wsShowNoActivate
};
enum TPriorityClass : std::uint8_t { pcNormal, pcIdle, pcHigh, pcRealTime };
enum TWaitStyle : std::uint8_t { wRegular, wSuspend };

using InString = TString255;

/// The show command that a window style passes to the platform (SW_SHOWNORMAL ... SW_SHOWNA).
int ShowCommandOf(TWindowStyle style);
/// The creation priority class of a priority (NORMAL_PRIORITY_CLASS ... REALTIME_PRIORITY_CLASS).
std::uint32_t PriorityClassOf(TPriorityClass priority);

/// Starts a program or batch file with a console of its own and, on request, waits for it while
/// the caller's events keep being dispatched.
class TExecFile {
 public:
  using TNotifyEvent = std::function<void(TExecFile* sender)>;

  /// ui dispatches events during a regular wait; without one a regular wait blocks.
  explicit TExecFile(TUserInteraction* ui = nullptr) : FUserInteraction(ui) {}
  TExecFile(const TExecFile&) = delete;
  TExecFile& operator=(const TExecFile&) = delete;

  bool Associate = false;
  InString CommandLine;
  InString Parameters;
  TPriorityClass Priority = pcNormal;
  bool Wait = false;
  TWaitStyle WaitStyle = wRegular;
  TWindowStyle WindowStyle = wsNorm;
  /// The console window's title; the batch file's name when empty.
  std::string Title;
  /// A file the batch file's output goes to, which the console window follows during the run.
  std::string ConsoleLog;
  TNotifyEvent OnFail;
  /// Called with the process id right after a process was started.
  std::function<void(std::int64_t pid)> OnStarted;
  /// When set, a quit during a regular wait calls it once and the wait goes on, without
  /// dispatching events, until the process has ended; when not set, the wait returns at a quit.
  TNotifyEvent OnQuitWhileWaiting;
  /// With Wait: wait until every process the started one began has ended too, not only for it.
  /// The console window may be closed while the program in it goes on, and a program may leave
  /// a child behind.
  bool WaitForWholeRun = false;

  /// Starts CommandLine + blank + Parameters (at most 255 bytes in all). True when the process was
  /// started and, with Wait, has ended or the program was asked to quit meanwhile; false after
  /// OnFail when nothing could be started. A call made from inside a running wait starts nothing
  /// and returns false without OnFail.
  bool Execute();

  /// True while Execute waits for its process.
  bool Running() const { return FRunning; }
  /// The command line Execute starts: CommandLine + blank + Parameters, at most 255 bytes.
  std::string CommandLineText() const;
  /// Whether the last waited process was followed until it had ended.
  bool ProcessEnded() const { return FProcessEnded; }
  /// Why the last start failed, for callers that want to say more than OnFail does.
  const std::string& LastError() const { return FLastError; }
  /// The program that the last association retry found.
  const std::string& AssociatedProgram() const { return FAssociatedProgram; }
  /// The exit status of the last waited process that ended, or -1.
  int LastExitCode() const { return FLastExitCode; }
  /// The process of the running wait, or 0.
  std::int64_t ProcessId() const { return FRunning ? FProcessId : 0; }

 private:
  void WaitForProcess(platform::TChildProcess& process);
  bool DispatchUntil(const std::function<bool()>& ended, const std::function<TWaitHandle()>& handle,
                     const std::function<void()>& block);

  TUserInteraction* FUserInteraction;
  bool FRunning = false;
  bool FProcessEnded = false;
  bool FQuitSeen = false;
  std::string FAssociatedProgram;
  std::string FLastError;
  int FLastExitCode = -1;
  std::int64_t FProcessId = 0;
};

/// The main window's launcher settings: batch.bat at real-time priority, waited for.
void ConfigureExecEmu(TExecFile& execEmu);
