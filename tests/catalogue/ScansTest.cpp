#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "EmulatorDir.h"
#include "catalogue/Catalogue.h"
#include "catalogue/FolderCounts.h"
#include "catalogue/NewGames.h"
#include "catalogue/Scans.h"
#include "platform/Files.h"
#include "platform/Unchanged.h"

namespace {

template <typename Names>
TCatalogue CatalogueOf(const Names& zipNames) {
  TCatalogue cat;
  InitGameRecord(cat.Games.emplace_back());
  for (const auto& z : zipNames) {
    TGameRecord& r = cat.Games.emplace_back();
    InitGameRecord(r);
    r.ZipName = z;
  }
  return cat;
}

TCatalogue CatalogueOf(std::initializer_list<const char*> zipNames) {
  return CatalogueOf<std::initializer_list<const char*>>(zipNames);
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

constexpr std::int64_t kSecond = 1000 * 1000 * 1000;

// Every volume dating changes in fine steps, read by a clock an hour ahead: every folder counts
// as long settled.
platform::TChangeClock LongSettled() {
  return {[] {
            return std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count() +
                   3600 * kSecond;
          },
          [](const platform::TDirStamp&) { return std::int64_t{1000}; }};
}

}  // namespace

TEST(CountEntries, DotsHiddenFilesAndFoldersCountByPathOrInAnOpenDirectory) {
  EmulatorDir emu;
  const platform::TOpenDir here(emu.Dir.Str());
  emu.AddDriverDir("five", 2);  // . .. five.vlk rom0 rom1
  emu.AddDriverDir("hidden", 2);
  emu.Dir.Write("hidden/.secret", "x");
  emu.AddDriverDir("subdir", 2);
  emu.Dir.MakeDir("subdir/roms");
  for (const char* name : {"five", "hidden", "subdir"}) {
    const std::size_t expected = std::string(name) == "five" ? 5 : 6;
    EXPECT_EQ(platform::CountEntries(name, 6), expected) << name;
    EXPECT_EQ(here.CountEntries(name, 6), expected) << name;
  }
  EXPECT_EQ(platform::CountEntries("five", 3), 3u);  // stops at the limit
  EXPECT_EQ(platform::CountEntries("FIVE", 6), 5u);  // a path is found ignoring case
  EXPECT_EQ(here.CountEntries("absent", 6), 0u);
  EXPECT_TRUE(here.Stamp("five"));
  EXPECT_FALSE(here.Stamp("five/five.vlk"));  // no directory
}

TEST(ScanDriverDirs, OnlyDirectoriesHoldingTheirDriverFile) {
  EmulatorDir emu;
  emu.AddDriverDir("mrx");
  emu.AddDriverDir("spcrcr2", 4);
  emu.Dir.MakeDir("nodriver");
  emu.Dir.Write("nodriver/other.vlk", "x");
  emu.Dir.Write("loose.vlk", "x");        // a driver file beside velk.exe makes nothing a directory
  emu.Dir.Write("Mixed/MIXED.VLK", "x");  // driver file found ignoring case
  TNewGames names;
  ScanDriverDirs(names);
  EXPECT_EQ(Sorted(names.Names()), (std::vector<std::string>{"Mixed", "mrx", "spcrcr2"}));
}

TEST(ScanGameAvailability, InstalledBeatsZipAndZipNeedsAltRomPath) {
  EmulatorDir emu;
  emu.AddDriverDir("inst", 3);
  emu.Dir.Write("inst.zip", "PK");
  emu.AddDriverDir("zipped");  // driver file only: not installed
  emu.Dir.Write("zipped.zip", "PK");
  emu.AddDriverDir("nothing", 2);
  emu.Dir.Write("roms/remote.zip", "PK");
  TCatalogue cat = CatalogueOf({"inst", "zipped", "nothing", "remote", "gone"});
  cat.GameStatus = {7};  // element 0 is never written
  ScanGameAvailability(cat);
  EXPECT_EQ(cat.GameStatus,
            (std::vector<std::int32_t>{7, gsInstalled, gsZipAvailable, gsNotAvailable,
                                       gsNotAvailable, gsNotAvailable}));

  cat.AltRomPath = "roms/";
  ScanGameAvailability(cat);
  EXPECT_EQ(cat.GameStatus[2], gsNotAvailable);  // the archive is looked for in roms/ only
  EXPECT_EQ(cat.GameStatus[4], gsZipAvailable);
  EXPECT_EQ(cat.GameStatus[1], gsInstalled);

  cat.Games.pop_back();
  cat.Games.pop_back();
  ScanGameAvailability(cat);
  EXPECT_EQ(cat.GameStatus.size(), 4u);
}

// Files that another start unzipped, named by its clean-up record, do not make a game installed;
// the game's own files do.
TEST(ScanGameAvailability, FilesClaimedByAnotherStartDoNotCount) {
  EmulatorDir emu;
  emu.AddDriverDir("taken", 4);  // . .. taken.vlk rom0..rom3
  emu.Dir.Write("taken.zip", "PK");
  emu.AddDriverDir("mine", 4);
  TCatalogue cat = CatalogueOf({"taken", "mine"});
  cat.ClaimedFolders = [](const platform::TDirListing&) {
    return std::vector<TClaimedFolder>{{"TAKEN", {"rom0", "rom1", "absent"}}, {"mine", {"x"}}};
  };
  ScanGameAvailability(cat);
  EXPECT_EQ(cat.GameStatus, (std::vector<std::int32_t>{0, gsZipAvailable, gsInstalled}));
}

// A handler that runs while another working directory is current (an extraction's) still sees
// the emulator's folder through GameDir.
TEST(ScanGameAvailability, PathsComeFromGameDirNotTheWorkingDirectory) {
  EmulatorDir emu;
  emu.AddDriverDir("inst", 3);
  emu.AddDriverDir("zipped");
  emu.Dir.Write("roms/zipped.zip", "PK");
  TCatalogue cat = CatalogueOf({"inst", "zipped"});
  cat.GameDir = emu.Dir.Str();
  cat.AltRomPath = "roms/";
  const ScopedCurrentDir elsewhere(emu.Dir.Path() / "inst");
  ScanGameAvailability(cat);
  EXPECT_EQ(cat.GameStatus, (std::vector<std::int32_t>{0, gsInstalled, gsZipAvailable}));
  TNewGames names;
  ScanDriverDirs(names, cat.GameDir);
  EXPECT_EQ(Sorted(names.Names()), (std::vector<std::string>{"inst", "zipped"}));
}

TEST(ScanGameAvailability, MixedCaseNamesOnDisk) {
  EmulatorDir emu;
  emu.Dir.Write("SpcRcr2/spcrcr2.VLK", "d");
  for (int i = 0; i < 3; ++i) emu.Dir.Write("SpcRcr2/ROM" + std::to_string(i), "r");
  emu.Dir.Write("MRX.ZIP", "PK");
  emu.Dir.Write("Roms/Other.Zip", "PK");
  TCatalogue cat = CatalogueOf({"spcrcr2", "mrx", "other"});
  ScanGameAvailability(cat);
  EXPECT_EQ(cat.GameStatus[1], gsInstalled);
  EXPECT_EQ(cat.GameStatus[2], gsZipAvailable);
  cat.AltRomPath = "roms/";
  ScanGameAvailability(cat);
  EXPECT_EQ(cat.GameStatus[3], gsZipAvailable);
  EXPECT_EQ(cat.GameStatus[2], gsNotAvailable);
}

TEST(ScanGameAvailability, NamesThatAreNoDirectoryOfTheirOwn) {
  EmulatorDir emu;
  for (int i = 0; i < 6; ++i) emu.Dir.Write("f" + std::to_string(i), "x");
  emu.Dir.Write("sub/game/a", "x");
  emu.Dir.Write("sub/game/b", "x");
  emu.Dir.Write("sub/game/c", "x");
  emu.Dir.Write("sub/game/d", "x");
  emu.Dir.Write("dir.zip/inner", "x");  // a directory named like an archive is no archive
  // An empty name or a dot would list the working directory itself, which has plenty of entries.
  TCatalogue cat = CatalogueOf({"", ".", "..", "sub/game", "dir"});
  ScanGameAvailability(cat);
  EXPECT_EQ(cat.GameStatus, (std::vector<std::int32_t>(6, gsNotAvailable)));
}

// What a scan remembers of a game folder answers for it while the folder keeps its stamp; a file
// that is not whole, not ours or of another folder answers nothing.
TEST(FolderCounts, AnswersForUnchangedFoldersFromAWholeFileOnly) {
  TempDir dir;
  const platform::TScopedChangeClock fine(LongSettled());
  const std::string file = (dir.Path() / "cache" / "folders").string();
  const platform::TDirStamp stamp{1, 2, 3, 4}, later{1, 2, 3, kSecond};
  const auto always = [](const std::string&) { return true; };
  {
    TFolderCounts counts(file, "/emu");
    counts.Keep("full", stamp, true, kSecond);
    counts.Keep("bare", stamp, false, kSecond);
    counts.Keep("fresh", later, true, kSecond + 1000);  // read in the tick it changed
    ASSERT_TRUE(counts.Save(always));
  }
  TFolderCounts counts(file, "/emu");
  EXPECT_EQ(counts.Find("full", stamp), true);
  EXPECT_EQ(counts.Find("bare", stamp), false);
  EXPECT_EQ(counts.Find("full", later), std::nullopt);
  EXPECT_EQ(counts.Find("fresh", later), std::nullopt);
  EXPECT_EQ(TFolderCounts(file, "/other").Find("full", stamp), std::nullopt);
  // In byte order "bare" comes first: a hint is looked at first, and a wrong one costs nothing.
  for (std::size_t hint : {std::size_t{0}, std::size_t{1}, std::size_t{7}}) {
    EXPECT_EQ(counts.Find("full", stamp, hint), true) << hint;
    EXPECT_EQ(counts.Find("bare", stamp, hint), false) << hint;
    EXPECT_EQ(counts.Find("bare", later, hint), std::nullopt) << hint;
  }

  const std::string whole = ReadFileBytes(file);
  for (std::size_t at : {std::size_t{3}, whole.size() / 2, whole.size() - 1}) {
    std::string damaged = whole;
    damaged[at] ^= 0x10;
    dir.Write("cache/folders", damaged);
    EXPECT_EQ(TFolderCounts(file, "/emu").Find("full", stamp), std::nullopt) << at;
  }
  dir.Write("cache/folders", whole.substr(0, whole.size() - 56));
  EXPECT_EQ(TFolderCounts(file, "/emu").Find("full", stamp), std::nullopt);
}

// Remembered or not, the scan finds what the folders hold: a folder that changed is read again,
// and one that is gone is forgotten.
TEST(ScanGameAvailability, RemembersFoldersUntilTheyChange) {
  EmulatorDir emu;
  emu.AddDriverDir("inst", 3);
  emu.AddDriverDir("bare");  // . .. bare.vlk: not installed
  emu.AddDriverDir("gone", 3);
  TCatalogue cat = CatalogueOf({"inst", "bare", "gone"});
  cat.GameDir = emu.Dir.Str();
  const std::string file = (emu.Dir.Path() / "cache" / "folders").string();
  const TScanMemory memory{file, 0, {}};
  std::optional<platform::TScopedChangeClock> settled(LongSettled());
  ScanGameAvailability(cat, memory);
  EXPECT_EQ(cat.GameStatus, (std::vector<std::int32_t>{0, gsInstalled, gsNotAvailable, gsInstalled}));
  const std::string first = ReadFileBytes(file);
  ScanGameAvailability(cat, memory);
  EXPECT_EQ(ReadFileBytes(file), first);  // nothing changed, nothing written

  // Files added a tick of the file system's clock later have the folder read again.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  for (const char* rom : {"bare/r0", "bare/r1", "bare/r2"}) emu.Dir.Write(rom, "r");
  std::filesystem::remove_all(emu.Dir.Path() / "gone");
  ScanGameAvailability(cat, memory);
  EXPECT_EQ(cat.GameStatus, (std::vector<std::int32_t>{0, gsInstalled, gsInstalled, gsNotAvailable}));
  EXPECT_EQ(ReadFileBytes(file).find("gone"), std::string::npos);

  // A folder changed a moment ago is not remembered yet: nothing to write.
  settled.reset();
  std::filesystem::remove(file);
  ScanGameAvailability(cat, memory);
  EXPECT_FALSE(std::filesystem::exists(file));
}

// The answers are remembered only where the folders' stamps vouch for them: never for a folder
// read in the tick of its last change, however late the scan ends, nor on a volume whose times
// step in whole seconds or do not come from this machine's clock.
TEST(ScanGameAvailability, RemembersOnlyWhatTheFoldersStampsVouchFor) {
  EmulatorDir emu;
  std::vector<std::string> names;
  for (int i = 0; i < 30; ++i) {
    names.push_back("g" + std::to_string(i));
    emu.AddDriverDir(names.back(), i % 3 == 0 ? 3 : 0);
  }
  TCatalogue cat = CatalogueOf(names);
  cat.GameDir = emu.Dir.Str();
  // Each folder's last change; the read comes after the first of them.
  std::int64_t firstChange = INT64_MAX;
  for (const std::string& name : names) {
    const auto stamp = *platform::FolderStamp(name);
    firstChange = std::min(firstChange, std::max(stamp.ModifiedNs, stamp.ChangedNs));
  }
  const std::string file = (emu.Dir.Path() / "cache" / "folders").string();
  const TScanMemory memory{file, 0, {}};
  std::int64_t now = 0;
  const auto clock = [&now] { return now; };
  const auto steps = [](std::int64_t step) {
    return [step](const platform::TDirStamp&) { return step; };
  };
  const struct {
    const char* What;
    std::int64_t ReadAfterChange, Step;
  } unremembered[] = {
      {"read in the tick of their last changes", 1000 * 1000, 1000},
      {"a volume with one-second times", 3600 * kSecond, kSecond},
      {"a FUSE or network mount", 3600 * kSecond, 0},
  };
  for (const auto& c : unremembered) {
    const platform::TScopedChangeClock fake({clock, steps(c.Step)});
    now = firstChange + c.ReadAfterChange;
    TFolderSurvey survey(cat.GameDir, memory);
    survey.Wait();
    now += 3600 * kSecond;  // the scan ends long after the folders were read
    ScanGameAvailability(cat, memory, &survey);
    now = firstChange + c.ReadAfterChange;
    ScanGameAvailability(cat, memory);
    EXPECT_FALSE(std::filesystem::exists(file)) << c.What;
    EXPECT_EQ(std::count(cat.GameStatus.begin(), cat.GameStatus.end(), gsInstalled), 10);
  }
  const platform::TScopedChangeClock settled({clock, steps(1000)});
  ScanGameAvailability(cat, memory);
  EXPECT_TRUE(std::filesystem::exists(file));
}

// A survey's answers are those of the folders when it read them, taken by one scan of its own
// folder unless discarded.
TEST(FolderSurvey, AnswersTheFirstScanOfItsFolderUnlessDiscarded) {
  EmulatorDir emu;
  emu.AddDriverDir("inst", 3);
  emu.AddDriverDir("bare", 2);  // one file short of installed
  TCatalogue cat = CatalogueOf({"inst", "bare"});
  cat.GameDir = emu.Dir.Str();
  const TScanMemory none;
  {
    TFolderSurvey survey(cat.GameDir, none);
    survey.Wait();
    emu.Dir.Write("bare/more", "r");
    ScanGameAvailability(cat, none, &survey);
    EXPECT_EQ(cat.GameStatus, (std::vector<std::int32_t>{0, gsInstalled, gsNotAvailable}));
    ScanGameAvailability(cat, none, &survey);  // once only
    EXPECT_EQ(cat.GameStatus[2], gsInstalled);
  }
  {
    TFolderSurvey survey(cat.GameDir, none);
    survey.Wait();
    std::filesystem::remove(emu.Dir.Path() / "bare" / "more");
    survey.Discard();
    ScanGameAvailability(cat, none, &survey);
    EXPECT_EQ(cat.GameStatus[2], gsNotAvailable);
  }
  TFolderSurvey elsewhere((emu.Dir.Path() / "inst").string(), none);
  ScanGameAvailability(cat, none, &elsewhere);
  EXPECT_EQ(cat.GameStatus, (std::vector<std::int32_t>{0, gsInstalled, gsNotAvailable}));
}

// A scan that comes while the survey is still reading answers the rest alongside it; the answers,
// and what is remembered of them, are those of a scan on its own. A failure on a thread that
// reads folders ends neither the program nor the scan, which then reads them on its own thread.
TEST(FolderSurvey, AScanThatJoinsTheReadingOrOutlivesAFailureFindsWhatAScanAloneFinds) {
  EmulatorDir emu;
  std::vector<std::string> names;
  for (int i = 0; i < 3000; ++i) {
    names.push_back("g" + std::to_string(i));
    emu.AddDriverDir(names.back(), i % 3 == 0 ? 3 : 0);
  }
  TCatalogue alone = CatalogueOf(names);
  alone.GameDir = emu.Dir.Str();
  ScanGameAvailability(alone, TScanMemory{});
  const std::string file = (emu.Dir.Path() / "cache" / "folders").string();
  const TScanMemory memory{file, 0, {}};
  const std::thread::id scanning = std::this_thread::get_id();
  bool failing = false;
  platform::TChangeClock clock = LongSettled();
  clock.Step = [&failing, scanning](const platform::TDirStamp&) -> std::int64_t {
    if (failing && std::this_thread::get_id() != scanning) throw std::bad_alloc();
    return 1000;
  };
  const platform::TScopedChangeClock settled(clock);
  // Read, then remembered; then read again with every other thread failing, with a survey and
  // without.
  for (int round = 0; round < 4; ++round) {
    TCatalogue cat = CatalogueOf(names);
    cat.GameDir = alone.GameDir;
    failing = round >= 2;
    if (failing) std::filesystem::remove(file);
    std::optional<TFolderSurvey> survey;
    if (round != 3) survey.emplace(cat.GameDir, memory);
    ScanGameAvailability(cat, memory, survey ? &*survey : nullptr);
    EXPECT_EQ(cat.GameStatus, alone.GameStatus) << round;
    EXPECT_TRUE(std::filesystem::exists(file)) << round;
  }
}

// The caches of emulator folders not started for months go when another is written; one that
// keeps serving starts unchanged counts as used.
TEST(FolderCounts, CachesUnusedForMonthsAreDeletedWhenAnotherIsWritten) {
  namespace fs = std::filesystem;
  TempDir dir;
  const platform::TScopedChangeClock fine(LongSettled());
  const platform::TDirStamp stamp{1, 2, 3, 4};
  const auto always = [](const std::string&) { return true; };
  const auto monthsAgo = fs::file_time_type::clock::now() - std::chrono::hours(24 * 100);
  const std::string used = (dir.Path() / "folders-used").string();
  {
    TFolderCounts counts(used, "/used");
    counts.Keep("g1", stamp, true, kSecond);
    ASSERT_TRUE(counts.Save(always));
  }
  fs::last_write_time(used, monthsAgo);
  {
    TFolderCounts counts(used, "/used");  // a start that changed nothing
    EXPECT_EQ(counts.Find("g1", stamp), true);
    ASSERT_TRUE(counts.Save(always));
  }
  for (const char* name : {"folders-gone", "notes-old"}) {
    dir.Write(name, "x");
    fs::last_write_time(dir.Path() / name, monthsAgo);
  }
  TFolderCounts other((dir.Path() / "folders-other").string(), "/other");
  other.Keep("g2", stamp, false, kSecond);
  ASSERT_TRUE(other.Save(always));
  EXPECT_FALSE(fs::exists(dir.Path() / "folders-gone"));
  EXPECT_TRUE(fs::exists(dir.Path() / "notes-old"));  // not ours
  EXPECT_EQ(TFolderCounts(used, "/used").Find("g1", stamp), true);
}
