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

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string TrimLeft(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return text.substr(i);
}

std::string Trim(const std::string& text) {
  std::string t = TrimLeft(text);
  while (!t.empty() && IsBlank(t.back())) t.pop_back();
  return t;
}

class TBatch {
 public:
  TBatch(std::vector<std::string> params, bool pauseOnError)
      : FParams(std::move(params)), FPauseOnError(pauseOnError) {}

  int Run(const std::string& text) {
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (const std::optional<TFailure> failure = RunLine(line)) return Fail(*failure);
      start = end + 1;
    }
    return FStatus;
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
  // %0-%9 become the batch file's name and arguments (missing ones empty); %% is one percent sign.
  std::string Substitute(const std::string& text) const {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '%' && i + 1 < text.size()) {
        const char next = text[i + 1];
        if (next >= '0' && next <= '9') {
          const std::size_t n = static_cast<std::size_t>(next - '0');
          if (n < FParams.size()) out += FParams[n];
          ++i;
          continue;
        }
        if (next == '%') {
          out += '%';
          ++i;
          continue;
        }
      }
      out += text[i];
    }
    return out;
  }

  std::optional<TFailure> RunLine(const std::string& line) {
    std::string text = TrimLeft(line);
    bool quiet = false;
    if (!text.empty() && text[0] == '@') {
      quiet = true;
      text = TrimLeft(text.substr(1));
    }
    if (Trim(text).empty()) return std::nullopt;
    if (FEchoOn && !quiet)
      std::cout << platform::GetCurrentDir() << '>' << Substitute(text) << '\n';

    std::size_t wordEnd = 0;
    while (wordEnd < text.size() && !IsBlank(text[wordEnd])) ++wordEnd;
    const std::string command = LowerAscii(text.substr(0, wordEnd));
    if (command == "rem") return std::nullopt;
    if (command == "cls") {
      std::cout.flush();
      if (::isatty(STDOUT_FILENO)) std::cout << "\x1b[H\x1b[2J\x1b[3J" << std::flush;
      return std::nullopt;
    }
    if (command == "echo") {
      // The text is printed as written: everything after the one blank that ends the word.
      const std::string rest = wordEnd < text.size() ? text.substr(wordEnd + 1) : std::string();
      const std::string word = LowerAscii(Trim(rest));
      if (word.empty()) {
        std::cout << (FEchoOn ? "ECHO is on." : "ECHO is off.") << '\n';
      } else if (word == "off") {
        FEchoOn = false;
      } else if (word == "on") {
        FEchoOn = true;
      } else {
        std::cout << Substitute(rest) << '\n';
      }
      return std::nullopt;
    }
    return RunProgram(text);
  }

  struct TToken {
    std::string Text;
    bool Quoted = false;
    int Redirect = 0;  ///< 1 for ">", 2 for ">>"
  };

  // Words are cut at blanks before %N is replaced, so an argument's value stays one word whatever
  // it holds; only a ">" written in the file itself redirects.
  static std::vector<TToken> Tokenize(const std::string& text) {
    std::vector<TToken> tokens;
    TToken current;
    bool inToken = false;
    bool quoted = false;
    const auto flush = [&] {
      if (inToken) tokens.push_back(current);
      current = TToken();
      inToken = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '"') {
        quoted = !quoted;
        current.Quoted = true;
        inToken = true;
      } else if (!quoted && IsBlank(c)) {
        flush();
      } else if (!quoted && c == '>') {
        flush();
        TToken op;
        op.Redirect = 1;
        if (i + 1 < text.size() && text[i + 1] == '>') {
          op.Redirect = 2;
          ++i;
        }
        tokens.push_back(op);
      } else {
        current.Text += c;
        inToken = true;
      }
    }
    flush();
    return tokens;
  }

  std::optional<TFailure> RunProgram(const std::string& text) {
    std::vector<std::string> words;
    std::string target;
    int redirect = 0;
    const std::vector<TToken> tokens = Tokenize(text);
    for (std::size_t i = 0; i < tokens.size(); ++i) {
      if (tokens[i].Redirect != 0) {
        if (i + 1 >= tokens.size() || tokens[i + 1].Redirect != 0)
          return TFailure{1, "no file name after \">\" in: " + text};
        redirect = tokens[i].Redirect;
        target = Substitute(tokens[++i].Text);
        if (target.empty()) return TFailure{1, "empty file name after \">\" in: " + text};
        continue;
      }
      std::string word = Substitute(tokens[i].Text);
      if (!word.empty() || tokens[i].Quoted) words.push_back(std::move(word));
    }
    if (words.empty()) return std::nullopt;

    std::string error;
    const std::optional<std::vector<std::string>> argv = ProgramArguments(words, &error);
    if (!argv) return TFailure{error.rfind("cannot find", 0) == 0 ? kNotFound : kCannotRun, error};

    int out = -1;
    if (redirect != 0) {
      const std::string path = platform::ResolvePath(target);
      out = ::open(path.c_str(),
                   O_WRONLY | O_CREAT | O_CLOEXEC | (redirect == 2 ? O_APPEND : O_TRUNC), 0666);
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
