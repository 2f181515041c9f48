#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "platform/Files.h"
#include "platform/FoldedIndex.h"
#include "platform/ListingFile.h"
#include "platform/ShortString.h"
#include "platform/Text.h"
#include "platform/Unchanged.h"

namespace fs = std::filesystem;
using namespace platform;

TEST(ShortString, KeepsFirstBytesSilently) {
  TString8 s = "abcdefghij";
  EXPECT_EQ(s.view(), "abcdefgh");
  s = "xy";
  EXPECT_EQ(s.str(), "xy");
  EXPECT_EQ(s.size(), 2u);
  TString30 empty;
  EXPECT_TRUE(empty.empty());
  static_assert(sizeof(TString8) == 9, "held in place, no pointers");
}

TEST(ShortString, NeverCutsInsideUtf8Sequence) {
  // "abcdefg" + "é" (2 bytes) is 9 bytes: the cut at 8 would split the é.
  TString8 s = "abcdefg\xC3\xA9";
  EXPECT_EQ(s.view(), "abcdefg");
  // Bytes that are not UTF-8 are cut exactly where the limit says.
  TString8 t = "abcdefg\xE9xyz";
  EXPECT_EQ(t.view(), "abcdefg\xE9");
}

TEST(Text, Utf8ValidationAndWindows1252Fallback) {
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_TRUE(IsValidUtf8("\xE2\x82\xAC"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));          // truncated
  EXPECT_EQ(DisplayText("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(DisplayText("\x80"), "\xE2\x82\xAC");
  EXPECT_EQ(DisplayText("caf\xC3\xA9"), "caf\xC3\xA9");
}

TEST(Files, MaskMatchingIgnoresCaseAndHandlesStars) {
  EXPECT_TRUE(MatchesMask("MyGame01.JPG", "mygame*.jpg"));
  EXPECT_TRUE(MatchesMask("anything", "*.*"));
  EXPECT_TRUE(MatchesMask(".", "*"));
  EXPECT_TRUE(MatchesMask("a.zip", "?.zip"));
  EXPECT_FALSE(MatchesMask("ab.zip", "?.zip"));
  EXPECT_FALSE(MatchesMask("mygame.jpeg", "mygame*.jpg"));
  EXPECT_TRUE(MatchesMask("x", "***x"));
  // Many stars against a long near-miss must stay fast (linear, not exponential).
  EXPECT_FALSE(MatchesMask(std::string(5000, 'a'), "*a*a*a*a*a*a*a*a*a*b"));
}

TEST(Files, ListingIncludesDotEntriesAndHiddenFiles) {
  TempDir dir;
  dir.Write("g/.hidden", "x");
  dir.Write("g/file", "x");
  dir.MakeDir("g/sub");
  std::vector<std::string> names;
  ASSERT_TRUE(ForEachEntry((dir.Path() / "g").string(), "*.*", [&](const TSearchRec& r) {
    names.push_back(r.Name);
    return true;
  }));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", ".hidden", "file", "sub"}));
  EXPECT_FALSE(ForEachEntry((dir.Path() / "missing").string(), "*", [](const TSearchRec&) {
    return true;
  }));
}

TEST(Files, ListingStopsWhenVisitorSaysSo) {
  TempDir dir;
  for (int i = 0; i < 20; ++i) dir.Write("f" + std::to_string(i), "");
  int seen = 0;
  ForEachEntry(dir.Str(), "*", [&](const TSearchRec&) { return ++seen < 3; });
  EXPECT_EQ(seen, 3);
}

TEST(Files, NamesAreFoundWithoutRegardToCase) {
  TempDir dir;
  dir.Write("MyGame/MYGAME.VLK", "driver");
  ScopedCurrentDir cd(dir.Path());
  EXPECT_TRUE(FileExists("mygame/mygame.vlk"));
  EXPECT_TRUE(DirectoryExists("MYGAME"));
  EXPECT_FALSE(FileExists("mygame"));  // a directory is not a file
  EXPECT_EQ(ResolvePath("mygame/mygame.vlk"), "MyGame/MYGAME.VLK");
  // A missing tail keeps its spelling under the resolved head, so it can be created there.
  EXPECT_EQ(ResolvePath("mygame/new/File.txt"), "MyGame/new/File.txt");
  EXPECT_EQ(ResolvePath((dir.Path() / "MYGAME").string() + "/"), (dir.Path() / "MyGame").string() + "/");
  EXPECT_TRUE(FileAge("MYGAME/mygame.vlk").has_value());
  EXPECT_FALSE(FileAge("nothing").has_value());
  EXPECT_EQ(FileSize("mygame/mygame.vlk"), 6u);
}

TEST(Files, ExactNameWinsAndCaseVariantsAreChosenStably) {
  TempDir dir;
  dir.Write("readme.txt", "small");
  dir.Write("README.TXT", "capitals");
  dir.Write("ReadMe.Txt", "mixed");
  ScopedCurrentDir cd(dir.Path());
  EXPECT_EQ(ResolvePath("README.TXT"), "README.TXT");
  EXPECT_EQ(ResolvePath("Readme.txt"), "README.TXT");  // smallest in byte order
}

TEST(Files, CreateDirReusesAnExistingCaseVariant) {
  TempDir dir;
  dir.MakeDir("ScreenShots");
  ScopedCurrentDir cd(dir.Path());
  EXPECT_TRUE(CreateDir("screenshots"));
  EXPECT_FALSE(fs::exists(dir.Path() / "screenshots") &&
               fs::equivalent(dir.Path() / "screenshots", dir.Path() / "ScreenShots") == false);
  size_t count = 0;
  for (auto& e : fs::directory_iterator(dir.Path())) count += e.is_directory();
  EXPECT_EQ(count, 1u);
  EXPECT_TRUE(DeleteFile("nothing") == false);
}

TEST(Files, AtomicWriteReplacesOrLeavesTheOldFile) {
  TempDir dir;
  const std::string file = (dir.Path() / "StartVELK.ini").string();
  dir.Write("StartVELK.ini", "old");
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(file, "new", &error)) << error;
  EXPECT_EQ(ReadFileBytes(file), "new");
  // A target in a folder that cannot be written keeps the old file and says why.
  fs::permissions(dir.Path(), fs::perms::owner_read | fs::perms::owner_exec);
  if (::geteuid() != 0) {
    EXPECT_FALSE(WriteFileAtomically(file, "lost", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFileBytes(file), "new");
  }
  fs::permissions(dir.Path(), fs::perms::owner_all);
  size_t count = 0;
  for (auto& e : fs::directory_iterator(dir.Path())) count += 1 + 0 * e.is_regular_file();
  EXPECT_EQ(count, 1u);  // no temporary file left behind
}

TEST(Files, PathHelpers) {
  EXPECT_EQ(IncludeTrailingPathDelimiter(""), "");
  EXPECT_EQ(IncludeTrailingPathDelimiter("a"), std::string("a") + PathDelim);
  EXPECT_EQ(JoinPath("", "x"), "x");
  EXPECT_EQ(JoinPath("a/", "x"), "a/x");
  EXPECT_FALSE(GetCurrentDir().empty());
  EXPECT_FALSE(ProgramDir().empty());
  EXPECT_TRUE(FreeDiskSpace(".").has_value());
}

TEST(ShortString, ComparesWithEveryKindOfText) {
  const TString8 s = "mygame";
  EXPECT_TRUE(s == "mygame");
  EXPECT_TRUE(s == std::string("mygame"));
  EXPECT_TRUE(s == std::string_view("mygame"));
  EXPECT_FALSE(s == "MyGame");
  EXPECT_TRUE(s == TString8("mygame"));
}

TEST(Files, CountEntriesCountsDotEntriesAndStopsAtTheLimit) {
  TempDir dir;
  dir.Write("Game/.hidden", "");
  dir.Write("Game/a", "");
  dir.MakeDir("Game/sub");
  ScopedCurrentDir cd(dir.Path());
  EXPECT_EQ(CountEntries("game", 100), 5u);  // ".", "..", .hidden, a, sub; found in any case
  EXPECT_EQ(CountEntries("game", 3), 3u);
  EXPECT_EQ(CountEntries("missing", 6), 0u);
  EXPECT_EQ(CountEntries("game/a", 6), 0u);  // a file lists nothing
  EXPECT_EQ(CountEntries("game", 0), 0u);
}

TEST(Files, CountEntriesPrefersTheExactNameAndReadsPastOneBuffer) {
  TempDir dir;
  for (int i = 0; i < 300; ++i) dir.Write("Roms/entry-with-a-long-name-" + std::to_string(i), "");
  dir.Write("roms/only", "");
  ScopedCurrentDir cd(dir.Path());
  EXPECT_EQ(CountEntries("Roms", 1000), 302u);  // many reads of the raw entries
  EXPECT_EQ(CountEntries("Roms", 150), 150u);
  EXPECT_EQ(CountEntries("roms", 1000), 3u);    // the exact name, not the first case variant
  EXPECT_EQ(CountEntries("ROMS", 1000), 302u);  // else the smallest variant in byte order
}

TEST(Files, KindOnlyListingTellsDirectoriesAsTheFullOneDoes) {
  TempDir dir;
  dir.Write("file", "12345");
  dir.MakeDir("sub");
  fs::create_directory_symlink(dir.Path() / "sub", dir.Path() / "link-to-sub");
  fs::create_symlink(dir.Path() / "gone", dir.Path() / "dangling");
  const auto list = [&](TListDetail detail) {
    std::map<std::string, bool> kinds;
    EXPECT_TRUE(ForEachEntry(
        dir.Str(), "*",
        [&](const TSearchRec& rec) {
          kinds[rec.Name] = rec.IsDirectory;
          return true;
        },
        detail));
    return kinds;
  };
  const std::map<std::string, bool> full = list(TListDetail::ldAll);
  EXPECT_EQ(list(TListDetail::ldKind), full);
  EXPECT_EQ(full, (std::map<std::string, bool>{{".", true},
                                               {"..", true},
                                               {"dangling", false},
                                               {"file", false},
                                               {"link-to-sub", true},
                                               {"sub", true}}));
}

TEST(FoldedIndex, FindsEveryCaseVariantAcrossGrowth) {
  TFoldedIndex index;  // grows from its smallest size
  std::vector<std::string> names;
  for (int i = 0; i < 3000; ++i) names.push_back("game" + std::to_string(i));
  names.push_back("GAME7");
  names.push_back("Game7");
  for (std::size_t i = 0; i < names.size(); ++i) index.Add(names[i], static_cast<std::uint32_t>(i));
  std::vector<std::string> found;
  index.Probe("gAmE7", [&](std::size_t i) {
    if (SameTextAscii(names[i], "gAmE7")) found.push_back(names[i]);
    return false;
  });
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"GAME7", "Game7", "game7"}));
  EXPECT_FALSE(index.Probe("game3000", [&](std::size_t i) { return names[i] == "game3000"; }));
  EXPECT_TRUE(
      index.Probe("GAME2999", [&](std::size_t i) { return SameTextAscii(names[i], "GAME2999"); }));
}

