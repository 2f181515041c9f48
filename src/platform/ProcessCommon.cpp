#include <utility>

#include "Process.h"

namespace platform {

TChildProcess::TChildProcess(TChildProcess&& other) noexcept
    : FId(std::exchange(other.FId, 0)),
      FWaitHandle(std::exchange(other.FWaitHandle, -1)),
      FExitCode(std::exchange(other.FExitCode, std::nullopt)) {}

TChildProcess& TChildProcess::operator=(TChildProcess&& other) noexcept {
  if (this != &other) {
    Release();
    FId = std::exchange(other.FId, 0);
    FWaitHandle = std::exchange(other.FWaitHandle, -1);
    FExitCode = std::exchange(other.FExitCode, std::nullopt);
  }
  return *this;
}

TChildProcess::~TChildProcess() {
  Release();
}

TChildProcess TChildProcess::Adopt(std::int64_t id, TWaitHandle waitHandle) {
  TChildProcess process;
  process.FId = id;
  process.FWaitHandle = waitHandle;
  return process;
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (const char c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;  // "" is an empty word of its own
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

}  // namespace platform
