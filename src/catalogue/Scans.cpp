#include "Scans.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "Catalogue.h"
#include "FolderCounts.h"
#include "NewGames.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace {

// Questions ask(i) for every i below count, answered by whichever threads Work, a block at a
// time, the answers in index order. The questions are reads of the file system that do not
// depend on each other, so threads that wait on the disk in parallel answer them sooner.
class TQuestions {
 public:
  TQuestions(std::size_t count, std::function<bool(std::size_t)> ask)
      : FAsk(std::move(ask)), FAnswers(count, 0) {}

  /// Answers questions until none is left. A question that fails (out of memory, say) ends the
  /// work of this thread, and the answers count as failed.
  void Work() noexcept {
    const std::size_t count = FAnswers.size();
    try {
      for (std::size_t first; !FFailed.load() && (first = FNext.fetch_add(kBlock)) < count;)
        for (std::size_t i = first; i < std::min(first + kBlock, count); ++i)
          FAnswers[i] = FAsk(i) ? 1 : 0;
    } catch (...) {
      FFailed = true;
    }
  }

  /// Whether a question failed on any thread.
  bool Failed() const { return FFailed.load(); }

  /// Every question asked again on this thread alone, a failure thrown to the caller.
  void AnswerAgain() {
    for (std::size_t i = 0; i < FAnswers.size(); ++i) FAnswers[i] = FAsk(i) ? 1 : 0;
    FFailed = false;
  }

  /// The answers, once every thread that worked has returned from Work.
  std::vector<char>& Answers() { return FAnswers; }

 private:
  static constexpr std::size_t kBlock = 256;  // questions taken at a time
  std::function<bool(std::size_t)> FAsk;
  std::vector<char> FAnswers;
  std::atomic<std::size_t> FNext{0};
  std::atomic<bool> FFailed{false};
};

// Answers count questions on this thread and a few others; spare: processors left to other
// threads of the program. Afterwards every thread has ended; the questions may have Failed.
void WorkOnThreads(TQuestions& questions, std::size_t count, unsigned spare = 0) {
  constexpr std::size_t kPerThread = 2048;  // fewer are answered before a thread has started
  const unsigned processors = std::thread::hardware_concurrency();
  const std::size_t wanted = std::min<std::size_t>(
      {processors > spare + 1 ? processors - spare : 1, 4, count / kPerThread + 1});
  std::vector<std::thread> helpers;
  try {
    helpers.reserve(wanted);
    for (std::size_t t = 1; t < wanted; ++t) helpers.emplace_back([&questions] { questions.Work(); });
  } catch (...) {
    // No thread to be had: the ones running and this one answer everything.
  }
  questions.Work();
  for (std::thread& helper : helpers) helper.join();
}

// The same, where a failure on any thread has the questions asked again on this one.
void AnswerOnThreads(TQuestions& questions, std::size_t count) {
  WorkOnThreads(questions, count);
  if (questions.Failed()) questions.AnswerAgain();
}

std::vector<char> AskAll(std::size_t count, std::function<bool(std::size_t)> ask) {
  TQuestions questions(count, std::move(ask));
  AnswerOnThreads(questions, count);
  return std::move(questions.Answers());
}

// Whether each folder of the listing of dir named by asked holds enough entries to count as
// installed. A folder whose stamp is the one memory holds for it is looked up, not read; the
// answers found are remembered for the next scan, with those memory holds of other folders that
// are still there. Any number of threads may Work; Finish comes after they all have.
class TFolderAnswers {
 public:
  TFolderAnswers(const std::string& dir, platform::TDirListing listing,
                 std::vector<std::uint32_t> asked, const TScanMemory& memory)
      : FListing(std::move(listing)),
        FAsked(std::move(asked)),
        FOpen(dir),
        FReadNs(platform::NowNs()),  // before any folder is read
        FRemember(Remembers(dir, memory, FAsked.size())),
        FKnown(FRemember ? TFolderCounts(memory.File, dir) : TFolderCounts()),
        FQuestions(FAsked.size(), [this](std::size_t q) { return Ask(q); }) {}

  TQuestions& Questions() { return FQuestions; }

  /// The answers by entry of the listing (0 for entries not asked about).
  std::vector<char> Finish(const std::function<bool(const std::string&)>& stillThere) {
    std::vector<char> filled(FListing.Size(), 0);
    const std::vector<char>& answers = FQuestions.Answers();
    for (std::size_t q = 0; q < FAsked.size(); ++q) filled[FAsked[q]] = answers[q];
    if (FRemember) {
      for (const auto& [q, stamp] : FCounted)
        FKnown.Keep(FListing.Name(FAsked[q]), stamp, answers[q] != 0, FReadNs);
      FKnown.Save(stillThere);  // a cache that cannot be written only costs the next start its time
    }
    return filled;
  }

