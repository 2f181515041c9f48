#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

#include <string>

#include "Process.h"
#include "Text.h"

namespace platform {
namespace {

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         SameTextAscii(text.substr(text.size() - suffix.size()), suffix);
}

std::string LastErrorText() {
  const DWORD code = GetLastError();
  char buffer[512] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  return text.empty() ? "error " + std::to_string(code) : text;
}

std::string CommandInterpreter() {
  char buffer[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableA("ComSpec", buffer, sizeof buffer);
  if (n > 0 && n < sizeof buffer) return std::string(buffer, n);
  n = GetSystemDirectoryA(buffer, sizeof buffer);
  if (n > 0 && n < sizeof buffer) return std::string(buffer, n) + "\\cmd.exe";
  return "cmd.exe";
}

// One argument for the command interpreter: words holding characters it would act on are quoted,
// so that they stay quoted when the batch file expands %1..%5 as well. A quote inside a word cannot
// be carried safely and is dropped; a percent sign is escaped outside the quotes.
std::string QuoteForCmd(const std::string& word) {
  if (!word.empty() && word.find_first_of(" \t&|<>^()%!\",;=") == std::string::npos) return word;
  std::string quoted = "\"";
  for (const char c : word) {
    if (c == '"') continue;
    if (c == '%') {
      quoted += "\"^%\"";
    } else {
      quoted += c;
    }
  }
  quoted += '"';
  return quoted;
}

TChildProcess Create(const std::string& application, std::string commandLine,
                     const TProcessStart& start, std::string* error) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(start.ShowCommand);
  // The console window of a run carries the game's name instead of the batch file's.
  std::string title = start.Title;
  if (!title.empty()) startup.lpTitle = title.data();
  PROCESS_INFORMATION info{};
  // CreateProcessA may write into the command line, so it gets a buffer of its own.
  commandLine.push_back('\0');
  if (!CreateProcessA(application.empty() ? nullptr : application.c_str(), commandLine.data(),
                      nullptr, nullptr, FALSE, start.PriorityClass | CREATE_NEW_CONSOLE, nullptr,
                      nullptr, &startup, &info)) {
    if (error) *error = "Cannot run " + start.CommandLine + ": " + LastErrorText();
    return TChildProcess();
  }
  CloseHandle(info.hThread);
  const auto handle = reinterpret_cast<std::intptr_t>(info.hProcess);
  return TChildProcess::Adopt(handle, handle);
}

}  // namespace

void TChildProcess::Release() {
  if (FId != 0) CloseHandle(reinterpret_cast<HANDLE>(FId));
  FId = 0;
  FWaitHandle = -1;
  FExitCode.reset();
}

bool TChildProcess::HasEnded() {
  if (FExitCode || FId == 0) return true;
  if (WaitForSingleObject(reinterpret_cast<HANDLE>(FId), 0) == WAIT_TIMEOUT) return false;
  DWORD code = 0;
  FExitCode =
      GetExitCodeProcess(reinterpret_cast<HANDLE>(FId), &code) ? static_cast<int>(code) : -1;
  return true;
}

void TChildProcess::WaitForEnd() {
  if (FExitCode || FId == 0) return;
  WaitForSingleObject(reinterpret_cast<HANDLE>(FId), INFINITE);
  HasEnded();
}

std::optional<std::string> FindOnPath(const std::string& name) {
  char buffer[MAX_PATH] = {};
  const DWORD n = SearchPathA(nullptr, name.c_str(), ".exe", sizeof buffer, buffer, nullptr);
  if (n == 0 || n >= sizeof buffer) return std::nullopt;
  return std::string(buffer, n);
}

std::optional<std::string> FindAssociatedProgram(const std::string& document) {
  char buffer[MAX_PATH] = {};
  const auto result = reinterpret_cast<INT_PTR>(FindExecutableA(document.c_str(), nullptr, buffer));
  if (result <= 32) return std::nullopt;
  return std::string(buffer);
}

bool ShowConsoleNotice(std::int64_t) {
  return false;  // the system's console window takes no such request
}

TChildProcess StartProcess(const TProcessStart& start, std::string* error) {
  const std::vector<std::string> words = SplitCommandLine(start.CommandLine);
  if (words.empty() || words[0].empty()) {
    if (error) *error = "No program to run";
    return TChildProcess();
  }
  if (!EndsWithIgnoringCase(words[0], ".bat") && !EndsWithIgnoringCase(words[0], ".cmd"))
    return Create({}, start.CommandLine, start, error);

  // A batch file runs in the command interpreter; a missing or unreadable one is a failed start.
  const HANDLE file =
      CreateFileA(words[0].c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (error) *error = "Cannot read " + words[0] + ": " + LastErrorText();
    return TChildProcess();
  }
  CloseHandle(file);
  // /s strips the outer quotes only, /d skips AutoRun commands, /v:off keeps "!" literal.
  std::string line = "cmd.exe /d /v:off /s /c \"" + QuoteForCmd(words[0]);
  for (std::size_t i = 1; i < words.size(); ++i) line += " " + QuoteForCmd(words[i]);
  line += "\"";
  return Create(CommandInterpreter(), line, start, error);
}

}  // namespace platform