namespace {

constexpr std::int64_t kMs = 1000 * 1000, kSecond = 1000 * kMs;

// Every volume's times stepping by step, and a clock reading at.
TChangeClock Clock(std::function<std::int64_t()> at, std::int64_t step) {
  return {std::move(at), [step](const TDirStamp&) { return step; }};
}

std::int64_t LastChange(const std::string& dir) {
  const TDirStamp stamp = FolderStamp(dir).value();
  return std::max(stamp.ModifiedNs, stamp.ChangedNs);
}

}  // namespace

// Which stamps vouch for a folder read after them: on volumes whose times step finely, for
// changes a settle time before the read; never for changes in the tick of the read.
TEST(Unchanged, AStampVouchesForChangesSettledBeforeTheReadOnVolumesWithFineTimes) {
  const struct {
    std::int64_t Step, ChangedBeforeRead;
    bool Vouches;
  } cases[] = {
      {4 * kMs, kSecond, true},       // a local volume, settled
      {4 * kMs, 1 * kMs, false},      // changed in the tick of the read
      {4 * kMs, kSettleNs, false},    // not more than the settle time back
      {400 * kMs, 500 * kMs, false},  // a coarse step takes two of them to settle
      {400 * kMs, 900 * kMs, true},
      {kSecond, 3600 * kSecond, false},  // whole seconds: two changes of one second look alike
      {0, 3600 * kSecond, false},        // times not from this machine's clock
  };
  const std::int64_t read = 1'700'000'000 * kSecond;
  for (const auto& c : cases) {
    const TScopedChangeClock clock(Clock(nullptr, c.Step));
    const TDirStamp stamp{1, 2, read - c.ChangedBeforeRead - kSecond, read - c.ChangedBeforeRead};
    EXPECT_EQ(StampVouches(stamp, read), c.Vouches) << c.Step << " " << c.ChangedBeforeRead;
    EXPECT_EQ(StampCanTell(stamp), c.Step > 0 && c.Step < kSecond) << c.Step;
  }
  // The system's steps: by volume, and by whether the kernel's times have sub-second parts.
  const std::int64_t fine = SystemTimeStep({1, 2, 0, read + 123, 0xEF53});
  EXPECT_GT(fine, 0);
  EXPECT_LT(fine, kSecond);
  EXPECT_EQ(SystemTimeStep({1, 2, 0, read, 0xEF53}), kSecond);  // ext4 with small inodes
  for (std::uint64_t other : {0x65735546ull /* FUSE */, 0x6969ull /* NFS */, 0x4D44ull /* FAT */,
                              0xFE534D42ull /* SMB */, 0ull})
    EXPECT_EQ(SystemTimeStep({1, 2, 0, read + 123, other}), 0) << other;
}

