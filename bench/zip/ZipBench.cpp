// Side by side on the same generated files, as a user meets them:
// - the listing of a 101,001-entry zip64 archive made by Info-ZIP zip, by a fresh process of the
//   component against `unzip -l` (cold: each run a new process), and repeated in one warm process;
// - the extraction of 500 entries / 100 MB through UNZIPLIB.DLL, alone and with a start's clean-up
//   journal, against `unzip -j -n -q`, all into an empty folder;
// - the peak resident memory of a fresh process extracting entries of 8 MiB and 100 bytes in turn;
// - how long a cancel takes to stop the extraction inside a 500 MB entry.

#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchTools.h"
#include "QuietUserInteraction.h"
#include "TempDir.h"
#include "ZipWriter.h"
#include "launch/StartGame.h"
#include "launch/UnzipJournal.h"
#include "launch/ZipArchive.h"

namespace fs = std::filesystem;

namespace {

constexpr int kListCount = 101001;
constexpr int kMixedPairs = 12;
constexpr std::size_t kLargeEntry = 500u << 20;

using TClock = std::chrono::steady_clock;

double Seconds(TClock::duration d) {
  return std::chrono::duration<double>(d).count();
}

struct TFixtures {
  TempDir Dir;
  std::string ListArchive;     // Info-ZIP, zip64 by its count of entries
  std::string ExtractArchive;  // 500 entries, 100 MB
  std::string MixedArchive;    // 8 MiB and 100-byte entries in turn
  std::string LargeArchive;    // one deflated entry of 500 MB, then a small one

  // 101,001 names in 1,011 folders, hard links of a few files (a file takes at most 65,000): no
  // data to write, nor to zip twice.
  void MakeInfoZipArchive() {
    const fs::path src = Dir.MakeDir("many");
    for (int i = 0; i < kListCount; ++i) {
      const fs::path data = src / ("data" + std::to_string(i / 50000));
      if (i % 50000 == 0) Dir.Write("many/" + data.filename().string(), "rom");
      const fs::path folder = src / "roms" / ("set" + std::to_string(i / 100));
      if (i % 100 == 0) fs::create_directories(folder);
      fs::create_hard_link(data, folder / ("file" + std::to_string(i) + ".bin"));
    }
    ListArchive = (Dir.Path() / "many.zip").string();
    const fs::path home = fs::current_path();
    fs::current_path(src);
    const bool made = RunTool({"env", "LC_ALL=C", "zip", "-q", "-r", "-D", ListArchive, "roms"});
    fs::current_path(home);
    fs::remove_all(src);
    if (!made) throw std::runtime_error("zip failed");
  }

  // The entry deflated by zlib from a repeated block of ROM-like data.
  void MakeLargeArchive() {
    const std::string block = RomData(1u << 20, 99);
    z_stream zs{};
    deflateInit2(&zs, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string packed;
    std::uint32_t crc = 0;
    std::vector<char> out(1u << 20);
    for (std::size_t done = 0; done < kLargeEntry; done += block.size()) {
      crc = static_cast<std::uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(block.data()),
                                             static_cast<uInt>(block.size())));
      zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
      zs.avail_in = static_cast<uInt>(block.size());
      const int flush = done + block.size() == kLargeEntry ? Z_FINISH : Z_NO_FLUSH;
      do {
        zs.next_out = reinterpret_cast<Bytef*>(out.data());
        zs.avail_out = static_cast<uInt>(out.size());
        deflate(&zs, flush);
        packed.append(out.data(), out.size() - zs.avail_out);
      } while (zs.avail_out == 0);
    }
    deflateEnd(&zs);
    TZipWriter w;
    TZipWriterEntry& e = w.Add("huge.bin", "x");
    e.RawData = std::move(packed);
    e.Size = static_cast<std::uint32_t>(kLargeEntry);
    e.Crc = crc;
    w.Add("after.bin", "after");
    LargeArchive = (Dir.Path() / "large.zip").string();
    w.WriteFile(LargeArchive);
  }

