#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "UserInteraction.h"

// A run of the emulator is every process its first process started, not that process alone: the
// console window may be closed, or the emulator may leave a child behind that reads the game's
// files later. On POSIX the first process leads a session of its own (it is started with setsid)
// and the run is that session; on Windows it is the first process and its descendants.

namespace platform {

/// The calling process's id.
std::int64_t OwnProcessId();

/// A mark of a process's start that tells it from a later process with the same id; empty when
/// the process does not run (or has ended and waits to be reaped).
std::string ProcessStartMark(std::int64_t pid);

/// An id of the running system that changes at every boot: processes recorded under another one
/// have all ended. Empty where it cannot be told.
std::string BootId();

/// The processes of the run that leader began, leader included while it runs; ended processes
/// that wait to be reaped are not counted.
std::vector<std::int64_t> RunProcesses(std::int64_t leader);

/// Whether a run recorded as leader, leaderMark (ProcessStartMark when it began) and bootId still
/// has a process. A leader id taken by a later process means the run has ended: no system gives a
/// run's id to a new process while a process of that run remains.
bool RunStillActive(std::int64_t leader, const std::string& leaderMark, const std::string& bootId);

/// Asks every process of the run but the caller to end (SIGTERM; on Windows they are ended).
void EndRunProcesses(std::int64_t leader, bool force);

/// Waits for the processes of a run to end without polling: its handle becomes readable when one
/// of the processes counted by the last Ended() ends.
class TRunWatch {
 public:
  explicit TRunWatch(std::int64_t leader);
  ~TRunWatch();
  TRunWatch(const TRunWatch&) = delete;
  TRunWatch& operator=(const TRunWatch&) = delete;

  /// Reads the run's processes again; true when none remains.
  bool Ended();
  /// Readable (POSIX) or signalled (Windows) once one of the processes of the last Ended() ends;
  /// where that cannot be watched, after a quarter of a second.
  TWaitHandle WaitHandle() const { return FHandle; }
  /// Blocks until no process of the run remains.
  void WaitForEnd();

 private:
  void CloseWatch();

  std::int64_t FLeader;
  TWaitHandle FHandle = -1;
  std::vector<TWaitHandle> FWatched;  // what the handle gathers
};

}  // namespace platform
