// startvelk-batch: runs the front-end's batch file on systems without a command interpreter of
// its own. It knows what that file needs and nothing more: "@", "echo", "echo off"/"echo on",
// "cls", "rem", blank lines, and program lines with %0-%9 and ">"/">>" redirection. Arguments go
// to the program as a list; nothing is ever handed to a shell.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "BatchLine.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/Spawn_posix.h"
#include "platform/Text.h"

namespace {

constexpr int kNotFound = 127;
constexpr int kCannotRun = 126;

struct TFailure {
  int Status;
  std::string Reason;
};

// Opens the file a redirection writes, never through a link and never waiting on a pipe: a link
// under the name is replaced by a new file (what it leads to stays as it was), and anything but a
// regular file is refused. -1 with the reason in error otherwise.
int OpenRedirection(const std::string& path, bool append, std::string& error) {
  const int flags =
      O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | (append ? O_APPEND : 0);
  int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0 && errno == ELOOP) {
    if (::unlink(path.c_str()) != 0) {
      error = "cannot replace the link " + path + ": " + std::strerror(errno);
      return -1;
    }
    fd = ::open(path.c_str(), flags | O_EXCL, 0666);
  }
  if (fd < 0) {
    // A pipe without a reader answers ENXIO to a writer that will not wait.
    error =
        "cannot write " + path + ": " + platform::OpenFailureText(errno == ENXIO ? EINVAL : errno);
    return -1;
  }
  struct stat st;
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!regular || (!append && ::ftruncate(fd, 0) != 0)) {
    const int code = regular ? errno : EINVAL;
    ::close(fd);
    error = "cannot write " + path + ": " + platform::OpenFailureText(code);
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

class TBatch {
 public:
  TBatch(std::vector<std::string> params, bool pauseOnError)
      : FParams(std::move(params)), FPauseOnError(pauseOnError) {}

  int Run(const std::string& text) {
    std::optional<TFailure> failure;
    ForEachBatchLine(text, [&](std::string_view line) {
      failure = RunLine(ParseBatchLine(line, FParams));
      return !failure;
    });
    return failure ? Fail(*failure) : FStatus;
  }

  int Fail(const TFailure& failure) {
    std::fflush(stdout);
    std::cerr << "startvelk-batch: " << failure.Reason << std::endl;
    if (FPauseOnError && ::isatty(STDIN_FILENO)) {
      std::cerr << "Press Enter to close this window." << std::endl;
      std::string ignored;
      std::getline(std::cin, ignored);
    }
    return failure.Status;
  }

 private:
  using TKind = TBatchLine::TKind;

  std::optional<TFailure> RunLine(const TBatchLine& line) {
    if (line.Kind == TKind::blBlank) return std::nullopt;
    if (FEchoOn && !line.Quiet) std::cout << platform::GetCurrentDir() << '>' << line.Shown << '\n';
    switch (line.Kind) {
      case TKind::blBlank:
      case TKind::blNothing:
        return std::nullopt;
      case TKind::blCls:
        std::cout.flush();
        if (::isatty(STDOUT_FILENO)) std::cout << "\x1b[H\x1b[2J\x1b[3J" << std::flush;
        return std::nullopt;
      case TKind::blEchoState:
        std::cout << (FEchoOn ? "ECHO is on." : "ECHO is off.") << '\n';
        return std::nullopt;
      case TKind::blEchoOff:
        FEchoOn = false;
        return std::nullopt;
      case TKind::blEchoOn:
        FEchoOn = true;
        return std::nullopt;
      case TKind::blEcho:
        std::cout << line.Text << '\n';
        return std::nullopt;
      case TKind::blError:
        return TFailure{1, line.Text};
      case TKind::blProgram:
        break;
    }
    return RunProgram(line);
  }

  std::optional<TFailure> RunProgram(const TBatchLine& line) {
    std::string error;
    const std::optional<std::vector<std::string>> argv = ProgramArguments(line.Words, &error);
    if (!argv) return TFailure{error.rfind("cannot find", 0) == 0 ? kNotFound : kCannotRun, error};

    int out = -1;
    if (line.Redirect != 0) {
      out = OpenRedirection(platform::ResolvePath(line.Target), line.Redirect == 2, error);
      if (out < 0) return TFailure{1, error};
    }
    std::cout.flush();
    std::fflush(stdout);
    platform::TSpawnOptions options;
    options.StdOut = out;
    platform::TChildProcess child = platform::SpawnArgv(*argv, options, &error);
    if (out >= 0) ::close(out);
    if (!child.Valid()) return TFailure{kCannotRun, error};
    child.WaitForEnd();
    FStatus = child.ExitCode().value_or(1);
    return std::nullopt;
  }

  // The program of a line, looked for in the working directory without regard to case and then
  // on the path, with the words that start it: natively, or through wine for a Windows program.
  static std::optional<std::vector<std::string>> ProgramArguments(
      const std::vector<std::string>& words, std::string* error) {
    const std::string& name = words[0];
    std::string path;
    if (platform::FileExists(name)) {
      path = platform::ResolvePath(name);
    } else if (name.find('/') == std::string::npos) {
      if (const auto found = platform::FindOnPath(name)) path = *found;
    }
    if (path.empty()) {
      *error = "cannot find " + name + " in " + platform::GetCurrentDir() + " or on the path";
      return std::nullopt;
    }

    std::array<char, 4> magic{};
    const int fd = platform::OpenRegularFile(path);
    if (fd < 0) {
      *error = "cannot read " + path + ": " + platform::OpenFailureText(errno);
      return std::nullopt;
    }
    const ssize_t got = ::read(fd, magic.data(), magic.size());
    ::close(fd);
    const std::string_view head(magic.data(), got > 0 ? static_cast<std::size_t>(got) : 0);
    const bool executable = ::access(path.c_str(), X_OK) == 0;

    std::vector<std::string> argv;
    if (head.substr(0, 2) == "MZ") {
      const std::optional<std::string> wine = platform::FindOnPath("wine");
      if (!wine) {
        *error = path + " is a Windows program, and wine, which could run it, is not installed";
        return std::nullopt;
      }
      argv = {*wine, path};
    } else if (head ==
                   "\x7f"
                   "ELF" ||
               head.substr(0, 2) == "#!") {
      if (!executable) {
        *error = path + " cannot be run: it lacks execute permission";
        return std::nullopt;
      }
      argv = {path};
    } else if (executable) {
      argv = {path};
    } else {
      *error = path + " is not a program this system can run";
      return std::nullopt;
    }
    // execve takes a bare name as relative to the working directory, which is what was found.
    argv.insert(argv.end(), words.begin() + 1, words.end());
    return argv;
  }

  std::vector<std::string> FParams;
  bool FPauseOnError;
  bool FEchoOn = true;
  int FStatus = 0;
};

}  // namespace

int main(int argc, char** argv) {
  bool pauseOnError = false;
  int first = 1;
  while (first < argc) {
    const std::string_view arg(argv[first]);
    if (arg == "--pause-on-error") {
      pauseOnError = true;
      ++first;
    } else if (arg == "--") {
      ++first;
      break;
    } else {
      break;
    }
  }
  if (first >= argc) {
    std::cerr << "usage: startvelk-batch [--pause-on-error] [--] FILE.bat [ARGUMENT...]"
              << std::endl;
    return 2;
  }
  std::vector<std::string> params(argv + first, argv + argc);
  TBatch batch(params, pauseOnError);
  const std::string path = platform::ResolvePath(params[0]);
  const std::optional<std::string> text = platform::ReadWholeFile(path);
  if (!text) return batch.Fail({1, "cannot read the batch file " + path});
  return batch.Run(*text);
}
