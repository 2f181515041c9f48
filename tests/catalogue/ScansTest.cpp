#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "EmulatorDir.h"
#include "catalogue/Catalogue.h"
#include "catalogue/NewGames.h"
#include "catalogue/Scans.h"
#include "platform/Files.h"

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

// What a scan remembers of the game folders is used while a folder keeps its stamp, and a folder
// that changed is read again; a file that is not right is never trusted.
TEST(ScanGameAvailability, RemembersFoldersUntilTheyChange) {
  EmulatorDir emu;
  emu.AddDriverDir("inst", 3);
  emu.AddDriverDir("bare");  // . .. bare.vlk: not installed
  emu.AddDriverDir("gone", 3);
  TCatalogue cat = CatalogueOf({"inst", "bare", "gone"});
  cat.GameDir = emu.Dir.Str();
  const std::string file = (emu.Dir.Path() / "cache" / "folders").string();
  const TScanMemory memory{file, 0, 0};
  const std::vector<std::int32_t> truth{0, gsInstalled, gsNotAvailable, gsInstalled};
  // The file as written, with bare's answer turned: a scan that shows bare installed used it.
  auto forged = [&file] {
    std::string text = ReadFileBytes(file);
    text[text.rfind("\n0 ", text.find(" bare\n")) + 1] = '1';
    return text;
  };
  ScanGameAvailability(cat, memory);
  EXPECT_EQ(cat.GameStatus, truth);
  std::string text = forged();
  EXPECT_EQ(text.substr(0, text.find('\n')), "StartVELK game folders 1");
  emu.Dir.Write("cache/folders", text);
  ScanGameAvailability(cat, memory);
  EXPECT_EQ(cat.GameStatus[2], gsInstalled);

  // A file added to the folder, a tick of the file system's clock later, has it read again.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  emu.Dir.Write("bare/rom", "r");
  ScanGameAvailability(cat, memory);
  EXPECT_EQ(cat.GameStatus, truth);

  // A folder that is gone is forgotten; a damaged file or one of another folder is not read.
  std::filesystem::remove_all(emu.Dir.Path() / "gone");
  ScanGameAvailability(cat, memory);
  text = forged();
  EXPECT_EQ(text.find(" gone\n"), std::string::npos);
  emu.Dir.Write("cache/folders", text);
  ScanGameAvailability(cat, memory);
  EXPECT_EQ(cat.GameStatus[2], gsInstalled);  // as written, it would be read
  for (const std::string& bad :
       {text.substr(0, text.size() - 2), text + "0 1 2 3 4 zz\n", std::string("\0\1", 2),
        "StartVELK game folders 1\n/elsewhere\n" + text.substr(text.find('\n', 25) + 1)}) {
    emu.Dir.Write("cache/folders", bad);
    ScanGameAvailability(cat, memory);
    EXPECT_EQ(cat.GameStatus[2], gsNotAvailable);
  }
  // A folder changed a moment ago is not remembered yet: nothing to write.
  std::filesystem::remove(file);
  ScanGameAvailability(cat, TScanMemory{file, 0});
  EXPECT_FALSE(std::filesystem::exists(file));
}
