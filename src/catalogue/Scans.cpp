#include "Scans.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "Catalogue.h"
#include "FolderCounts.h"
#include "NewGames.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace {

// One listing of a directory, answering "which entry would a case-insensitive look-up of this
// name find" in constant time: the exact name first, else the smallest case variant in byte order,
// as the file seam resolves names. A scan of many games asks it instead of listing once per game.
class TDirIndex {
 public:
  struct TEntry {
    std::string Name;
    bool IsDirectory;
  };

  explicit TDirIndex(const std::string& dir) {
    platform::ForEachEntry(
        dir, "*",
        [this](const platform::TSearchRec& rec) {
          FEntries.push_back({rec.Name, rec.IsDirectory});
          return true;
        },
        platform::TListDetail::ldKind);
    // The views below point into FEntries, which is not changed any more.
    FExact.reserve(FEntries.size());
    FFolded.reserve(FEntries.size());
    for (std::size_t i = 0; i < FEntries.size(); ++i) {
      const std::string& name = FEntries[i].Name;
      FExact.emplace(name, i);
      auto [it, added] = FFolded.try_emplace(LowerAscii(name), i);
      if (!added && name < FEntries[it->second].Name) it->second = i;
    }
  }
  TDirIndex(const TDirIndex&) = delete;
  TDirIndex& operator=(const TDirIndex&) = delete;

  /// The index of the entry a look-up of name finds.
  std::optional<std::size_t> Find(const std::string& name) const {
    if (const auto it = FExact.find(name); it != FExact.end()) return it->second;
    if (const auto it = FFolded.find(LowerAscii(name)); it != FFolded.end()) return it->second;
    return std::nullopt;
  }

  const TEntry& operator[](std::size_t i) const { return FEntries[i]; }
  std::size_t Size() const { return FEntries.size(); }

 private:
  std::vector<TEntry> FEntries;
  std::unordered_map<std::string_view, std::size_t> FExact;
  std::unordered_map<std::string, std::size_t> FFolded;
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

// Whether each folder of dir named in names (empty: not asked) holds enough entries to count as
// installed. A folder whose stamp is the one memory holds for it is looked up, not read; the
// answers found are remembered for the next scan, with those memory holds of other folders that
// are still there.
std::vector<char> AnswerFolders(const std::string& dir, const std::vector<std::string>& names,
                                std::size_t asked, const TScanMemory& memory,
                                const std::function<bool(const std::string&)>& stillThere) {
  const platform::TOpenDir open(dir);
  const bool remember = !memory.File.empty() && asked >= memory.FromFolders;
  TFolderCounts known = remember ? TFolderCounts(memory.File, dir) : TFolderCounts();
  std::vector<std::optional<platform::TDirStamp>> stamps(remember ? names.size() : 0);
  const auto wanted = static_cast<std::size_t>(InstalledMinEntries);
  const std::vector<char> filled = AskAll(names.size(), [&](std::size_t i) {
    if (names[i].empty()) return false;
    if (remember) {
      // Taken before the count: a change while counting moves the stamp away from the one kept.
      stamps[i] = open.Stamp(names[i]);
      if (stamps[i])
        if (const auto answer = known.Find(names[i], *stamps[i])) return *answer;
    }
    return open.CountEntries(names[i], wanted) >= wanted;
  });
  if (remember) {
    const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
    for (std::size_t i = 0; i < stamps.size(); ++i)
      if (stamps[i]) known.Keep(names[i], *stamps[i], filled[i] != 0, now - memory.SettledNs);
    known.Save(stillThere);  // a cache that cannot be written only costs the next start its time
  }
  return filled;
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

void ScanGameAvailability(TCatalogue& cat) {
  ScanGameAvailability(cat, TScanMemory{FolderCountsFile(cat.GameDir)});
}

void ScanGameAvailability(TCatalogue& cat, const TScanMemory& memory) {
  cat.GameStatus.resize(cat.Games.size(), gsNotAvailable);
  if (cat.Games.size() <= 1) return;

  const TDirIndex workDir(cat.GameDir);
  std::optional<TDirIndex> romDirStore;
  if (!cat.AltRomPath.empty()) romDirStore.emplace(InGameDir(cat, cat.AltRomPath));
  const TDirIndex& romDir = romDirStore ? *romDirStore : workDir;

  // The game folders, found first: their counts are the slow part, and they are independent
  // reads that AskAll may spread over threads.
  std::vector<std::optional<std::size_t>> folder(cat.Games.size());
  for (std::size_t i = 1; i < cat.Games.size(); ++i) {
    const std::string zipName = cat.Games[i].ZipName.str();
    if (!IsPlainZipName(zipName)) continue;
    if (const auto at = workDir.Find(zipName); at && workDir[*at].IsDirectory) folder[i] = at;
  }
  std::vector<std::string> names(workDir.Size());
  std::size_t asked = 0;
  for (const auto& at : folder)
    if (at && names[*at].empty()) {
      names[*at] = workDir[*at].Name;
      ++asked;
    }
  // What memory holds of a folder that is no longer there is forgotten.
  const std::vector<char> filled =
      AnswerFolders(cat.GameDir, names, asked, memory, [&workDir](const std::string& name) {
        const auto at = workDir.Find(name);
        return at && workDir[*at].Name == name && workDir[*at].IsDirectory;
      });

  for (std::size_t i = 1; i < cat.Games.size(); ++i) {
    const std::string zipName = cat.Games[i].ZipName.str();
    const std::string archive = zipName + ".zip";
    // A name such as "..", "../x" or "C:x" would lead out of the emulator's directory.
    bool installed = false, zipped = false;
    if (IsPlainZipName(zipName)) {
      installed = folder[i] && filled[*folder[i]] != 0;
      const auto zip = romDir.Find(archive);
      zipped = zip && !romDir[*zip].IsDirectory;
    }
    cat.GameStatus[i] = installed ? gsInstalled : zipped ? gsZipAvailable : gsNotAvailable;
  }
}