// A large directory's listing is remembered for the look-ups that follow it only where its
// stamp vouches for it, is never extended by the program's own writes, and sees every change.
TEST(Files, RememberedListingOnlyWhereItsStampVouchesAndEveryChangeIsSeen) {
  TempDir dir;
  for (int i = 0; i < 600; ++i) dir.Write("g" + std::to_string(i) + ".txt", "");
  dir.Write("Shots/a.jpg", "");
  const std::string here = dir.Str();
  const std::int64_t changed = LastChange(here);
  const auto at = [](std::int64_t ns) { return [ns] { return ns; }; };
  const struct {
    const char* What;
    TChangeClock Clock;
  } forgotten[] = {
      {"read in the tick of its last change", Clock(at(changed + kMs), 4 * kMs)},
      {"a volume with one-second times", Clock(at(changed + 3600 * kSecond), kSecond)},
      {"a FUSE or network mount", Clock(at(changed + 3600 * kSecond), 0)},
  };
  for (const auto& c : forgotten) {
    const TScopedChangeClock clock(c.Clock);
    EXPECT_EQ(ListDirectory(here).Size(), 603u);
    EXPECT_FALSE(ListingRemembered(here)) << c.What;
  }
  const TScopedChangeClock settled(Clock(at(changed + 3600 * kSecond), 4 * kMs));
  const TDirListing listing = ListDirectory(here);
  ASSERT_TRUE(ListingRemembered(here));
  EXPECT_EQ(listing.Name(*listing.Find("SHOTS")), "Shots");
  EXPECT_TRUE(listing.IsDirectory(*listing.Find("shots")));
  EXPECT_EQ(ResolvePath(JoinPath(here, "SHOTS/a.jpg")), JoinPath(here, "Shots/a.jpg"));

  // Another program's file, the folder's modification time then set back as archive tools do.
  const auto modified = fs::last_write_time(dir.Path());
  { std::ofstream(dir.Path() / "Other.dat") << "y"; }
  fs::last_write_time(dir.Path(), modified);
  EXPECT_EQ(ResolvePath(JoinPath(here, "other.DAT")), JoinPath(here, "Other.dat"));
  fs::remove(dir.Path() / "g5.txt");
  EXPECT_EQ(FindFiles(here, "g5.*").size(), 0u);

  // The program's own write forgets the listing; another program's file made in the same moment
  // is seen. A few rounds, so that some fall within one tick of the file system's clock.
  std::string error;
  for (int round = 0; round < 4; ++round) {
    ListDirectory(here);
    ASSERT_TRUE(ListingRemembered(here)) << round;
    const std::string mine = "Mine" + std::to_string(round) + ".txt";
    const std::string foreign = "Foreign" + std::to_string(round) + ".txt";
    ASSERT_TRUE(WriteFileAtomically(JoinPath(here, mine), "m", &error)) << error;
    { std::ofstream(dir.Path() / foreign) << "z"; }
    EXPECT_FALSE(ListingRemembered(here));
    EXPECT_EQ(FindFiles(here, "foreign*").size(), round + 1u) << round;
    EXPECT_TRUE(FileExists(JoinPath(here, "MINE" + std::to_string(round) + ".TXT")));
  }
}

