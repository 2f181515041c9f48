// The launcher's costs: the front-end's own processor time while it waits for an emulator run,
// and the batch interpreter's start-up overhead against a plain shell starting the same program.

#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "launch/ExecFile.h"
#include "platform/Files.h"
#include "platform/Spawn_posix.h"

namespace fs = std::filesystem;

namespace {

double ProcessCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// An event loop in miniature: it sleeps in poll on the child's handle and on a 100 ms timer (a
// slide show running meanwhile), dispatching each timer tick as an event.
class TPollingLoop : public TUserInteraction {
 public:
  TPollingLoop() {
    FTimer = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    itimerspec interval{{0, 100'000'000}, {0, 100'000'000}};
    ::timerfd_settime(FTimer, 0, &interval, nullptr);
  }
  ~TPollingLoop() override { ::close(FTimer); }

  TModalResult MessageDlg(const std::string&, TMsgDlgType, TMsgDlgButtons) override {
    return TModalResult::mrOk;
  }
  void ShowMessage(const std::string&) override {}
  void Beep() override {}
  void SetStatusText(const std::string&) override {}
  void ResetStatusText() override {}
  void ProcessMessages() override {}
  bool WaitDispatching(TWaitHandle handle) override {
    for (;;) {
      pollfd fds[2] = {{static_cast<int>(handle), POLLIN, 0}, {FTimer, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) continue;
      if (fds[1].revents & POLLIN) {
        std::uint64_t ticks = 0;
        [[maybe_unused]] const ssize_t n = ::read(FTimer, &ticks, sizeof ticks);
        Events += static_cast<int>(ticks);
      }
      if (fds[0].revents) return true;
    }
  }
  bool QuitRequested() const override { return false; }

  int Events = 0;

 private:
  int FTimer;
};

// A scratch directory holding the programs the benchmarks start.
struct TScratch {
  fs::path Dir = fs::temp_directory_path() / ("startvelk-bench-" + std::to_string(::getpid()));
  TScratch() {
    fs::create_directories(Dir);
    Write("sleep3.sh", "#!/bin/sh\nexec sleep 3\n", true);
    Write("sleep1.sh", "#!/bin/sh\nexec sleep 1\n", true);
    Write("trivial.bat", "@/usr/bin/true\r\n", false);
  }
  ~TScratch() {
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }
  void Write(const std::string& name, const std::string& text, bool executable) {
    std::ofstream(Dir / name, std::ios::binary) << text;
    if (executable) fs::permissions(Dir / name, fs::perms::owner_all);
  }
};

TScratch& Scratch() {
  static TScratch scratch;
  return scratch;
}

void BM_RegularWaitWhileChildSleeps3s(benchmark::State& state) {
  TPollingLoop loop;
  TExecFile exec(&loop);
  exec.CommandLine = (Scratch().Dir / "sleep3.sh").string();
  exec.Wait = true;
  exec.WaitStyle = wRegular;
  double cpu = 0, wall = 0;
  for (auto _ : state) {
    const double cpuBefore = ProcessCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    if (!exec.Execute()) state.SkipWithError("cannot start the sleeping child");
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    cpu += ProcessCpuSeconds() - cpuBefore;
  }
  state.counters["cpu_percent_of_wall"] = 100.0 * cpu / wall;
  state.counters["events_dispatched"] = loop.Events;
}
BENCHMARK(BM_RegularWaitWhileChildSleeps3s)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// For comparison only: the draining loop that tests the process between passes without sleeping.
void BM_SpinningWaitForComparison(benchmark::State& state) {
  TPollingLoop loop;
  double cpu = 0, wall = 0;
  for (auto _ : state) {
    const double cpuBefore = ProcessCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::string error;
    platform::TChildProcess child =
        platform::StartProcess({(Scratch().Dir / "sleep1.sh").string()}, &error);
    if (!child.Valid()) state.SkipWithError("cannot start the sleeping child");
    while (!child.HasEnded()) loop.ProcessMessages();
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    cpu += ProcessCpuSeconds() - cpuBefore;
  }
  state.counters["cpu_percent_of_wall"] = 100.0 * cpu / wall;
}
BENCHMARK(BM_SpinningWaitForComparison)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

double RunOnce(const std::vector<std::string>& argv) {
  const auto before = std::chrono::steady_clock::now();
  std::string error;
  platform::TChildProcess child = platform::SpawnArgv(argv, {}, &error);
  if (!child.Valid()) return -1;
  child.WaitForEnd();
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - before)
      .count();
}

const std::vector<std::string>& InterpreterCommand() {
  static const std::vector<std::string> argv{platform::ProgramDir() + "startvelk-batch",
                                             (Scratch().Dir / "trivial.bat").string()};
  return argv;
}
const std::vector<std::string>& ShellCommand() {
  static const std::vector<std::string> argv{"/bin/sh", "-c", "/usr/bin/true"};
  return argv;
}

void BM_InterpreterStartsTrivialProgram(benchmark::State& state) {
  for (auto _ : state)
    if (RunOnce(InterpreterCommand()) < 0) state.SkipWithError("cannot run startvelk-batch");
}
BENCHMARK(BM_InterpreterStartsTrivialProgram)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_ShellStartsTrivialProgram(benchmark::State& state) {
  for (auto _ : state)
    if (RunOnce(ShellCommand()) < 0) state.SkipWithError("cannot run /bin/sh");
}
BENCHMARK(BM_ShellStartsTrivialProgram)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Both in turns, so that a busy machine weighs on each the same.
void BM_InterpreterOverShellRatio(benchmark::State& state) {
  double interpreter = 0, shell = 0;
  for (auto _ : state) {
    interpreter += RunOnce(InterpreterCommand());
    shell += RunOnce(ShellCommand());
  }
  state.counters["interpreter_us"] = interpreter / static_cast<double>(state.iterations());
  state.counters["sh_c_us"] = shell / static_cast<double>(state.iterations());
  state.counters["ratio"] = interpreter / shell;
}
BENCHMARK(BM_InterpreterOverShellRatio)
    ->Iterations(300)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
