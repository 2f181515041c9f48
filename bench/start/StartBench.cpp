// A zip start from the start command to the emulator's start plus the clean-up after it, against
// `unzip -j -n -q` and the removal of the same files, on one generated archive of 500 entries and
// 100 MB. The emulator is a script that only notes that it ran.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchTools.h"
#include "QuietUserInteraction.h"
#include "TempDir.h"
#include "ZipWriter.h"
#include "launch/BatchFile.h"
#include "launch/StartGame.h"
#include "platform/Files.h"

namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 500;
constexpr std::size_t kEntrySize = 200 * 1024;  // 500 × 200 KiB: 100 MB

class TQuietWindow : public TStartWindow {
 public:
  bool SelectedGameChecked() const override { return true; }
  void JoinClipboardChain() override {}
  void LeaveClipboardChain() override {}
  void StopSlideShowTimer() override {}
  void FollowSlideShowPlayButton() override {}
  void LoadScreenShots() override {}
};

// The emulator folder with batch.bat, a trivial velk.exe, the driver and zips/mygame.zip.
struct TFixture {
  TempDir Dir;
  std::string Archive;
  TFixture() {
    ScopedCurrentDir cd(Dir.Path());
    WriteBatchFile();
    const fs::path velk = Dir.Write("velk.exe", "#!/bin/sh\n: > ran.txt\n");
    fs::permissions(velk, fs::perms::owner_all);
    Dir.Write("mygame/mygame.vlk", "driver");
    TZipWriter w;
    for (int i = 0; i < kEntries; ++i)
      w.Add("roms/file" + std::to_string(i) + ".bin", RomData(kEntrySize, i));
    Archive = (Dir.Path() / "zips" / "mygame.zip").string();
    fs::create_directories(Dir.Path() / "zips");
    w.WriteFile(Archive);
  }
};

TFixture& Fixture() {
  static TFixture fixture;
  return fixture;
}

void BM_ZipStartAndCleanUp(benchmark::State& state) {
  TFixture& f = Fixture();
  ScopedCurrentDir cd(f.Dir.Path());
  TCatalogue catalogue;
  catalogue.Games.resize(2);
  for (TGameRecord& g : catalogue.Games) InitGameRecord(g);
  catalogue.Games[1].ZipName = "mygame";
  catalogue.GameStatus = {0, gsZipAvailable};
  catalogue.CurrentGame = 1;
  catalogue.AltRomPath = std::string("zips") + platform::PathDelim;
  catalogue.GameDir = f.Dir.Str();
  TQuietUserInteraction ui;
  TQuietWindow window;
  TExecFile execEmu(&ui);
  TZipArchive zip(ui);
  TGameStarter starter(catalogue, execEmu, zip, ui, window);
  zip.LoadUnzipLibrary();
  for (auto _ : state) {
    starter.StartEmuButtonClick();
    const auto left =
        std::distance(fs::directory_iterator(f.Dir.Path() / "mygame"), fs::directory_iterator());
    if (!fs::exists(f.Dir.Path() / "ran.txt") || left != 1) {
      state.SkipWithError("the start did not run or left files behind");
      break;
    }
    fs::remove(f.Dir.Path() / "ran.txt");
  }
  TZipArchive::UnloadUnzipLibrary();
  state.SetBytesProcessed(state.iterations() * kEntries * static_cast<std::int64_t>(kEntrySize));
}
BENCHMARK(BM_ZipStartAndCleanUp)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_UnzipToolAndRemoval(benchmark::State& state) {
  TFixture& f = Fixture();
  const fs::path target = f.Dir.Path() / "tool";
  fs::create_directories(target);
  for (auto _ : state) {
    if (!RunTool({"unzip", "-j", "-n", "-q", f.Archive, "-d", target.string()})) {
      state.SkipWithError("unzip is not installed or failed");
      break;
    }
    for (int i = 0; i < kEntries; ++i)
      platform::DeleteFile((target / ("file" + std::to_string(i) + ".bin")).string());
  }
  state.SetBytesProcessed(state.iterations() * kEntries * static_cast<std::int64_t>(kEntrySize));
}
BENCHMARK(BM_UnzipToolAndRemoval)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace

BENCHMARK_MAIN();
