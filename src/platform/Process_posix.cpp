#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

#include "Files.h"
#include "Process.h"
#include "Spawn_posix.h"
#include "Text.h"

extern char** environ;

namespace platform {
namespace {

int StatusToExitCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// A descriptor that becomes readable when the child ends: a pidfd where the kernel has them.
int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
  const long fd = ::syscall(SYS_pidfd_open, pid, 0);
  if (fd >= 0) {
    ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
    return static_cast<int>(fd);
  }
#endif
  (void)pid;
  return -1;
}

bool PidFdsWork() {
  static const bool works = [] {
    const int fd = OpenPidFd(::getpid());
    if (fd < 0) return false;
    ::close(fd);
    return true;
  }();
  return works;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         SameTextAscii(text.substr(text.size() - suffix.size()), suffix);
}

std::optional<std::string> FindBatchInterpreter() {
  const std::string beside = ProgramDir() + "startvelk-batch";
  if (IsExecutableFile(beside)) return beside;
  return FindOnPath("startvelk-batch");
}

// A terminal that cannot reach its display would end at once and the batch file would never run,
// so a local display must have its server's socket.
bool X11DisplayUsable() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return false;
  const std::string_view text(display);
  if (text[0] != ':') return true;  // a remote display cannot be checked from here
  const std::string_view number = text.substr(1, text.find('.') - 1);
  struct stat st;
  return !number.empty() && ::stat(("/tmp/.X11-unix/X" + std::string(number)).c_str(), &st) == 0;
}

std::optional<std::string> FindConsoleWindow() {
  const std::string beside = ProgramDir() + "startvelk-console";
  if (IsExecutableFile(beside)) return beside;
  return FindOnPath("startvelk-console");
}

// The words that open the console window of a run for the given show command and title: the
// program's own console window, which every desktop can show (X11 or Wayland) and which shows a
// failure until it is closed; without it, a terminal emulator that keeps running until the program
// it was given ends. TerminalWaits tells whether the batch interpreter must wait after a failure.
struct TConsoleCommand {
  std::vector<std::string> Words;
  bool TerminalWaits = false;
};

std::optional<TConsoleCommand> ConsoleCommand(int showCommand, const std::string& title,
                                              const std::string& log) {
  if (showCommand == swHide) return std::nullopt;
  const bool x11 = X11DisplayUsable();
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const bool waylandOnly = !x11 && wayland != nullptr && *wayland != '\0';
  if (!x11 && !waylandOnly) return std::nullopt;
  const bool minimized = showCommand == swShowMinimized || showCommand == swShowMinNoActive;
  if (const std::optional<std::string> console = FindConsoleWindow()) {
    TConsoleCommand command;
    command.Words = {*console, "--title", title};
    if (minimized) command.Words.push_back("--minimized");
    if (showCommand == swShowMaximized) command.Words.push_back("--maximized");
    if (!log.empty()) command.Words.insert(command.Words.end(), {"--follow", log});
    command.Words.push_back("--");
    return command;
  }
  for (const char* name : {"xterm", "uxterm", "urxvt", "rxvt", "alacritty"}) {
    const std::string_view kind(name);
    if (waylandOnly && kind != "alacritty") continue;
    const std::optional<std::string> path = FindOnPath(name);
    if (!path) continue;
    std::vector<std::string> words{*path};
    if (kind == "alacritty") {
      words.insert(words.end(), {"--title", title});
    } else {
      words.insert(words.end(), {"-T", title});
      if (minimized) words.push_back("-iconic");
      if (showCommand == swShowMaximized && kind.find("xterm") != std::string_view::npos)
        words.push_back("-maximized");
    }
    words.push_back("-e");
    return TConsoleCommand{std::move(words), true};
  }
  return std::nullopt;
}

// Nice values for the priority classes; a refused raise falls back quietly.
void SetNiceness(std::uint32_t priorityClass, TSpawnOptions& options) {
  switch (priorityClass) {
    case IdlePriorityClass:
      options.Niceness = 19;
      break;
    case HighPriorityClass:
      options.Niceness = -10;
      break;
    case RealtimePriorityClass:
      options.Niceness = -20;
      options.FallbackNiceness = {-10};
      break;
    default:
      break;  // normal: the child keeps the front-end's own value
  }
}

}  // namespace

