#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "RunSession.h"

namespace platform {
namespace {

// The fields of /proc/<pid>/stat after the command name, which is in parentheses and may hold
// blanks and parentheses of its own: the fields are counted from its last ')'.
struct TProcStat {
  char State = 0;
  std::int64_t Session = 0;
  std::string StartTime;  // field 22: clock ticks after boot
};

std::optional<TProcStat> ReadProcStat(std::int64_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%lld/stat", static_cast<long long>(pid));
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  char buffer[1024];
  ssize_t n;
  do n = ::read(fd, buffer, sizeof buffer - 1);
  while (n < 0 && errno == EINTR);
  ::close(fd);
  if (n <= 0) return std::nullopt;
  buffer[n] = '\0';
  const char* close = std::strrchr(buffer, ')');
  if (!close) return std::nullopt;
  TProcStat stat;
  const char* p = close + 1;
  // Field 3 is the state; then fields 4 (parent), 5 (group), 6 (session), ... 22 (start time).
  for (int field = 3; field <= 22 && *p; ++field) {
    while (*p == ' ') ++p;
    const char* end = p;
    while (*end && *end != ' ') ++end;
    if (field == 3) stat.State = *p;
    if (field == 6) stat.Session = std::strtoll(p, nullptr, 10);
    if (field == 22) stat.StartTime.assign(p, end);
    p = end;
  }
  if (stat.StartTime.empty()) return std::nullopt;
  return stat;
}

bool HasEnded(const TProcStat& stat) {
  return stat.State == 'Z' || stat.State == 'X';
}

int OpenPidFd(std::int64_t pid) {
#ifdef SYS_pidfd_open
  const long fd = ::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0);
  if (fd >= 0) {
    ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
    return static_cast<int>(fd);
  }
#else
  (void)pid;
  errno = ENOSYS;
#endif
  return -1;
}

}  // namespace

std::int64_t OwnProcessId() {
  return ::getpid();
}

std::string ProcessStartMark(std::int64_t pid) {
  if (pid <= 0) return {};
  const auto stat = ReadProcStat(pid);
  if (!stat || HasEnded(*stat)) return {};
  return stat->StartTime;
}

std::string BootId() {
  const int fd = ::open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char buffer[64];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  std::string id(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
  while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
  return id;
}

std::vector<std::int64_t> RunProcesses(std::int64_t leader) {
  std::vector<std::int64_t> found;
  if (leader <= 0) return found;
  DIR* proc = ::opendir("/proc");
  if (!proc) return found;
  while (const dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    const long long pid = std::strtoll(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    const auto stat = ReadProcStat(pid);
    if (stat && stat->Session == leader && !HasEnded(*stat)) found.push_back(pid);
  }
  ::closedir(proc);
  return found;
}

bool RunStillActive(std::int64_t leader, const std::string& leaderMark, const std::string& bootId) {
  if (leader <= 0) return false;
  const std::string boot = BootId();
  if (!bootId.empty() && !boot.empty() && bootId != boot) return false;
  // A process under the leader's id that started at another time is a later one: the session the
  // id stood for has no process left.
  const std::string mark = ProcessStartMark(leader);
  if (!mark.empty()) return mark == leaderMark;
  return !RunProcesses(leader).empty();
}

void EndRunProcesses(std::int64_t leader, bool force) {
  const std::int64_t self = ::getpid();
  for (const std::int64_t pid : RunProcesses(leader))
    if (pid != self) ::kill(static_cast<pid_t>(pid), force ? SIGKILL : SIGTERM);
}

TRunWatch::TRunWatch(std::int64_t leader) : FLeader(leader) {}

TRunWatch::~TRunWatch() {
  CloseWatch();
}

void TRunWatch::CloseWatch() {
  for (const TWaitHandle fd : FWatched) ::close(static_cast<int>(fd));
  FWatched.clear();
  if (FHandle >= 0) ::close(static_cast<int>(FHandle));
  FHandle = -1;
}

bool TRunWatch::Ended() {
  CloseWatch();
  const std::int64_t self = ::getpid();
  std::vector<std::int64_t> processes = RunProcesses(FLeader);
  std::erase(processes, self);
  if (processes.empty()) return true;

  // One descriptor for the wait: an epoll set of the processes' pidfds. A process that ended in
  // the meantime, or a kernel without pidfds, wakes the wait by a timer instead.
  FHandle = ::epoll_create1(EPOLL_CLOEXEC);
  if (FHandle < 0) return false;
  long wakeAfterNs = 0;
  for (const std::int64_t pid : processes) {
    const int fd = OpenPidFd(pid);
    if (fd < 0) {
      wakeAfterNs = errno == ESRCH ? 1000000 : 250000000;
      continue;
    }
    FWatched.push_back(fd);
    epoll_event event{};
    event.events = EPOLLIN;
    ::epoll_ctl(static_cast<int>(FHandle), EPOLL_CTL_ADD, fd, &event);
  }
  if (wakeAfterNs > 0) {
    const int timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (timer >= 0) {
      itimerspec when{};
      when.it_value.tv_nsec = wakeAfterNs;
      ::timerfd_settime(timer, 0, &when, nullptr);
      FWatched.push_back(timer);
      epoll_event event{};
      event.events = EPOLLIN;
      ::epoll_ctl(static_cast<int>(FHandle), EPOLL_CTL_ADD, timer, &event);
    }
  }
  return false;
}

void TRunWatch::WaitForEnd() {
  while (!Ended()) {
    if (FHandle < 0) {
      ::usleep(250000);
      continue;
    }
    epoll_event event{};
    while (::epoll_wait(static_cast<int>(FHandle), &event, 1, -1) < 0 && errno == EINTR) {
    }
  }
}

}  // namespace platform
