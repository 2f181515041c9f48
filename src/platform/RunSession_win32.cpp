#include <windows.h>
// tlhelp32.h needs the types of windows.h.
#include <tlhelp32.h>

#include <map>

#include "RunSession.h"

namespace platform {
namespace {

std::uint64_t CreationTime(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// Every process with its parent, as one snapshot shows them.
std::map<DWORD, DWORD> ParentsNow() {
  std::map<DWORD, DWORD> parents;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return parents;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    parents[entry.th32ProcessID] = entry.th32ParentProcessID;
  CloseHandle(snapshot);
  return parents;
}

}  // namespace

std::int64_t OwnProcessId() {
  return GetCurrentProcessId();
}

std::string ProcessStartMark(std::int64_t pid) {
  if (pid <= 0) return {};
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (!process) return {};
  DWORD code = 0;
  std::string mark;
  if (GetExitCodeProcess(process, &code) && code == STILL_ACTIVE)
    mark = std::to_string(CreationTime(process));
  CloseHandle(process);
  return mark;
}

std::string BootId() {
  // The boot's moment, to ten seconds: the same all through one boot, another after the next.
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) |
                              now.dwLowDateTime;
  const std::uint64_t boot = ticks / 10000 - GetTickCount64();  // milliseconds
  return std::to_string(boot / 10000);
}

// Windows keeps a process's parent id after the parent ended, so the descendants of the run's
// first process are found by following those ids back to it.
std::vector<std::int64_t> RunProcesses(std::int64_t leader) {
  std::vector<std::int64_t> found;
  if (leader <= 0) return found;
  const std::map<DWORD, DWORD> parents = ParentsNow();
  for (const auto& [pid, parent] : parents) {
    DWORD at = pid;
    for (int depth = 0; depth < 64; ++depth) {
      if (at == static_cast<DWORD>(leader)) {
        found.push_back(pid);
        break;
      }
      const auto up = parents.find(at);
      if (up == parents.end() || up->second == at || up->second == 0) break;
      at = up->second;
    }
  }
  return found;
}

bool RunStillActive(std::int64_t leader, const std::string& leaderMark, const std::string& bootId) {
  if (leader <= 0) return false;
  if (!bootId.empty() && bootId != BootId()) return false;
  const std::string mark = ProcessStartMark(leader);
  if (!mark.empty()) return mark == leaderMark;
  return !RunProcesses(leader).empty();
}

void EndRunProcesses(std::int64_t leader, bool /*force*/) {
  const DWORD self = GetCurrentProcessId();
  for (const std::int64_t pid : RunProcesses(leader)) {
    if (static_cast<DWORD>(pid) == self) continue;
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid))) {
      TerminateProcess(process, 1);
      CloseHandle(process);
    }
  }
}

TRunWatch::TRunWatch(std::int64_t leader) : FLeader(leader) {}

TRunWatch::~TRunWatch() {
  CloseWatch();
}

void TRunWatch::CloseWatch() {
  if (FHandle != -1 && FHandle != 0) CloseHandle(reinterpret_cast<HANDLE>(FHandle));
  FHandle = -1;
  FWatched.clear();
}

bool TRunWatch::Ended() {
  CloseWatch();
  const DWORD self = GetCurrentProcessId();
  bool any = false;
  for (const std::int64_t pid : RunProcesses(FLeader)) {
    if (static_cast<DWORD>(pid) == self) continue;
    any = true;
    if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid))) {
      FHandle = reinterpret_cast<TWaitHandle>(process);
      return false;
    }
  }
  if (!any) return true;
  // A process that cannot be opened is watched by a timer.
  HANDLE timer = CreateWaitableTimerA(nullptr, TRUE, nullptr);
  if (timer) {
    LARGE_INTEGER due;
    due.QuadPart = -2500000;  // a quarter of a second, in 100 ns steps
    SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
    FHandle = reinterpret_cast<TWaitHandle>(timer);
  }
  return false;
}

void TRunWatch::WaitForEnd() {
  while (!Ended()) {
    if (FHandle == -1)
      Sleep(250);
    else
      WaitForSingleObject(reinterpret_cast<HANDLE>(FHandle), INFINITE);
  }
}

}  // namespace platform
