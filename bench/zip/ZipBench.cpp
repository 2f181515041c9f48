// Side by side on the same generated files: the component's listing against `unzip -l`, and its
// extraction through UNZIPLIB.DLL, alone and with a start's clean-up journal, against
// `unzip -j -n -q`, all into an empty folder.

#include <benchmark/benchmark.h>
#include <unistd.h>

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

constexpr int kListCount = 20000;
constexpr int kZip64Count = 100000;

struct TFixtures {
  TempDir Dir;
  std::string ListArchive;
  std::string Zip64Archive;  // zip64 by its count of entries
  std::string ExtractArchive;
  static std::string Many(const std::filesystem::path& path, int count) {
    TZipWriter many;
    for (int i = 0; i < count; ++i)
      many.Add("roms/set" + std::to_string(i / 100) + "/file" + std::to_string(i) + ".bin",
               "x" + std::to_string(i), TZipWriterEntry::zmStored);
    many.WriteFile(path.string());
    return path.string();
  }
  TFixtures() {
    ListArchive = Many(Dir.Path() / "many.zip", kListCount);
    Zip64Archive = Many(Dir.Path() / "zip64.zip", kZip64Count);
    TZipWriter big;
    for (int i = 0; i < 500; ++i)
      big.Add("roms/chip" + std::to_string(i) + ".bin",
              RomData(200 * 1024, static_cast<std::uint32_t>(i)));
    big.WriteFile((Dir.Path() / "big.zip").string());
    ExtractArchive = (Dir.Path() / "big.zip").string();
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

void ListComponent(benchmark::State& state, const std::string& archive, int count) {
  TQuietUserInteraction ui;
  TZipArchive zip(ui);
  for (auto _ : state) {
    zip.SetZipFilename(archive);
    if (zip.Count() != count) state.SkipWithError("listing failed");
  }
}
void ListUnzipTool(benchmark::State& state, const std::string& archive) {
  for (auto _ : state)
    if (!RunTool({"unzip", "-l", archive})) state.SkipWithError("unzip -l failed");
}

void BM_ListComponent(benchmark::State& state) {
  ListComponent(state, Fixtures().ListArchive, kListCount);
}
BENCHMARK(BM_ListComponent)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ListUnzipTool(benchmark::State& state) {
  ListUnzipTool(state, Fixtures().ListArchive);
}
BENCHMARK(BM_ListUnzipTool)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ListZip64Component(benchmark::State& state) {
  ListComponent(state, Fixtures().Zip64Archive, kZip64Count);
}
BENCHMARK(BM_ListZip64Component)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ListZip64UnzipTool(benchmark::State& state) {
  ListUnzipTool(state, Fixtures().Zip64Archive);
}
BENCHMARK(BM_ListZip64UnzipTool)->Unit(benchmark::kMillisecond)->UseRealTime();

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

}  // namespace

BENCHMARK_MAIN();