 private:
  // Only for many folders, and only where the folders' stamps can tell a change at all: on
  // other volumes the file is not even read.
  static bool Remembers(const std::string& dir, const TScanMemory& memory, std::size_t asked) {
    if (memory.File.empty() || asked < memory.FromFolders) return false;
    const auto stamp = platform::FolderStamp(dir);
    return stamp && platform::StampCanTell(*stamp);
  }

  bool Ask(std::size_t q) {
    const std::string name(FListing.Name(FAsked[q]));
    std::optional<platform::TDirStamp> stamp;
    if (FRemember) {
      // Taken before the count: a change while counting moves the stamp away from the one kept.
      stamp = FOpen.Stamp(name);
      // Folders of a listing kept for this start come in name order, as the file keeps them.
      if (stamp)
        if (const auto answer = FKnown.Find(name, *stamp, q)) return *answer;
    }
    const bool filled = CountsAsInstalled(name);
    if (stamp) {
      const std::lock_guard<std::mutex> lock(FCountedLock);
      FCounted.emplace_back(q, *stamp);  // the folders that had to be read, to be remembered
    }
    return filled;
  }

  // The count of a game folder: the one place where what a folder holds is read.
  bool CountsAsInstalled(const std::string& name) const {
    const auto wanted = static_cast<std::size_t>(InstalledMinEntries);
    return FOpen.CountEntries(name, wanted) >= wanted;
  }

  platform::TDirListing FListing;
  std::vector<std::uint32_t> FAsked;  // entries of FListing, one a question
  platform::TOpenDir FOpen;
  std::int64_t FReadNs;
  bool FRemember;
  TFolderCounts FKnown;
  std::mutex FCountedLock;
  std::vector<std::pair<std::size_t, platform::TDirStamp>> FCounted;
  TQuestions FQuestions;
};

// Whether a name is a folder in the listing: what memory holds of any other is forgotten.
std::function<bool(const std::string&)> FolderOf(const platform::TDirListing& listing) {
  return [&listing](const std::string& name) {
    const auto at = listing.Find(name);
    return at && listing.Name(*at) == name && listing.IsDirectory(*at);
  };
}

// Where each game of a catalogue is found by name in the listing of the emulator's folder: its
// folder's entry, and whether its archive is there. A name such as "..", "../x" or "C:x" would
// lead out of the emulator's directory: no look-up is made for it.
struct TLookUps {
  static constexpr std::uint32_t kNoFolder = ~std::uint32_t{0}, kNotPlain = kNoFolder - 1;

  TLookUps(const TCatalogue& cat, const platform::TDirListing& workDir)
      : Folder(cat.Games.size(), kNotPlain), Zipped(cat.Games.size(), 0) {
    const platform::TDirListing romDir =
        cat.AltRomPath.empty() ? workDir
                               : platform::ListDirectory(InGameDir(cat, cat.AltRomPath));
    std::string archive;
    for (std::size_t i = 1; i < cat.Games.size(); ++i) {
      const std::string_view zipName = cat.Games[i].ZipName;
      if (!IsPlainZipName(zipName)) continue;
      const auto at = workDir.Find(zipName);
      Folder[i] = at && workDir.IsDirectory(*at) ? static_cast<std::uint32_t>(*at) : kNoFolder;
      archive.assign(zipName).append(".zip");
      const auto zip = romDir.Find(archive);
      Zipped[i] = zip && !romDir.IsDirectory(*zip) ? 1 : 0;
    }
  }

  std::vector<std::uint32_t> Folder;  // entries of the listing, by game
  std::vector<char> Zipped;           // by game
};

}  // namespace

bool IsPlainZipName(std::string_view name) {
  return !name.empty() && name.size() <= 8 && name != "." && name != ".." &&
         name.find_first_of("/\\:") == std::string_view::npos && !HasControlCharacter(name);
}

// The directories of a listing, "." and ".." left out: entries of the listing.
std::vector<std::uint32_t> FoldersOf(const platform::TDirListing& listing) {
  std::vector<std::uint32_t> folders;
  for (std::size_t i = 0; i < listing.Size(); ++i) {
    const std::string_view name = listing.Name(i);
    if (listing.IsDirectory(i) && name != "." && name != "..")
      folders.push_back(static_cast<std::uint32_t>(i));
  }
  return folders;
}

void ScanDriverDirs(TNewGames& names, const std::string& dir) {
  const platform::TDirListing listing = platform::ListDirectory(dir);
  const std::vector<std::uint32_t> dirs = FoldersOf(listing);
  const platform::TOpenDir open(dir);
  const std::vector<char> hasDriver = AskAll(dirs.size(), [&](std::size_t i) {
    const std::string name(listing.Name(dirs[i]));
    const std::string driver = platform::JoinPath(name, name + ".vlk");
    // The exact name with one look-up in the open folder; only else under other letter cases.
    return open.HasFile(driver) || platform::FileExists(platform::JoinPath(dir, driver));
  });
  // In the order of the listing, as one pass would have added them.
  for (std::size_t i = 0; i < dirs.size(); ++i)
    if (hasDriver[i]) names.Add(listing.Name(dirs[i]));
}

