#include "Scans.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "Catalogue.h"
#include "NewGames.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace {

// One listing of a directory, answering "which entry would a case-insensitive look-up of this
// name find" in constant time: the exact name first, else the smallest case variant in byte order,
// as the file seam resolves names. A scan of many games asks it instead of listing once per game.
class TDirIndex {
 public:
  explicit TDirIndex(const std::string& dir) {
    platform::ForEachEntry(
        dir, "*",
        [this](const platform::TSearchRec& rec) {
          FExact.emplace(rec.Name, rec.IsDirectory);
          auto [it, added] = FFolded.try_emplace(LowerAscii(rec.Name), rec.Name, rec.IsDirectory);
          if (!added && rec.Name < it->second.first) it->second = {rec.Name, rec.IsDirectory};
          return true;
        },
        platform::TListDetail::ldKind);
  }

  struct TFound {
    std::string Name;
    bool IsDirectory;
  };

  std::optional<TFound> Find(const std::string& name) const {
    if (const auto it = FExact.find(name); it != FExact.end()) return TFound{name, it->second};
    if (const auto it = FFolded.find(LowerAscii(name)); it != FFolded.end())
      return TFound{it->second.first, it->second.second};
    return std::nullopt;
  }

 private:
  std::unordered_map<std::string, bool> FExact;  // name -> is a directory
  std::unordered_map<std::string, std::pair<std::string, bool>> FFolded;
};

// Answers ask(i) for every i below count, the answers in index order. The questions are reads of
// the file system that do not depend on each other; with many of them they are shared out among a
// few threads, which wait on the disk in parallel. Nothing else is touched from those threads.
std::vector<char> AskAll(std::size_t count, const std::function<bool(std::size_t)>& ask) {
  std::vector<char> answers(count, 0);
  constexpr std::size_t kBlock = 256;       // questions taken at a time
  constexpr std::size_t kPerThread = 2048;  // fewer are answered before a thread has started
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t first; (first = next.fetch_add(kBlock)) < count;)
      for (std::size_t i = first; i < std::min(first + kBlock, count); ++i)
        answers[i] = ask(i) ? 1 : 0;
  };
  const std::size_t wanted = std::min<std::size_t>(
      {std::max(1u, std::thread::hardware_concurrency()), 4, count / kPerThread + 1});
  std::vector<std::thread> helpers;
  try {
    for (std::size_t t = 1; t < wanted; ++t) helpers.emplace_back(work);
  } catch (const std::system_error&) {
    // No thread to be had: the ones running and this one answer everything.
  }
  work();
  for (std::thread& helper : helpers) helper.join();
  return answers;
}

}  // namespace

bool IsPlainZipName(std::string_view name) {
  return !name.empty() && name.size() <= 8 && name != "." && name != ".." &&
         name.find_first_of("/\\:") == std::string_view::npos && !HasControlCharacter(name);
}

void ScanDriverDirs(TNewGames& names, const std::string& dir) {
  std::vector<std::string> dirs;
  platform::ForEachEntry(
      dir, "*",
      [&](const platform::TSearchRec& rec) {
        if (rec.IsDirectory && rec.Name != "." && rec.Name != "..") dirs.push_back(rec.Name);
        return true;
      },
      platform::TListDetail::ldKind);
  const std::vector<char> hasDriver = AskAll(dirs.size(), [&](std::size_t i) {
    return platform::FileExists(
        platform::JoinPath(platform::JoinPath(dir, dirs[i]), dirs[i] + ".vlk"));
  });
  // In the order of the listing, as one pass would have added them.
  for (std::size_t i = 0; i < dirs.size(); ++i)
    if (hasDriver[i]) names.Add(dirs[i]);
}

bool DirHasEntries(const std::string& dir, int minCount) {
  if (minCount <= 0) return true;
  // Only the count matters, so the listing looks nothing up per entry.
  const auto wanted = static_cast<std::size_t>(minCount);
  return platform::CountEntries(dir, wanted) >= wanted;
}

void ScanGameAvailability(TCatalogue& cat) {
  cat.GameStatus.resize(cat.Games.size(), gsNotAvailable);
  if (cat.Games.size() <= 1) return;

  const TDirIndex workDir(cat.GameDir);
  std::optional<TDirIndex> romDirStore;
  if (!cat.AltRomPath.empty()) romDirStore.emplace(InGameDir(cat, cat.AltRomPath));
  const TDirIndex& romDir = romDirStore ? *romDirStore : workDir;

  // The game directories to count, found first: the counts are the slow part, and they are
  // independent reads that AskAll may spread over threads.
  std::vector<std::string> gameDirs(cat.Games.size());
  for (std::size_t i = 1; i < cat.Games.size(); ++i) {
    const std::string zipName = cat.Games[i].ZipName.str();
    if (!IsPlainZipName(zipName)) continue;
    if (const auto dir = workDir.Find(zipName); dir && dir->IsDirectory)
      gameDirs[i] = platform::JoinPath(cat.GameDir, dir->Name);
  }
  const std::vector<char> filled = AskAll(gameDirs.size(), [&](std::size_t i) {
    return !gameDirs[i].empty() && DirHasEntries(gameDirs[i], InstalledMinEntries);
  });

  for (std::size_t i = 1; i < cat.Games.size(); ++i) {
    const std::string zipName = cat.Games[i].ZipName.str();
    const std::string archive = zipName + ".zip";
    // A name such as "..", "../x" or "C:x" would lead out of the emulator's directory.
    bool installed = false, zipped = false;
    if (IsPlainZipName(zipName)) {
      installed = filled[i] != 0;
      const auto zip = romDir.Find(archive);
      zipped = zip && !zip->IsDirectory;
    }
    cat.GameStatus[i] = installed ? gsInstalled : zipped ? gsZipAvailable : gsNotAvailable;
  }
}