void TChildProcess::Release() {
  if (FId != 0 && !FExitCode) {
    const pid_t pid = static_cast<pid_t>(FId);
    int status = 0;
    pid_t r;
    do r = ::waitpid(pid, &status, WNOHANG);
    while (r < 0 && errno == EINTR);
    if (r == 0) {
      // Still running: someone must collect it when it ends, or it stays a zombie.
      try {
        std::thread([pid] {
          int s = 0;
          while (::waitpid(pid, &s, 0) < 0 && errno == EINTR) {
          }
        }).detach();
      } catch (const std::system_error&) {
        // No thread to spare: the child is collected when this program ends.
      }
    }
  }
  if (FWaitHandle >= 0) ::close(static_cast<int>(FWaitHandle));
  FId = 0;
  FWaitHandle = -1;
  FExitCode.reset();
}

bool TChildProcess::HasEnded() {
  if (FExitCode) return true;
  if (FId == 0) return true;
  int status = 0;
  pid_t r;
  do r = ::waitpid(static_cast<pid_t>(FId), &status, WNOHANG);
  while (r < 0 && errno == EINTR);
  if (r == 0) return false;
  FExitCode = r > 0 ? StatusToExitCode(status) : -1;
  return true;
}

void TChildProcess::WaitForEnd() {
  if (FExitCode || FId == 0) return;
  int status = 0;
  pid_t r;
  do r = ::waitpid(static_cast<pid_t>(FId), &status, 0);
  while (r < 0 && errno == EINTR);
  FExitCode = r > 0 ? StatusToExitCode(status) : -1;
}

TChildProcess SpawnArgv(const std::vector<std::string>& argv, const TSpawnOptions& options,
                        std::string* error) {
  const auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return TChildProcess();
  };
  if (argv.empty()) return fail("No program to run");

  // Everything the child needs is prepared here: between fork and exec only system calls run.
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  // Without pidfds the end of the child shows as the end of a pipe that only the child holds.
  int endPipe[2] = {-1, -1};
  const bool usePidFd = PidFdsWork();
  if (!usePidFd && ::pipe(endPipe) != 0)
    return fail(std::string("Cannot start: ") + std::strerror(errno));
  if (endPipe[0] >= 0) ::fcntl(endPipe[0], F_SETFD, FD_CLOEXEC);

  // Without a priority to set, posix_spawn starts the child without copying this process.
  if (!options.Niceness) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    if (options.StdIn >= 0 && options.StdIn != STDIN_FILENO)
      posix_spawn_file_actions_adddup2(&actions, options.StdIn, STDIN_FILENO);
    if (options.StdOut >= 0 && options.StdOut != STDOUT_FILENO)
      posix_spawn_file_actions_adddup2(&actions, options.StdOut, STDOUT_FILENO);
    if (options.StdErr >= 0 && options.StdErr != STDERR_FILENO)
      posix_spawn_file_actions_adddup2(&actions, options.StdErr, STDERR_FILENO);
    sigset_t none, pipeOnly;
    sigemptyset(&none);
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &pipeOnly);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (options.NewSession) flags |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setflags(&attributes, flags);
    pid_t child = 0;
    // glibc reports a failed exec here and has already reaped that child.
    const int rc = ::posix_spawn(&child, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (endPipe[1] >= 0) ::close(endPipe[1]);
    if (rc != 0) {
      if (endPipe[0] >= 0) ::close(endPipe[0]);
      return fail("Cannot run " + argv[0] + ": " + std::strerror(rc));
    }
    return TChildProcess::Adopt(child, usePidFd ? OpenPidFd(child) : endPipe[0]);
  }

  // fork reports a failed exec through a pipe that closes by itself when exec succeeds.
  int errorPipe[2];
  if (::pipe2(errorPipe, O_CLOEXEC) != 0) {
    if (endPipe[0] >= 0) ::close(endPipe[0]);
    if (endPipe[1] >= 0) ::close(endPipe[1]);
    return fail(std::string("Cannot start: ") + std::strerror(errno));
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    if (options.NewSession) ::setsid();
    if (options.StdIn >= 0 && options.StdIn != STDIN_FILENO) ::dup2(options.StdIn, STDIN_FILENO);
    if (options.StdOut >= 0 && options.StdOut != STDOUT_FILENO)
      ::dup2(options.StdOut, STDOUT_FILENO);
    if (options.StdErr >= 0 && options.StdErr != STDERR_FILENO)
      ::dup2(options.StdErr, STDERR_FILENO);
    if (options.Niceness && ::setpriority(PRIO_PROCESS, 0, *options.Niceness) != 0) {
      for (const int fallback : options.FallbackNiceness)
        if (::setpriority(PRIO_PROCESS, 0, fallback) == 0) break;
    }
    ::execve(args[0], args.data(), environ);
    const int e = errno;
    [[maybe_unused]] const ssize_t n = ::write(errorPipe[1], &e, sizeof e);
    ::_exit(127);
  }
  const int forkErrno = errno;
  ::close(errorPipe[1]);
  if (endPipe[1] >= 0) ::close(endPipe[1]);
  if (pid < 0) {
    ::close(errorPipe[0]);
    if (endPipe[0] >= 0) ::close(endPipe[0]);
    return fail("Cannot start " + argv[0] + ": " + std::strerror(forkErrno));
  }

  int childErrno = 0;
  ssize_t n;
  do n = ::read(errorPipe[0], &childErrno, sizeof childErrno);
  while (n < 0 && errno == EINTR);
  ::close(errorPipe[0]);
  if (n == static_cast<ssize_t>(sizeof childErrno)) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (endPipe[0] >= 0) ::close(endPipe[0]);
    return fail("Cannot run " + argv[0] + ": " + std::strerror(childErrno));
  }
  const int waitFd = usePidFd ? OpenPidFd(pid) : endPipe[0];
  return TChildProcess::Adopt(pid, waitFd);
}