// A start's one read of a folder answers its look-ups with the program's own writes added, and
// never hides a change that is not the program's own.
TEST(Files, HeldListingTakesOwnWritesAndGivesWayToAnyOtherChange) {
  TempDir dir;
  for (int i = 0; i < 600; ++i) dir.Write("g" + std::to_string(i), "");
  const std::string here = dir.Str();
  // Read in the tick of its last change, so that nothing comes from the remembered listing.
  const TScopedChangeClock clock(
      Clock([] { return std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                    .count(); },
            kSecond));
  std::string error;
  ASSERT_EQ(ListAndHold(here).Size(), 602u);
  ASSERT_TRUE(WriteFileAtomically(JoinPath(here, "Batch.bat"), "b", &error)) << error;
  ASSERT_TRUE(WriteFileAtomically(JoinPath(here, "batch.BAT"), "c", &error)) << error;
  EXPECT_EQ(ResolvePath(JoinPath(here, "BATCH.BAT")), JoinPath(here, "Batch.bat"));
  EXPECT_EQ(ReadFileBytes(JoinPath(here, "Batch.bat")), "c");  // the variant there was rewritten
  EXPECT_FALSE(FileExists(JoinPath(here, "UNZIPLIB.DLL")));
  { std::ofstream(dir.Path() / "unziplib.dll") << "x"; }  // another program's
  EXPECT_EQ(ResolvePath(JoinPath(here, "UNZIPLIB.DLL")), JoinPath(here, "unziplib.dll"));
  EndHeldListing();

  // Another program's file between the read and the program's own write is not taken for it.
  ListAndHold(here);
  { std::ofstream(dir.Path() / "Shots") << "y"; }
  ASSERT_TRUE(WriteFileAtomically(JoinPath(here, "VELKStart.txt"), "v", &error)) << error;
  EXPECT_TRUE(FileExists(JoinPath(here, "SHOTS")));
  EXPECT_EQ(FindFiles(here, "*.txt").size(), 1u);
  EndHeldListing();
}

