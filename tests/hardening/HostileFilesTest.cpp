// Names and special files that a hand-edited settings file or an odd emulator folder hands the
// program: short names that lead elsewhere, named pipes where files are read, symbolic links where
// files are written.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "EmulatorDir.h"
#include "ExecTestSupport.h"
#include "catalogue/NewGames.h"
#include "catalogue/ReadmeGamesList.h"
#include "catalogue/Scans.h"
#include "catalogue/SettingsFile.h"
#include "launch/BatchFile.h"
#include "platform/Files.h"
#include "screenshots/JpegCodec.h"
#include "screenshots/ScreenShot.h"

namespace fs = std::filesystem;

namespace {

void MakeFifo(const fs::path& path) {
  fs::create_directories(path.parent_path());
  ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0) << path;
}

std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TCatalogue OneGame(const std::string& zipName) {
  TCatalogue cat;
  InitGameRecord(cat.Games.emplace_back());
  InitGameRecord(cat.Games.emplace_back());
  cat.Games[1].Name = "Some Game";
  cat.Games[1].ZipName = zipName;
  return cat;
}

}  // namespace

// --- Names ---------------------------------------------------------------------------------------

TEST(HostileNames, OnlyPlainFolderNamesAreInstalledOrZipAvailable) {
  for (const char* plain : {"pacrcr", "a.b", "12345678", "-x", "..x"})
    EXPECT_TRUE(IsPlainZipName(plain)) << plain;
  const std::vector<std::string> unsafe = {"",   ".",   "..",    "../x",  "a/b",  "a\\b",
                                           "C:", "C:x", "x\x01", "x\x7f", "x\ny", "123456789"};
  for (const std::string& name : unsafe) EXPECT_FALSE(IsPlainZipName(name)) << name;

  // Every unsafe name has an archive (and "C:x" a full game folder) where it leads.
  EmulatorDir emu;
  for (const char* archive : {"zips/...zip", "zips/..zip", "x.zip", "zips/a/b.zip", "zips/C:x.zip",
                              "zips/a\\b.zip", "zips/x\ny.zip"})
    emu.Dir.Write(archive, "PK");
  for (const char* file : {"C:x/C:x.vlk", "C:x/1", "C:x/2", "C:x/3", "C:x/4"})
    emu.Dir.Write(file, "x");
  TCatalogue cat;
  InitGameRecord(cat.Games.emplace_back());
  for (const std::string& name : unsafe) {
    InitGameRecord(cat.Games.emplace_back());
    cat.Games.back().ZipName = name;
  }
  cat.AltRomPath = "zips/";
  ScanGameAvailability(cat);
  EXPECT_EQ(cat.GameStatus, std::vector<std::int32_t>(cat.Games.size(), gsNotAvailable));
}

// --- Special files -------------------------------------------------------------------------------

TEST(HostileSpecialFiles, PipesDevicesAndFoldersAreNeverReadNorWaitedOn) {
  EmulatorDir emu;
  const fs::path dir = emu.Dir.Path();
  MakeFifo(dir / "pipe");
  for (const std::string& path : {(dir / "pipe").string(), std::string("/dev/zero")}) {
    EXPECT_FALSE(platform::IsRegularFile(path)) << path;
    errno = 0;
    EXPECT_EQ(platform::OpenRegularFile(path), -1) << path;
    EXPECT_EQ(platform::OpenFailureText(errno), "not a regular file");
    EXPECT_FALSE(platform::ReadWholeFile(path)) << path;
    EXPECT_FALSE(platform::ReadWholeFile(path, 1 << 20)) << path;
  }
  const int folder = platform::OpenRegularFile(dir.string());
  const int code = errno;
  EXPECT_EQ(folder, -1);
  EXPECT_EQ(code, EISDIR);
  // A link to a regular file is one.
  emu.Dir.Write("real.txt", "text");
  fs::create_symlink("real.txt", dir / "link.txt");
  EXPECT_EQ(platform::ReadWholeFile("LINK.TXT"), "text");

  // The settings file is reported and kept, the readme adds nothing.
  MakeFifo(dir / "StartVELK.ini");
  MakeFifo(dir / "readme.txt");
  TCatalogue cat;
  TNewGames newGames;
  TWindowState window;
  EXPECT_THROW(ReadSettings(cat, newGames, window), ESettingsFile);
  EXPECT_TRUE(fs::is_fifo(dir / "StartVELK.ini"));
  cat = OneGame("pacrcr");
  newGames.Add("pacrcr");
  ReadReadmeGamesList(cat, newGames);
  EXPECT_EQ(cat.Games.size(), 2u);

  // A screenshot that is a pipe is listed but never shown, and the decoder will not read it.
  MakeFifo(dir / "ScreenShots/pacrcr01.jpg");
  cat.GameDir = dir.string();
  cat.CurrentGame = 1;
  TScreenShotSet shots(cat);
  EXPECT_FALSE(shots.LoadScreenShots().HasPicture);
  std::string error;
  EXPECT_FALSE(DecodeJpegFile((dir / "ScreenShots/pacrcr01.jpg").string(), {}, &error));
  EXPECT_NE(error.find("Cannot read"), std::string::npos) << error;
}

