#include "Scans.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "Catalogue.h"
#include "FolderCounts.h"
#include "NewGames.h"
#include "platform/Files.h"
#include "platform/FoldedIndex.h"
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
    FIndex = TFoldedIndex(FEntries.size());
    for (std::size_t i = 0; i < FEntries.size(); ++i)
      FIndex.Add(FEntries[i].Name, static_cast<std::uint32_t>(i));
  }

  /// The index of the entry a look-up of name finds.
  std::optional<std::size_t> Find(std::string_view name) const {
    std::optional<std::size_t> best;
    FIndex.Probe(name, [&](std::size_t i) {
      const std::string& candidate = FEntries[i].Name;
      if (!SameTextAscii(candidate, name)) return false;
      best = !best || candidate == name || candidate < FEntries[*best].Name ? i : *best;
      return candidate == name;
    });
    return best;
  }

  const TEntry& operator[](std::size_t i) const { return FEntries[i]; }
  std::size_t Size() const { return FEntries.size(); }

 private:
  std::vector<TEntry> FEntries;
  TFoldedIndex FIndex;
};

// Questions ask(i) for every i below count, answered by whichever threads Work, a block at a
// time, the answers in index order. The questions are reads of the file system that do not
// depend on each other, so threads that wait on the disk in parallel answer them sooner.
class TQuestions {
 public:
  TQuestions(std::size_t count, std::function<bool(std::size_t)> ask)
      : FAsk(std::move(ask)), FAnswers(count, 0) {}

  void Work() {
    const std::size_t count = FAnswers.size();
    for (std::size_t first; (first = FNext.fetch_add(kBlock)) < count;)
      for (std::size_t i = first; i < std::min(first + kBlock, count); ++i)
        FAnswers[i] = FAsk(i) ? 1 : 0;
  }

  /// The answers, once every thread that worked has returned from Work.
  std::vector<char>& Answers() { return FAnswers; }

 private:
  static constexpr std::size_t kBlock = 256;  // questions taken at a time
  std::function<bool(std::size_t)> FAsk;
  std::vector<char> FAnswers;
  std::atomic<std::size_t> FNext{0};
};

// Answers count questions on this thread and a few others; spare: processors left to other
// threads of the program.
void AnswerOnThreads(TQuestions& questions, std::size_t count, unsigned spare = 0) {
  constexpr std::size_t kPerThread = 2048;  // fewer are answered before a thread has started
  const unsigned processors = std::thread::hardware_concurrency();
  const std::size_t wanted = std::min<std::size_t>(
      {processors > spare + 1 ? processors - spare : 1, 4, count / kPerThread + 1});
  std::vector<std::thread> helpers;
  try {
    for (std::size_t t = 1; t < wanted; ++t) helpers.emplace_back([&questions] { questions.Work(); });
  } catch (const std::system_error&) {
    // No thread to be had: the ones running and this one answer everything.
  }
  questions.Work();
  for (std::thread& helper : helpers) helper.join();
}

std::vector<char> AskAll(std::size_t count, std::function<bool(std::size_t)> ask) {
  TQuestions questions(count, std::move(ask));
  AnswerOnThreads(questions, count);
  return std::move(questions.Answers());
}

// Whether each folder of dir named in names (empty: not asked) holds enough entries to count as
// installed. A folder whose stamp is the one memory holds for it is looked up, not read; the
// answers found are remembered for the next scan, with those memory holds of other folders that
// are still there. Any number of threads may Work; Finish comes after they all have.
class TFolderAnswers {
 public:
  TFolderAnswers(std::string dir, std::vector<std::string_view> names, std::size_t asked,
                 const TScanMemory& memory)
      : FNames(std::move(names)),
        FOpen(dir),
        FRemember(!memory.File.empty() && asked >= memory.FromFolders),
        FSettledNs(memory.SettledNs),
        FKnown(FRemember ? TFolderCounts(memory.File, dir) : TFolderCounts()),
        FCounted(FRemember ? FNames.size() : 0),
        FQuestions(FNames.size(), [this](std::size_t i) { return Ask(i); }) {}

  TQuestions& Questions() { return FQuestions; }

