#include "ExecTestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "TempDir.h"
#include "platform/Files.h"
#include "platform/Spawn_posix.h"

namespace fs = std::filesystem;

void WriteRecorder(const fs::path& path, const fs::path& recordFile, int exitCode, double seconds) {
  std::ostringstream script;
  script << "#!/bin/sh\n"
         << "{\n"
         << "  printf 'cwd=%s\\n' \"$(pwd)\"\n"
         << "  printf 'nice=%s\\n' \"$(nice)\"\n"
         << "  printf 'pid=%s\\n' \"$$\"\n"
         << "  printf 'windowid=%s\\n' \"${WINDOWID:-}\"\n"
         << "  for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done\n"
         << "} > '" << recordFile.string() << ".part'\n"
         << "mv '" << recordFile.string() << ".part' '" << recordFile.string() << "'\n"
         << "echo \"output of $(basename \"$0\")\"\n";
  if (seconds > 0) script << "sleep " << seconds << "\n";
  script << "exit " << exitCode << "\n";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << script.str();
  }
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

TRecord ReadRecord(const fs::path& recordFile) {
  TRecord record;
  std::ifstream in(recordFile);
  if (!in) return record;
  record.Found = true;
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const std::string value = line.substr(eq + 1);
    if (key == "cwd") record.Cwd = value;
    if (key == "nice") record.Nice = std::stoi(value);
    if (key == "pid") record.Pid = value;
    if (key == "windowid") record.WindowId = value;
    if (key == "arg") record.Args.push_back(value);
  }
  return record;
}

int ZombieChildren() {
  const std::string self = std::to_string(::getpid());
  int zombies = 0;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return 0;
  while (const dirent* entry = ::readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
    std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // pid (comm) state ppid ...: the command may hold blanks, so read after the last ")".
    const auto close = content.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(content.substr(close + 1));
    std::string state, ppid;
    rest >> state >> ppid;
    if (ppid == self && state == "Z") ++zombies;
  }
  ::closedir(proc);
  return zombies;
}

int ZombieChildrenAfterSettling() {
  int zombies = ZombieChildren();
  for (int i = 0; i < 100 && zombies > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    zombies = ZombieChildren();
  }
  return zombies;
}

std::string InterpreterPath() {
  return platform::ProgramDir() + "startvelk-batch";
}

TRunResult RunInterpreter(const std::vector<std::string>& args) {
  TempDir capture;
  const fs::path outPath = capture.Path() / "out";
  const fs::path errPath = capture.Path() / "err";
  const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  std::vector<std::string> argv{InterpreterPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  platform::TSpawnOptions options;
  options.StdOut = out;
  options.StdErr = err;
  std::string error;
  platform::TChildProcess child = platform::SpawnArgv(argv, options, &error);
  ::close(out);
  ::close(err);
  TRunResult result;
  if (!child.Valid()) {
    result.Err = error;
    return result;
  }
  child.WaitForEnd();
  result.Status = child.ExitCode().value_or(-1);
  result.Out = ReadFileBytes(outPath);
  result.Err = ReadFileBytes(errPath);
  return result;
}