// --- Links ---------------------------------------------------------------------------------------

TEST(HostileLinks, SettingsFileIsSavedThroughItsLinksKeepingThemAndItsMode) {
  EmulatorDir emu;
  const fs::path dir = emu.Dir.Path();
  // A chain: the second link is relative to its own folder.
  emu.Dir.Write("elsewhere/keep.ini", "[StartVELK]\r\nNumOfGames=1\r\n");
  fs::permissions(dir / "elsewhere/keep.ini", fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("keep.ini", dir / "elsewhere/hop.ini");
  fs::create_symlink("elsewhere/hop.ini", dir / "StartVELK.ini");
  TCatalogue cat;
  TNewGames newGames;
  TWindowState window;
  ReadSettings(cat, newGames, window);
  cat.AltRomPath = "saved/";
  SaveSettings(cat, window);

  EXPECT_TRUE(fs::is_symlink(dir / "StartVELK.ini"));
  EXPECT_TRUE(fs::is_symlink(dir / "elsewhere/hop.ini"));
  EXPECT_NE(ReadFileBytes(dir / "elsewhere/keep.ini").find("AltRomPath=saved/"), std::string::npos);
  EXPECT_EQ(fs::status(dir / "elsewhere/keep.ini").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Names(dir / "elsewhere"), (std::vector<std::string>{"hop.ini", "keep.ini"}));

  // Where no temporary file can be made beside the target, the save fails and nothing changes.
  fs::remove(dir / "StartVELK.ini");
  fs::create_symlink("/proc/version", dir / "StartVELK.ini");
  const std::string version = ReadFileBytes("/proc/version");
  try {
    SaveSettings(cat, window);
    ADD_FAILURE() << "saved into /proc";
  } catch (const ESettingsFile& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot create a temporary file for", 0), 0u) << e.what();
  }
  EXPECT_TRUE(fs::is_symlink(dir / "StartVELK.ini"));
  EXPECT_EQ(ReadFileBytes("/proc/version"), version);
}

TEST(HostileLinks, BatchFileAndItsRedirectionNeverWriteThroughALink) {
  TempDir outside;
  outside.Write("precious.txt", "the user's own");
  const fs::path precious = outside.Path() / "precious.txt";
  EmulatorDir emu;
  const fs::path dir = emu.Dir.Path();
  fs::create_symlink(precious, dir / "batch.bat");
  WriteBatchFile();
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "batch.bat")));

  WriteRecorder(dir / "velk.exe", dir / "record.txt");
  emu.Dir.Write("test.bat", "@velk.exe a > VELKStart.txt\r\n@velk.exe b >> other.txt\r\n");
  fs::create_symlink(precious, dir / "VELKStart.txt");
  fs::create_symlink(precious, dir / "other.txt");
  TRunResult r = RunInterpreter({"test.bat"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  for (const char* log : {"VELKStart.txt", "other.txt"}) {
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / log))) << log;
    EXPECT_EQ(ReadFileBytes(dir / log), "output of velk.exe\n") << log;
  }
  EXPECT_EQ(ReadFileBytes(precious), "the user's own");

  // A pipe as the log is refused at once, with the reason on the console.
  fs::remove(dir / "VELKStart.txt");
  MakeFifo(dir / "VELKStart.txt");
  r = RunInterpreter({"test.bat"});
  EXPECT_NE(r.Status, 0);
  EXPECT_NE(r.Err.find("not a regular file"), std::string::npos) << r.Err;
}