  std::vector<char> Finish(const std::function<bool(const std::string&)>& stillThere) {
    std::vector<char> filled = std::move(FQuestions.Answers());
    if (FRemember) {
      const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count();
      for (std::size_t i = 0; i < FCounted.size(); ++i)
        if (FCounted[i]) FKnown.Keep(FNames[i], *FCounted[i], filled[i] != 0, now - FSettledNs);
      FKnown.Save(stillThere);  // a cache that cannot be written only costs the next start its time
    }
    return filled;
  }

 private:
  bool Ask(std::size_t i) {
    if (FNames[i].empty()) return false;
    const std::string name(FNames[i]);
    if (FRemember) {
      // Taken before the count: a change while counting moves the stamp away from the one kept.
      const auto stamp = FOpen.Stamp(name);
      if (stamp) {
        if (const auto answer = FKnown.Find(name, *stamp)) return *answer;
        FCounted[i] = stamp;  // the folders that had to be read, to be remembered
      }
    }
    const auto wanted = static_cast<std::size_t>(InstalledMinEntries);
    return FOpen.CountEntries(name, wanted) >= wanted;
  }

  std::vector<std::string_view> FNames;
  platform::TOpenDir FOpen;
  bool FRemember;
  std::int64_t FSettledNs;
  TFolderCounts FKnown;
  std::vector<std::optional<platform::TDirStamp>> FCounted;
  TQuestions FQuestions;
};

std::vector<char> AnswerFolders(const std::string& dir, std::vector<std::string_view> names,
                                std::size_t asked, const TScanMemory& memory,
                                const std::function<bool(const std::string&)>& stillThere) {
  TFolderAnswers answers(dir, std::move(names), asked, memory);
  AnswerOnThreads(answers.Questions(), asked);
  return answers.Finish(stillThere);
}

