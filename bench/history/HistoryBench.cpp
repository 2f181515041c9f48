// The play history of 50,000 games and 100,000 runs: reading it in a fresh process (its file in
// the page cache, and evicted from it) and in a warm one, both as compaction keeps it and as a
// history that was never compacted leaves it; and recording one run, start and end, each on the
// disk before the call returns. The anchor is a fresh process of the same program that reads
// nothing, so the difference is what the history adds to a start. Aims: 50 ms to read, 5 ms to
// record a run.
//
// history_bench --load-once <folder> reads the history of folder once and ends: the fresh process.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "history/PlayHistory.h"
#include "platform/SharedFile.h"

namespace fs = std::filesystem;

namespace {

constexpr int kGames = 50'000;
constexpr int kRuns = 100'000;
constexpr std::int64_t kT0 = 1'714'560'000'000;
const char kBatch[] =
    "@echo off\r\necho Starting VELK with romset %1 .....\r\nvelk.exe %1 %2 %3 %4 %5 > "
    "VELKStart.txt\r\ncls\r\necho VELK has finished.\r\necho If this window does not "
    "disappear:\r\necho 1. Right-click on the title-bar\r\necho 2. Click properties\r\necho 3. "
    "Check \"close on exit\"\r\n";

TRunRecord Run(int i) {
  TRunRecord run;
  run.Id = static_cast<std::uint64_t>(i) * 0x9E3779B97F4A7C15ULL + 1;
  run.Game = "g" + std::to_string(i % kGames);
  run.StartMs = kT0 + i * 60'000LL;
  run.CommandLine = "batch.bat " + run.Game + " -v -n";
  run.WorkingFolder = "/home/player/arcade/velk";
  if (i % 5 == 0) {
    run.Archive = "/home/player/arcade/roms/" + run.Game + ".zip";
    run.Extracted = 12;
    run.Removed = 11;
  }
  run.BatchText = kBatch;
  run.Ended = true;
  run.DurationMs = 30'000 + (i % 97) * 11'000;
  run.EndMs = run.StartMs + run.DurationMs;
  run.ExitStatus = i % 20 == 0 ? 3 : 0;
  run.Outcome = ClassifyRun(true, false, i % 20 == 0 ? 800 : run.DurationMs, run.ExitStatus);
  run.Output = "VELK 0.9 starting " + run.Game + "\nsound: 44100 Hz\nvideo: 640x480\n";
  return run;
}

// A history as recording every run leaves it, and the same after a compaction.
struct THistories {
  fs::path Raw, Compacted, RawCopy;
  THistories() {
    const fs::path root = fs::temp_directory_path() / "startvelk-history-bench";
    Raw = root / "raw";
    Compacted = root / "compacted";
    fs::remove_all(root);
    fs::create_directories(Raw);
    fs::create_directories(Compacted);
    std::string text(HistoryHeader);
    for (int i = 0; i < kRuns; ++i) {
      const TRunRecord run = Run(i);
      text += StartLine(run);
      text += EndLine(run);
      if (i % 37 == 0) text += FavouriteLine(run.Game, true);
    }
    RawCopy = root / "raw.history";
    std::ofstream(RawCopy, std::ios::binary) << text;
    std::ofstream(Raw / HistoryFileName, std::ios::binary) << text;
    std::ofstream(Compacted / HistoryFileName, std::ios::binary)
        << THistoryLog::Parse(std::move(text)).Compacted();
  }
  static const THistories& Get() {
    static const THistories histories;
    return histories;
  }
};

void Evict(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ::fdatasync(fd);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
}

// Wall time of a fresh process of this program with the given arguments.
double FreshProcessSeconds(const std::vector<std::string>& words) {
  std::vector<char*> argv;
  static std::string self = fs::read_symlink("/proc/self/exe");
  argv.push_back(self.data());
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  const auto begun = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (::posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return 0;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
}

// A history that was never compacted is compacted by the first load: each start gets it anew.
void FreshLoad(benchmark::State& state, const fs::path& folder, bool evict, bool load,
               const fs::path& restore = {}) {
  for (auto _ : state) {
    if (!restore.empty())
      fs::copy_file(restore, folder / HistoryFileName, fs::copy_options::overwrite_existing);
    if (evict) Evict(folder / HistoryFileName);
    state.SetIterationTime(
        FreshProcessSeconds({"--load-once", load ? folder.string() : std::string()}));
  }
  state.counters["MiB"] = static_cast<double>(fs::file_size(folder / HistoryFileName)) / (1 << 20);
}

void BM_FreshProcess_Anchor_NoHistory(benchmark::State& state) {
  FreshLoad(state, THistories::Get().Compacted, false, false);
}
void BM_FreshProcess_Load_Compacted(benchmark::State& state) {
  FreshLoad(state, THistories::Get().Compacted, false, true);
}
void BM_FreshProcess_Load_Compacted_FileNotCached(benchmark::State& state) {
  FreshLoad(state, THistories::Get().Compacted, true, true);
}
void BM_FreshProcess_Load_NeverCompacted(benchmark::State& state) {
  FreshLoad(state, THistories::Get().Raw, false, true, THistories::Get().RawCopy);
}

void BM_WarmLoad_Compacted(benchmark::State& state) {
  for (auto _ : state) {
    TPlayHistory history;
    benchmark::DoNotOptimize(history.Load(THistories::Get().Compacted.string()));
    if (!history.Log().Stats("g1")) state.SkipWithError("nothing read");
  }
}
// Reading and checking every line of the history that was never compacted, before a load
// compacts it.
void BM_WarmParse_NeverCompacted(benchmark::State& state) {
  for (auto _ : state) {
    platform::TSharedContent read =
        platform::ReadShared(THistories::Get().RawCopy.string(), MaxHistoryBytes);
    const THistoryLog log = THistoryLog::Parse(std::move(read.Bytes));
    if (!log.Stats("g1")) state.SkipWithError("nothing read");
  }
}

// The floor of a durable write on this disk: a line appended and flushed, nothing else.
void BM_Anchor_AppendAndFlushOneLine(benchmark::State& state) {
  const fs::path file = THistories::Get().Compacted / "anchor.txt";
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const std::string line(160, 'x');
  for (auto _ : state) {
    if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()) ||
        ::fdatasync(fd) != 0)
      state.SkipWithError("not written");
  }
  ::close(fd);
  fs::remove(file);
}

// One run recorded as a start does it: its start line on the disk before the emulator starts,
// then its end line: two durable writes.
void BM_RecordOneRun_Durable(benchmark::State& state) {
  const fs::path folder = THistories::Get().Compacted;
  TPlayHistory history;
  history.Load(folder.string());
  int i = kRuns;
  for (auto _ : state) {
    TRunRecord run = Run(i++);
    if (!history.RecordStart(run, nullptr) || !history.RecordEnd(run, nullptr))
      state.SkipWithError("not written");
  }
}

BENCHMARK(BM_FreshProcess_Anchor_NoHistory)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreshProcess_Load_Compacted)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreshProcess_Load_Compacted_FileNotCached)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreshProcess_Load_NeverCompacted)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WarmLoad_Compacted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WarmParse_NeverCompacted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Anchor_AppendAndFlushOneLine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordOneRun_Durable)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--load-once") == 0) {
    if (argv[2][0] == '\0') return 0;
    TPlayHistory history;
    history.Load(argv[2]);
    return history.Log().Stats("g1") ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
