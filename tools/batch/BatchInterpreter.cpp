// startvelk-batch: runs the front-end's batch file on systems without a command interpreter of
// its own. It knows what that file needs and nothing more: "@", "echo", "echo off"/"echo on",
// "cls", "rem", blank lines, and program lines with %0-%9 and ">"/">>" redirection. Arguments go
// to the program as a list; nothing is ever handed to a shell.

#include <fcntl.h>
#include <unistd.h>

#include <array>
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
      const std::string path = platform::ResolvePath(line.Target);
      out =
          ::open(path.c_str(),
                 O_WRONLY | O_CREAT | O_CLOEXEC | (line.Redirect == 2 ? O_APPEND : O_TRUNC), 0666);
      if (out < 0) return TFailure{1, "cannot write " + path + ": " + std::strerror(errno)};
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
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      *error = "cannot read " + path + ": " + std::strerror(errno);
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