struct TFolderSurvey::TResult {
  platform::TDirListing Listing;
  std::unique_ptr<TFolderAnswers> Answers;  // for every folder of Listing
};

TFolderSurvey::TFolderSurvey(std::string dir, TScanMemory memory)
    : FDir(std::move(dir)), FMemory(std::move(memory)) {
  try {
    FThread = std::thread([this] {
      try {
        auto result = std::make_unique<TResult>();
        // Held for the look-ups of the rest of the start, in this same folder.
        result->Listing = platform::ListAndHold(FDir, FMemory.ListingFile);
        std::vector<std::uint32_t> folders = FoldersOf(result->Listing);
        const std::size_t count = folders.size();
        FFolders = count;
        result->Answers =
            std::make_unique<TFolderAnswers>(FDir, result->Listing, std::move(folders), FMemory);
        TQuestions& questions = result->Answers->Questions();
        FResult = std::move(result);
        FReady.store(true);  // a scan that comes before the answers helps with them
        // One processor is left to the window, which is being built meanwhile. A question that
        // failed on any thread leaves the answers to the scan, which reads the folders itself.
        WorkOnThreads(questions, count, 1);
      } catch (...) {
        // Out of memory or threads: the scan reads the folders itself.
        FFailed = true;
      }
    });
  } catch (...) {
    FFailed = true;
  }
}

TFolderSurvey::~TFolderSurvey() {
  Wait();
}

void TFolderSurvey::Wait() {
  if (FThread.joinable()) FThread.join();
}

void TFolderSurvey::KeepListingForNextStart() {
  Wait();
  if (FFolders >= FMemory.FromFolders) platform::KeepListing(FDir, FMemory.ListingFile);
}

void TFolderSurvey::Discard() {
  FDiscarded = true;
  platform::EndHeldListing();  // the folder may have changed meanwhile
}

std::unique_ptr<TFolderSurvey::TResult> TFolderSurvey::Take(const std::string& dir) {
  if (FDiscarded || dir != FDir) {
    Wait();
    return nullptr;
  }
  FDiscarded = true;  // answers for one scan only: the folders change while the program runs
  if (FReady.load()) FResult->Answers->Questions().Work();
  Wait();
  if (FFailed || FResult->Answers->Questions().Failed()) return nullptr;
  return std::move(FResult);
}

TScanMemory UserScanMemory(const std::string& gameDir) {
  TScanMemory memory;
  memory.File = FolderCountsFile(gameDir);
  memory.ListingFile = FolderListingFile(gameDir);
  return memory;
}

const platform::TDirListing* TFolderSurvey::ListingSoFar(const std::string& dir) const {
  return !FDiscarded && dir == FDir && FReady.load() ? &FResult->Listing : nullptr;
}

void ScanGameAvailability(TCatalogue& cat) {
  ScanGameAvailability(cat, UserScanMemory(cat.GameDir));
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

  // The look-ups by name in the emulator's folder, made while the survey's threads still count
  // its game folders when it has listed the folder already: they need no count.
  const platform::TDirListing* listedSoFar = survey ? survey->ListingSoFar(cat.GameDir) : nullptr;
  std::optional<TLookUps> lookUps;
  if (listedSoFar) lookUps.emplace(cat, *listedSoFar);
  // The answers read while the program started, or else a listing of the emulator's folder.
  const std::unique_ptr<TFolderSurvey::TResult> surveyed =
      survey ? survey->Take(cat.GameDir) : nullptr;
  const platform::TDirListing workDir =
      surveyed ? surveyed->Listing : platform::ListDirectory(cat.GameDir);
  if (!surveyed || &surveyed->Listing != listedSoFar) lookUps.emplace(cat, workDir);
  const std::vector<std::uint32_t>& folder = lookUps->Folder;

  std::vector<char> filled;
  if (surveyed) {
    filled = surveyed->Answers->Finish(FolderOf(workDir));
  } else {
    std::vector<std::uint32_t> asked;
    std::vector<char> seen(workDir.Size(), 0);  // a folder two games share is asked once
    for (const std::uint32_t at : folder)
      if (at < TLookUps::kNotPlain && !seen[at]) {
        seen[at] = 1;
        asked.push_back(at);
      }
    TFolderAnswers answers(cat.GameDir, workDir, std::move(asked), memory);
    AnswerOnThreads(answers.Questions(), answers.Questions().Answers().size());
    filled = answers.Finish(FolderOf(workDir));
  }

  for (std::size_t i = 1; i < cat.Games.size(); ++i) {
    TGameStatus status = gsNotAvailable;
    if (folder[i] < TLookUps::kNotPlain && filled[folder[i]] != 0)
      status = gsInstalled;
    else if (lookUps->Zipped[i] != 0)
      status = gsZipAvailable;
    cat.GameStatus[i] = status;
  }
  if (cat.ClaimedFolders) DiscountClaimedFiles(cat, cat.ClaimedFolders(workDir));
}
