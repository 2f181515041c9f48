// Side by side on the same generated files: the component's listing against `unzip -l`, and its
// extraction through UNZIPLIB.DLL against `unzip -j -n -q`, both into an empty folder.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "QuietUserInteraction.h"
#include "TempDir.h"
#include "ZipWriter.h"
#include "launch/ZipArchive.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// ROM-like contents: partly repetitive, partly noise, so that deflate has work to do.
std::string RomData(std::size_t size, std::uint32_t seed) {
  std::string s(size, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = (i / 64) % 3 == 0 ? static_cast<char>(x >> 24) : static_cast<char>((i * 7) ^ (x >> 29));
  }
  return s;
}

struct TFixtures {
  TempDir Dir;
  std::string ListArchive;
  std::string ExtractArchive;
  TFixtures() {
    TZipWriter many;
    for (int i = 0; i < 20000; ++i)
      many.Add("roms/set" + std::to_string(i / 100) + "/file" + std::to_string(i) + ".bin",
               "x" + std::to_string(i), TZipWriterEntry::zmStored);
    many.WriteFile((Dir.Path() / "many.zip").string());
    ListArchive = (Dir.Path() / "many.zip").string();
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

bool RunQuiet(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void EmptyFolder(const fs::path& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
}

void BM_ListComponent(benchmark::State& state) {
  const std::string archive = Fixtures().ListArchive;
  TQuietUserInteraction ui;
  TZipArchive zip(ui);
  for (auto _ : state) {
    zip.SetZipFilename(archive);
    if (zip.Count() != 20000) state.SkipWithError("listing failed");
  }
}
BENCHMARK(BM_ListComponent)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ListUnzipTool(benchmark::State& state) {
  const std::string archive = Fixtures().ListArchive;
  for (auto _ : state)
    if (!RunQuiet({"unzip", "-l", archive})) state.SkipWithError("unzip -l failed");
}
BENCHMARK(BM_ListUnzipTool)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExtractComponent(benchmark::State& state) {
  const std::string archive = Fixtures().ExtractArchive;
  const fs::path target = Fixtures().Dir.Path() / "out-component";
  const fs::path home = fs::current_path();
  TQuietUserInteraction ui;
  TZipArchive zip(ui);
  zip.LoadUnzipLibrary();
  for (auto _ : state) {
    state.PauseTiming();
    EmptyFolder(target);
    state.ResumeTiming();
    zip.SetZipFilename(archive);
    zip.SetExtrBaseDir(target.string());
    zip.Extract();
    if (zip.ExtractedFiles().size() != 500) state.SkipWithError("extraction failed");
  }
  fs::current_path(home);
  TZipArchive::UnloadUnzipLibrary();
  state.SetBytesProcessed(state.iterations() * 500 * 200 * 1024);
}
BENCHMARK(BM_ExtractComponent)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExtractUnzipTool(benchmark::State& state) {
  const std::string archive = Fixtures().ExtractArchive;
  const fs::path target = Fixtures().Dir.Path() / "out-tool";
  for (auto _ : state) {
    state.PauseTiming();
    EmptyFolder(target);
    state.ResumeTiming();
    if (!RunQuiet({"unzip", "-j", "-n", "-q", archive, "-d", target.string()}))
      state.SkipWithError("unzip failed");
  }
  state.SetBytesProcessed(state.iterations() * 500 * 200 * 1024);
}
BENCHMARK(BM_ExtractUnzipTool)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
