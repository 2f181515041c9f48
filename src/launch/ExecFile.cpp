#include "ExecFile.h"

#include "BatchFile.h"
#include "platform/RunSession.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {
// The id the system knows the process by (on Windows the child is held by its handle).
std::int64_t ProcessIdOf(const platform::TChildProcess& process) {
#ifdef _WIN32
  return ::GetProcessId(reinterpret_cast<HANDLE>(process.Id()));
#else
  return process.Id();
#endif
}
}  // namespace

int ShowCommandOf(TWindowStyle style) {
  switch (style) {
    case wsNorm:
      return platform::swShowNormal;
    case wsMinimize:
      return platform::swShowMinimized;
    case wsMaximize:
      return platform::swShowMaximized;
    case wsHide:
      return platform::swHide;
    case wsMinNoActivate:
      return platform::swShowMinNoActive;
    case wsShowNoActivate:
      return platform::swShowNA;
  }
  return platform::swShowNormal;
}

std::uint32_t PriorityClassOf(TPriorityClass priority) {
  switch (priority) {
    case pcNormal:
      return platform::NormalPriorityClass;
    case pcIdle:
      return platform::IdlePriorityClass;
    case pcHigh:
      return platform::HighPriorityClass;
    case pcRealTime:
      return platform::RealtimePriorityClass;
  }
  return platform::NormalPriorityClass;
}

std::string TExecFile::CommandLineText() const {
  return InString(CommandLine.str() + " " + Parameters.str()).str();
}

bool TExecFile::Execute() {
  // The window stays live during a wait, so a second start can arrive from inside it.
  if (FRunning) return false;

  platform::TProcessStart start;
  start.ShowCommand = ShowCommandOf(WindowStyle);
  start.PriorityClass = PriorityClassOf(Priority);
  start.CommandLine = CommandLineText();
  start.Title = Title;
  start.ConsoleLog = ConsoleLog;

  FLastError.clear();
  platform::TChildProcess process = platform::StartProcess(start, &FLastError);
  if (!process.Valid() && Associate) {
    if (const auto program = platform::FindAssociatedProgram(CommandLine.str())) {
      FAssociatedProgram = *program;
      start.CommandLine = FAssociatedProgram + " " + CommandLine.str() + " " + Parameters.str();
      process = platform::StartProcess(start, &FLastError);
    }
  }
  if (!process.Valid()) {
    if (OnFail) OnFail(this);
    return false;
  }
  if (OnStarted) OnStarted(ProcessIdOf(process));
  if (Wait) {
    FProcessId = ProcessIdOf(process);
    FRunning = true;
    FProcessEnded = false;
    WaitForProcess(process);
    FRunning = false;
  }
  // A process that still runs (no wait, or a quit during the wait) is reaped when it ends.
  return true;
}

// Sleeps in the event loop until ended() holds: the emulator gets the processor. A quit meanwhile
// calls OnQuitWhileWaiting once and then blocks in block() without events; with no such handler
// it returns false at once.
bool TExecFile::DispatchUntil(const std::function<bool()>& ended,
                              const std::function<TWaitHandle()>& handle,
                              const std::function<void()>& block) {
  while (!ended()) {
    if (FUserInteraction->QuitRequested()) {
      if (!OnQuitWhileWaiting) return false;
      // The window is gone; what is left of the run only needs its processes to end.
      if (!FQuitSeen) OnQuitWhileWaiting(this);
      FQuitSeen = true;
      block();
      return true;
    }
    if (handle() < 0) {  // nothing to sleep on
      block();
      return true;
    }
    FUserInteraction->WaitDispatching(handle());
  }
  return true;
}

void TExecFile::WaitForProcess(platform::TChildProcess& process) {
  FLastExitCode = -1;
  FQuitSeen = false;
  const std::int64_t leader = ProcessIdOf(process);
  if (WaitStyle == wSuspend || FUserInteraction == nullptr || process.WaitHandle() < 0) {
    process.WaitForEnd();
    if (WaitForWholeRun) platform::TRunWatch(leader).WaitForEnd();
  } else {
    if (!DispatchUntil([&] { return process.HasEnded(); }, [&] { return process.WaitHandle(); },
                       [&] { process.WaitForEnd(); }))
      return;
    if (WaitForWholeRun) {
      platform::TRunWatch run(leader);
      if (!DispatchUntil([&] { return run.Ended(); }, [&] { return run.WaitHandle(); },
                         [&] { run.WaitForEnd(); }))
        return;
    }
    if (!FQuitSeen) FUserInteraction->ProcessMessages();
  }
  FProcessEnded = true;
  FLastExitCode = process.ExitCode().value_or(-1);
}

void ConfigureExecEmu(TExecFile& execEmu) {
  execEmu.Associate = false;
  execEmu.CommandLine = "batch.bat";
  execEmu.Priority = pcRealTime;
  execEmu.Wait = true;
  execEmu.WaitForWholeRun = true;
  execEmu.ConsoleLog = std::string(ConsoleLogName);
}