  TFixtures() {
    MakeInfoZipArchive();
    TZipWriter big;
    for (int i = 0; i < 500; ++i)
      big.Add("roms/chip" + std::to_string(i) + ".bin",
              RomData(200 * 1024, static_cast<std::uint32_t>(i)));
    ExtractArchive = (Dir.Path() / "big.zip").string();
    big.WriteFile(ExtractArchive);
    TZipWriter mixed;
    for (int i = 0; i < kMixedPairs; ++i) {
      mixed.Add("large" + std::to_string(i) + ".bin",
                RomData(8u << 20, static_cast<std::uint32_t>(i)));
      mixed.Add("small" + std::to_string(i) + ".bin", RomData(100, static_cast<std::uint32_t>(i)));
    }
    MixedArchive = (Dir.Path() / "mixed.zip").string();
    mixed.WriteFile(MixedArchive);
    MakeLargeArchive();
  }
};

TFixtures& Fixtures() {
  static TFixtures fixtures;
  return fixtures;
}

void EmptyFolder(const fs::path& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
}

// Each iteration a fresh process of the component's listing and then `unzip -l`, timed from
// outside; cold_ratio is the one's time over the other's.
void BM_ListColdAgainstUnzip(benchmark::State& state) {
  const std::string archive = Fixtures().ListArchive;
  double probe = 0, unzip = 0;
  for (auto _ : state) {
    auto start = TClock::now();
    if (!RunTool({ZIP_PROBE, "list", archive})) state.SkipWithError("zip_probe list failed");
    probe += Seconds(TClock::now() - start);
    start = TClock::now();
    if (!RunTool({"unzip", "-l", archive})) state.SkipWithError("unzip -l failed");
    unzip += Seconds(TClock::now() - start);
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["component_ms"] = probe / n * 1000;
  state.counters["unzip_ms"] = unzip / n * 1000;
  state.counters["cold_ratio"] = probe / unzip;
}
BENCHMARK(BM_ListColdAgainstUnzip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// The listing repeated inside one process, beside `unzip -l` as a process: a figure no user
// meets, kept to show what the process start and the first touch of memory cost.
void BM_ListWarmAgainstUnzip(benchmark::State& state) {
  const std::string archive = Fixtures().ListArchive;
  TQuietUserInteraction ui;
  TZipArchive zip(ui);
  double component = 0, unzip = 0;
  for (auto _ : state) {
    auto start = TClock::now();
    zip.SetZipFilename(archive);
    if (zip.Count() != kListCount) state.SkipWithError("listing failed");
    component += Seconds(TClock::now() - start);
    start = TClock::now();
    if (!RunTool({"unzip", "-l", archive})) state.SkipWithError("unzip -l failed");
    unzip += Seconds(TClock::now() - start);
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["component_ms"] = component / n * 1000;
  state.counters["warm_ratio"] = component / unzip;
}
BENCHMARK(BM_ListWarmAgainstUnzip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// Times extract(zip, target) into an emptied folder; extract returns how many files it wrote.
template <typename TExtract>
void TimeExtraction(benchmark::State& state, const char* folder, TExtract extract) {
  const std::string archive = Fixtures().ExtractArchive;
  const fs::path target = Fixtures().Dir.Path() / folder;
  const fs::path home = fs::current_path();
  TQuietUserInteraction ui;
  TZipArchive zip(ui);
  zip.LoadUnzipLibrary();
  for (auto _ : state) {
    state.PauseTiming();
    EmptyFolder(target);
    state.ResumeTiming();
    zip.SetZipFilename(archive);
    if (extract(zip, target) != 500) state.SkipWithError("extraction failed");
  }
  fs::current_path(home);
  TZipArchive::UnloadUnzipLibrary();
  state.SetBytesProcessed(state.iterations() * 500 * 200 * 1024);
}

void BM_ExtractComponent(benchmark::State& state) {
  TimeExtraction(state, "out-component", [](TZipArchive& zip, const fs::path& target) {
    zip.SetExtrBaseDir(target.string());
    zip.Extract();
    return zip.ExtractedFiles().size();
  });
}
BENCHMARK(BM_ExtractComponent)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same extraction as a start makes it: the folder listed before, the journal begun and
// synced to the disk, each file recorded as it is written, and the written files found after.
void BM_ExtractJournaled(benchmark::State& state) {
  TimeExtraction(state, "out-journaled", [](TZipArchive& zip, const fs::path& target) {
    TUnzipJournal journal;
    const auto extraction = ExtractJournaled(zip, journal, target.parent_path().string(),
                                             target.filename().string(), nullptr);
    journal.Finish();
    return extraction.Written.size();
  });
}
BENCHMARK(BM_ExtractJournaled)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExtractUnzipTool(benchmark::State& state) {
  const std::string archive = Fixtures().ExtractArchive;
  const fs::path target = Fixtures().Dir.Path() / "out-tool";
  for (auto _ : state) {
    state.PauseTiming();
    EmptyFolder(target);
    state.ResumeTiming();
    if (!RunTool({"unzip", "-j", "-n", "-q", archive, "-d", target.string()}))
      state.SkipWithError("unzip failed");
  }
  state.SetBytesProcessed(state.iterations() * 500 * 200 * 1024);
}
BENCHMARK(BM_ExtractUnzipTool)->Unit(benchmark::kMillisecond)->UseRealTime();

// A fresh process extracting 8 MiB and 100-byte entries in turn: its peak resident memory.
void BM_ExtractMixedSizesPeakMemory(benchmark::State& state) {
  const fs::path target = Fixtures().Dir.Path() / "out-mixed";
  const fs::path peakFile = Fixtures().Dir.Path() / "peak.txt";
  long peak = 0;
  for (auto _ : state) {
    state.PauseTiming();
    EmptyFolder(target);
    state.ResumeTiming();
    if (!RunTool(
            {ZIP_PROBE, "extract", Fixtures().MixedArchive, target.string(), peakFile.string()}))
      state.SkipWithError("zip_probe extract failed");
    peak = std::max(peak, std::stol("0" + ReadFileBytes(peakFile)));
  }
  state.counters["peak_MiB"] = static_cast<double>(peak) / 1024;
}
BENCHMARK(BM_ExtractMixedSizesPeakMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

// Escape 0.3 s into a 500 MB entry, as the window's event loop sees it: the time from the cancel
// to the end of Extract, the half-written file removed.
class TCancellingUser : public TQuietUserInteraction {
 public:
  void ProcessMessages() override {
    if (Zip && !Cancelled.time_since_epoch().count() && TClock::now() - Start > Delay) {
      Cancelled = TClock::now();
      Zip->SetCancel(true);
    }
  }
  TZipArchive* Zip = nullptr;
  TClock::time_point Start, Cancelled;
  std::chrono::milliseconds Delay{300};
};

void BM_CancelInsideALargeEntry(benchmark::State& state) {
  const fs::path target = Fixtures().Dir.Path() / "out-large";
  const fs::path home = fs::current_path();
  double stop = 0, worst = 0;
  for (auto _ : state) {
    state.PauseTiming();
    EmptyFolder(target);
    TCancellingUser ui;
    TZipArchive zip(ui);
    ui.Zip = &zip;
    zip.SetUnattended(true);
    zip.SetZipFilename(Fixtures().LargeArchive);
    zip.SetExtrBaseDir(target.string());
    state.ResumeTiming();
    ui.Start = TClock::now();
    zip.Extract();
    const double seconds = Seconds(TClock::now() - ui.Cancelled);
    if (!ui.Cancelled.time_since_epoch().count() || !fs::is_empty(target))
      state.SkipWithError("the cancel did not stop the entry");
    stop += seconds;
    worst = std::max(worst, seconds);
  }
  fs::current_path(home);
  TZipArchive::UnloadUnzipLibrary();
  state.counters["stop_ms"] = stop / static_cast<double>(state.iterations()) * 1000;
  state.counters["worst_stop_ms"] = worst * 1000;
}
BENCHMARK(BM_CancelInsideALargeEntry)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