// Whether a name is a folder in the listing: what memory holds of any other is forgotten.
std::function<bool(const std::string&)> FolderOf(const TDirIndex& index) {
  return [&index](const std::string& name) {
    const auto at = index.Find(name);
    return at && index[*at].Name == name && index[*at].IsDirectory;
  };
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

struct TFolderSurvey::TResult {
  explicit TResult(const std::string& dir) : Index(dir) {}
  TDirIndex Index;
  std::unique_ptr<TFolderAnswers> Answers;  // by entry of Index, for every folder in it
};

TFolderSurvey::TFolderSurvey(std::string dir, TScanMemory memory)
    : FDir(std::move(dir)), FMemory(std::move(memory)) {
  try {
    FThread = std::thread([this] {
      try {
        auto result = std::make_unique<TResult>(FDir);
        const TDirIndex& index = result->Index;
        std::vector<std::string_view> names(index.Size());
        std::size_t folders = 0;
        for (std::size_t i = 0; i < names.size(); ++i)
          if (index[i].IsDirectory && index[i].Name != "." && index[i].Name != "..") {
            names[i] = index[i].Name;
            ++folders;
          }
        result->Answers =
            std::make_unique<TFolderAnswers>(FDir, std::move(names), folders, FMemory);
        TQuestions& questions = result->Answers->Questions();
        FResult = std::move(result);
        FReady.store(true);  // a scan that comes before the answers helps with them
        // One processor is left to the window, which is being built meanwhile.
        AnswerOnThreads(questions, folders, 1);
      } catch (...) {
        // Out of memory or threads: the scan reads the folders itself.
        FFailed = true;
      }
    });
  } catch (const std::system_error&) {
    FFailed = true;
  }
}

TFolderSurvey::~TFolderSurvey() {
  Wait();
}

void TFolderSurvey::Wait() {
  if (FThread.joinable()) FThread.join();
}

void TFolderSurvey::Discard() {
  FDiscarded = true;
}

std::unique_ptr<TFolderSurvey::TResult> TFolderSurvey::Take(const std::string& dir) {
  if (FDiscarded || dir != FDir) {
    Wait();
    return nullptr;
  }
  FDiscarded = true;  // answers for one scan only: the folders change while the program runs
  if (FReady.load()) FResult->Answers->Questions().Work();
  Wait();
  return FFailed ? nullptr : std::move(FResult);
}

void ScanGameAvailability(TCatalogue& cat) {
  ScanGameAvailability(cat, TScanMemory{FolderCountsFile(cat.GameDir)});
}

namespace {

// Files unzipped by a start that may still run, or whose clean-up is still owed, are not the
// game's: counted without them, such a folder holds what it held before that start.
void DiscountClaimedFiles(TCatalogue& cat, const std::vector<TClaimedFolder>& claims) {
  for (const TClaimedFolder& claim : claims) {
    std::set<std::string> claimed(claim.Names.begin(), claim.Names.end());
    for (std::size_t i = 1; i < cat.Games.size() && i < cat.GameStatus.size(); ++i) {
      const std::string_view zipName = cat.Games[i].ZipName;
      if (cat.GameStatus[i] != gsInstalled || !SameTextAscii(zipName, claim.Folder)) continue;
      std::size_t entries = 0;
      platform::ForEachEntry(
          InGameDir(cat, claim.Folder), "*",
          [&](const platform::TSearchRec& entry) {
            if (!claimed.count(entry.Name)) ++entries;  // "." and ".." count, as in every scan
            return true;
          },
          platform::TListDetail::ldKind);
      if (entries >= static_cast<std::size_t>(InstalledMinEntries)) continue;
      const std::string archive =
          InGameDir(cat, cat.AltRomPath + std::string(zipName) + ".zip");
      cat.GameStatus[i] = platform::FileExists(archive) ? gsZipAvailable : gsNotAvailable;
    }
  }
}

}  // namespace

void ScanGameAvailability(TCatalogue& cat, const TScanMemory& memory, TFolderSurvey* survey) {
  cat.GameStatus.resize(cat.Games.size(), gsNotAvailable);
  if (cat.Games.size() <= 1) return;

  // The answers read while the program started, or else a listing of the emulator's folder.
  const std::unique_ptr<TFolderSurvey::TResult> surveyed =
      survey ? survey->Take(cat.GameDir) : nullptr;
  std::optional<TDirIndex> workDirStore;
  if (!surveyed) workDirStore.emplace(cat.GameDir);
  const TDirIndex& workDir = surveyed ? surveyed->Index : *workDirStore;
  std::optional<TDirIndex> romDirStore;
  if (!cat.AltRomPath.empty()) romDirStore.emplace(InGameDir(cat, cat.AltRomPath));
  const TDirIndex& romDir = romDirStore ? *romDirStore : workDir;

  // The game folders, found first: their counts are the slow part, and they are independent
  // reads that AskAll may spread over threads.
  // A name such as "..", "../x" or "C:x" would lead out of the emulator's directory.
  constexpr std::size_t kNoFolder = ~std::size_t{0}, kNotPlain = kNoFolder - 1;
  std::vector<std::size_t> folder(cat.Games.size(), kNotPlain);
  for (std::size_t i = 1; i < cat.Games.size(); ++i) {
    const std::string_view zipName = cat.Games[i].ZipName;
    if (!IsPlainZipName(zipName)) continue;
    const auto at = workDir.Find(zipName);
    folder[i] = at && workDir[*at].IsDirectory ? *at : kNoFolder;
  }
  std::vector<char> filled;
  if (surveyed) {
    filled = surveyed->Answers->Finish(FolderOf(workDir));
  } else {
    std::vector<std::string_view> names(workDir.Size());
    std::size_t asked = 0;
    for (const std::size_t at : folder)
      if (at < kNotPlain && names[at].empty()) {
        names[at] = workDir[at].Name;
        ++asked;
      }
    filled = AnswerFolders(cat.GameDir, names, asked, memory, FolderOf(workDir));
  }

  std::string archive;
  for (std::size_t i = 1; i < cat.Games.size(); ++i) {
    TGameStatus status = gsNotAvailable;
    if (folder[i] < kNotPlain && filled[folder[i]] != 0) {
      status = gsInstalled;
    } else if (folder[i] != kNotPlain) {
      archive.assign(cat.Games[i].ZipName.view()).append(".zip");
      const auto zip = romDir.Find(archive);
      if (zip && !romDir[*zip].IsDirectory) status = gsZipAvailable;
    }
    cat.GameStatus[i] = status;
  }
  if (cat.ClaimedFolders) DiscountClaimedFiles(cat, cat.ClaimedFolders());
}