std::optional<std::string> FindOnPath(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) return std::nullopt;
  const char* env = std::getenv("PATH");
  const std::string path = env != nullptr ? env : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = path.find(':', start);
    const std::string_view dir =
        std::string_view(path).substr(start, end == std::string::npos ? end : end - start);
    // An empty entry of PATH stands for the working directory.
    const std::string candidate = (dir.empty() ? std::string(".") : std::string(dir)) + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return std::nullopt;
}

std::optional<std::string> FindAssociatedProgram(const std::string&) {
  return std::nullopt;
}

bool ShowConsoleNotice(std::int64_t processId) {
  // Only the program's own console window knows the signal; it would end any other program.
  const std::optional<std::string> console = FindConsoleWindow();
  if (!console || processId <= 0) return false;
  char target[4096];
  const std::string link = "/proc/" + std::to_string(processId) + "/exe";
  const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
  if (length <= 0) return false;
  char* real = ::realpath(console->c_str(), nullptr);
  const bool same =
      real != nullptr && std::string_view(target, static_cast<std::size_t>(length)) == real;
  std::free(real);
  return same && ::kill(static_cast<pid_t>(processId), SIGUSR1) == 0;
}

TChildProcess StartProcess(const TProcessStart& start, std::string* error) {
  const auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return TChildProcess();
  };
  const std::vector<std::string> words = SplitCommandLine(start.CommandLine);
  if (words.empty() || words[0].empty()) return fail("No program to run");

  // The program is looked for in the working directory first, as the original's platform does.
  const std::string& program = words[0];
  std::string path;
  if (FileExists(program)) {
    path = ResolvePath(program);
  } else if (program.find('/') == std::string::npos) {
    if (const auto found = FindOnPath(program)) path = *found;
  }
  if (path.empty()) return fail("Cannot find " + program);

  std::vector<std::string> argv;
  if (EndsWithIgnoringCase(program, ".bat") || EndsWithIgnoringCase(program, ".cmd")) {
    const int fd = OpenRegularFile(path);
    if (fd < 0) return fail("Cannot read " + path + ": " + OpenFailureText(errno));
    ::close(fd);
    const std::optional<std::string> interpreter = FindBatchInterpreter();
    if (!interpreter) return fail("Cannot find the batch interpreter startvelk-batch");
    const auto console = ConsoleCommand(
        start.ShowCommand, start.Title.empty() ? program : start.Title, start.ConsoleLog);
    if (console) argv = console->Words;
    argv.push_back(*interpreter);
    // In a terminal of its own a failure would flash past unread, so the interpreter waits then.
    if (console && console->TerminalWaits) argv.push_back("--pause-on-error");
    argv.push_back("--");
    argv.push_back(path);
  } else {
    if (!IsExecutableFile(path)) return fail("Cannot run " + path + ": not an executable program");
    argv.push_back(path);
  }
  argv.insert(argv.end(), words.begin() + 1, words.end());

  TSpawnOptions options;
  options.NewSession = true;
  SetNiceness(start.PriorityClass, options);
  return SpawnArgv(argv, options, error);
}

}  // namespace platform