// A large folder's listing kept for the next start is taken instead of a read only while the
// folder keeps the stamp it was kept with, only where such a stamp can tell a change, and only
// from a whole file of that folder's.
TEST(Files, ListingKeptForTheNextStartServesOnlyTheFolderAsItWasKept) {
  TempDir dir, cache;
  for (int i = 0; i < 600; ++i) dir.Write("g" + std::to_string(i), "");
  const std::string here = ResolvePath(dir.Str());
  const std::string memo = (cache.Path() / "startvelk" / "listing").string();
  const std::int64_t changed = LastChange(here);
  const auto at = [](std::int64_t ns) { return [ns] { return ns; }; };
  {
    const TScopedChangeClock coarse(Clock(at(changed + 3600 * kSecond), kSecond));
    KeepListing(here, memo);
    // Changed in the tick of the read, however long the wait: a change then could be missed.
    const TScopedChangeClock justChanged(Clock(at(changed + kMs), 4 * kMs));
    KeepListing(here, memo);
    EXPECT_FALSE(fs::exists(memo));
  }
  const TScopedChangeClock settled(Clock(at(changed + 3600 * kSecond), 4 * kMs));
  KeepListing(here, memo);
  ASSERT_TRUE(fs::exists(memo));
  EXPECT_EQ(ListAndHold(here, memo).Size(), 602u);
  EndHeldListing();

  // What the file holds is what a start takes: a name planted in it shows, unless the file is
  // damaged, of another folder or stamp, read too soon after the change, or not a listing a
  // folder could give.
  using TData = TDirListing::TData;
  const TDirStamp stamp = FolderStamp(here).value();
  const auto planted = [&](std::vector<std::string> names, std::string_view of = {},
                           std::int64_t readNs = 0, const TDirStamp* as = nullptr) {
    TData entries;
    for (const std::string& name : names) entries.Add(name, TData::kOther);
    return EncodeListing(of.empty() ? here : of, as ? *as : stamp,
                         readNs != 0 ? readNs : changed + kSecond, entries);
  };
  const auto taken = [&](const std::string& bytes) {
    cache.Write("startvelk/listing", bytes);
    const bool found = ListAndHold(here, memo).Find("planted").has_value();
    EndHeldListing();
    return found;
  };
  const std::string whole = planted({".", "..", "Planted"});
  std::string flipped = whole;
  flipped[flipped.size() - 3] ^= 1;
  TDirStamp older = stamp;
  older.ChangedNs -= 1;
  const struct {
    const char* What;
    std::string Bytes;
  } refused[] = {
      {"a byte changed", flipped},
      {"cut short", whole.substr(0, whole.size() - 1)},
      {"of another folder", planted({"Planted"}, "/elsewhere")},
      {"of the folder before its last change", planted({"Planted"}, {}, 0, &older)},
      {"read in the tick of the change", planted({"Planted"}, {}, changed + kMs)},
      {"read after now", planted({"Planted"}, {}, changed + 7200 * kSecond)},
      {"a name twice", planted({"Planted", "Planted"})},
      {"a path for a name", planted({"Planted", "a/b"})},
  };
  for (const auto& c : refused) EXPECT_FALSE(taken(c.Bytes)) << c.What;
  {
    const TScopedChangeClock network(Clock(at(changed + 3600 * kSecond), 0));
    EXPECT_FALSE(taken(whole)) << "a volume whose stamps cannot tell";
  }
  EXPECT_TRUE(taken(whole));

  // Another program's file, the folder's modification time set back as archive tools do.
  const auto modified = fs::last_write_time(dir.Path());
  dir.Write("Other.zip", "z");
  fs::last_write_time(dir.Path(), modified);
  EXPECT_FALSE(taken(whole));
  EXPECT_TRUE(ListAndHold(here, memo).Find("other.zip").has_value());
  EndHeldListing();
}
