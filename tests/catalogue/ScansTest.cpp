#include <gtest/gtest.h>

#include <algorithm>

#include "EmulatorDir.h"
#include "catalogue/Catalogue.h"
#include "catalogue/NewGames.h"
#include "catalogue/Scans.h"

namespace {

TCatalogue CatalogueOf(std::initializer_list<const char*> zipNames) {
  TCatalogue cat;
  InitGameRecord(cat.Games.emplace_back());
  for (const char* z : zipNames) {
    TGameRecord& r = cat.Games.emplace_back();
    InitGameRecord(r);
    r.ZipName = z;
  }
  return cat;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace

TEST(DirHasEntries, SixEntriesCountDotsAndHiddenFiles) {
  EmulatorDir emu;
  emu.AddDriverDir("five", 2);  // . .. five.vlk rom0 rom1
  EXPECT_FALSE(DirHasEntries("five", 6));
  EXPECT_TRUE(DirHasEntries("five", 5));
  emu.AddDriverDir("six", 3);
  EXPECT_TRUE(DirHasEntries("six", 6));
  emu.AddDriverDir("hidden", 2);
  emu.Dir.Write("hidden/.secret", "x");
  EXPECT_TRUE(DirHasEntries("hidden", 6));
  emu.AddDriverDir("subdir", 2);
  emu.Dir.MakeDir("subdir/roms");
  EXPECT_TRUE(DirHasEntries("subdir", 6));
  EXPECT_FALSE(DirHasEntries("absent", 1));
  EXPECT_TRUE(DirHasEntries("SIX", 6));  // found ignoring case
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
