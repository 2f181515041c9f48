// Start-up and shutdown of the catalogue with many games, in real emulator directories. The
// figures must grow linearly: 10,000 games at most twelve times the cost of 1,000.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "QuietUserInteraction.h"
#include "catalogue/Catalogue.h"
#include "catalogue/SettingsFile.h"
#include "catalogue/WindowState.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ShortName(int i) {
  return "g" + std::to_string(i);
}

// An emulator directory with games driver directories (every other one installed, every fifth
// zipped), a readme listing them all, and the settings file an earlier run saved for them.
class TEmulatorDir {
 public:
  explicit TEmulatorDir(int games)
      : FPath(fs::temp_directory_path() / ("startvelk-bench-" + std::to_string(games))) {
    fs::remove_all(FPath);
    fs::create_directories(FPath);
    // What the scans remember of the folders stays beside the directory, not among the user's.
    ::setenv("XDG_CACHE_HOME", (FPath.string() + "-cache").c_str(), 1);
    WriteFile(FPath / "velk.exe", "MZ");
    std::string readme = "VELK\r\n\r\ngameslist:\r\n";
    for (int i = 1; i <= games; ++i) {
      const std::string name = ShortName(i);
      fs::create_directory(FPath / name);
      WriteFile(FPath / name / (name + ".vlk"), "driver");
      if (i % 2 == 0)
        for (int f = 0; f < 3; ++f) WriteFile(FPath / name / ("rom" + std::to_string(f)), "r");
      if (i % 5 == 0) WriteFile(FPath / (name + ".zip"), "PK");
      readme += "Game Number " + std::to_string(i) + " | " + name + "\r\n";
    }
    WriteFile(FPath / "readme.txt", readme);
    const fs::path old = fs::current_path();
    fs::current_path(FPath);
    TQuietUserInteraction ui;
    TWindowState window;
    StartupIO(Catalogue, ui, window, {});
    SaveSettings(Catalogue, window);
    Settings = ReadWholeSettings();
    fs::remove(FPath / SettingsFileName);
    fs::current_path(old);
  }
  ~TEmulatorDir() {
    std::error_code ec;
    fs::remove_all(FPath, ec);
    fs::remove_all(FPath.string() + "-cache", ec);
  }

  std::string ReadWholeSettings() const {
    std::ifstream in(FPath / SettingsFileName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path FPath;
  TCatalogue Catalogue;  // as the first start built it
  std::string Settings;  // as its shutdown saved it
};

TEmulatorDir& Dir(int games) {
  static std::map<int, std::unique_ptr<TEmulatorDir>> dirs;
  auto& dir = dirs[games];
  if (!dir) dir = std::make_unique<TEmulatorDir>(games);
  return *dir;
}

// Start-ups of the catalogue in dir, as the settings file there makes them.
void TimeStartups(benchmark::State& state, const TEmulatorDir& dir) {
  TQuietUserInteraction ui;
  for (auto _ : state) {
    TCatalogue cat;
    TWindowState window;
    StartupIO(cat, ui, window, {});
    if (cat.Games.size() != dir.Catalogue.Games.size()) state.SkipWithError("wrong catalogue");
    benchmark::DoNotOptimize(cat.GameStatus.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_FirstStart(benchmark::State& state) {
  TEmulatorDir& dir = Dir(static_cast<int>(state.range(0)));
  fs::current_path(dir.FPath);
  fs::remove(dir.FPath / SettingsFileName);
  TimeStartups(state, dir);
}

void BM_UnchangedStart(benchmark::State& state) {
  TEmulatorDir& dir = Dir(static_cast<int>(state.range(0)));
  fs::current_path(dir.FPath);
  WriteFile(dir.FPath / SettingsFileName, dir.Settings);
  TimeStartups(state, dir);
  fs::remove(dir.FPath / SettingsFileName);
}

void BM_SaveSettings(benchmark::State& state) {
  TEmulatorDir& dir = Dir(static_cast<int>(state.range(0)));
  fs::current_path(dir.FPath);
  const TWindowState window;
  for (auto _ : state) SaveSettings(dir.Catalogue, window);
  fs::remove(dir.FPath / SettingsFileName);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_FirstStart)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnchangedStart)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveSettings)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
