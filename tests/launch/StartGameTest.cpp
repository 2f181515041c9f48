#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "FakeUserInteraction.h"
#include "TempDir.h"
#include "ZipWriter.h"
#include "launch/BatchFile.h"
#include "launch/StartGame.h"
#include "platform/Files.h"
#include "platform/Process.h"

namespace fs = std::filesystem;

namespace {

// Keeps an environment variable unset around a test: the batch file then runs without a terminal.
class ScopedUnsetEnv {
 public:
  explicit ScopedUnsetEnv(const char* name) : FName(name) {
    if (const char* old = std::getenv(name)) FOld = old;
    ::unsetenv(name);
  }
  ~ScopedUnsetEnv() {
    if (FOld) ::setenv(FName, FOld->c_str(), 1);
  }

 private:
  const char* FName;
  std::optional<std::string> FOld;
};

// What the fake emulator saw: its words, its working directory, the game folder named by its
// first word at the moment it ran.
struct TVelkRun {
  bool Ran = false;
  std::string Cwd;
  std::vector<std::string> Args;
  std::vector<std::string> Listing;
};

// The window's side of a start, written into the same event list as the user interaction so the
// order of boxes, status texts and window steps can be checked as one.
class FakeStartWindow : public TStartWindow {
 public:
  explicit FakeStartWindow(std::vector<std::string>& events) : FEvents(events) {}
  bool SelectedGameChecked() const override { return Checked; }
  void JoinClipboardChain() override {
    FEvents.push_back("join");
    if (JoinFails) throw std::runtime_error("Cannot open clipboard");
  }
  void LeaveClipboardChain() override { FEvents.push_back("leave"); }
  void StopSlideShowTimer() override { FEvents.push_back("stop-slideshow"); }
  void FollowSlideShowPlayButton() override { FEvents.push_back("follow-play"); }
  void LoadScreenShots() override { FEvents.push_back("load-screenshots"); }

  bool Checked = true;
  bool JoinFails = false;

 private:
  std::vector<std::string>& FEvents;
};

class StartGameTest : public ::testing::Test {
 protected:
  StartGameTest() {
    WriteBatchFile();
    WriteFakeVelk();
    FCatalogue.Games.resize(3);
    for (TGameRecord& g : FCatalogue.Games) InitGameRecord(g);
    FCatalogue.Games[1].Name = "My Game";
    FCatalogue.Games[1].ZipName = "mygame";
    FCatalogue.Games[2].Name = "Other";
    FCatalogue.Games[2].ZipName = "other";
    FCatalogue.GameStatus = {0, gsInstalled, gsInstalled};
    FCatalogue.CurrentGame = 1;
    FCatalogue.GameDir = FDir.Str();
  }
  ~StartGameTest() override {
    TZipArchive::UnloadUnzipLibrary();
    TZipArchive::SetLibraryFallbackSearch(true);
  }

  // A slow fake lasts long enough for the launcher to be waiting on it, whatever the load.
  void WriteFakeVelk(bool slow = false) {
    const fs::path velk = FDir.Write(
        "velk.exe",
        std::string("#!/bin/sh\n") + (slow ? "sleep 1\n" : "") +
            "{\n"
            "  printf 'cwd=%s\\n' \"$(pwd)\"\n"
            "  for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done\n"
            "  if [ -n \"$1\" ] && [ -d \"$1\" ]; then ls -1A \"$1\" | sed 's/^/file=/'; fi\n"
            "} > velkrun.part\n"
            "mv velkrun.part velkrun.txt\n");
    fs::permissions(velk, fs::perms::owner_all);
  }

  TVelkRun ReadRun() const {
    TVelkRun run;
    std::ifstream in(FDir.Path() / "velkrun.txt");
    if (!in) return run;
    run.Ran = true;
    std::string line;
    while (std::getline(in, line)) {
      const auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
      if (key == "cwd") run.Cwd = value;
      if (key == "arg") run.Args.push_back(value);
      if (key == "file") run.Listing.push_back(value);
    }
    std::sort(run.Listing.begin(), run.Listing.end());
    return run;
  }

  void InstallDriver(const std::string& zipName) {
    FDir.Write(zipName + "/" + zipName + ".vlk", "driver");
  }

  std::vector<std::string> GameFolder(const std::string& name) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(FDir.Path() / name))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // The events from the first window step on: the boxes before it are checked on their own.
  std::vector<std::string> WindowEvents() const {
    std::vector<std::string> out;
    for (const std::string& e : FUi.Events)
      if (e.rfind("box:", 0) != 0 && e != "beep") out.push_back(e);
    return out;
  }

  TempDir FDir;
  ScopedCurrentDir FCwd{FDir.Path()};
  ScopedUnsetEnv FDisplay{"DISPLAY"};
  ScopedUnsetEnv FWayland{"WAYLAND_DISPLAY"};
  FakeUserInteraction FUi;
  FakeStartWindow FWindow{FUi.Events};
  TCatalogue FCatalogue;
  TExecFile FExecEmu{&FUi};
  TZipArchive FZipArchive{FUi};
  TGameStarter FStarter{FCatalogue, FExecEmu, FZipArchive, FUi, FWindow};
};

const std::vector<std::string> kRunSteps = {"join", "leave", "follow-play", "load-screenshots"};

// --- Installed games -------------------------------------------------------------------------

TEST_F(StartGameTest, InstalledGameRunsInGameDirWithItsArgumentsAndWindowSteps) {
  InstallDriver("mygame");
  FDir.MakeDir("elsewhere");
  platform::SetCurrentDir((FDir.Path() / "elsewhere").string());
  FCatalogue.Games[1].UseDefSettings = false;
  FCatalogue.Games[1].Resolution = "320x240";
  FCatalogue.Games[1].Joystick = true;

  FStarter.StartEmuButtonClick();

  const TVelkRun run = ReadRun();
  ASSERT_TRUE(run.Ran);
  EXPECT_EQ(fs::path(run.Cwd), FDir.Path());
  // Only the short name and four options pass the batch file.
  EXPECT_EQ(run.Args, (std::vector<std::string>{"mygame", "-v", "-n", "-d320x240", "-j"}));
  EXPECT_EQ(FExecEmu.Parameters.str(), "mygame -v -n -d320x240 -j");
  EXPECT_EQ(FUi.Events, (std::vector<std::string>{"stop-slideshow", "join", "leave", "follow-play",
                                                  "load-screenshots"}));
  EXPECT_EQ(fs::path(platform::GetCurrentDir()), FDir.Path());
  EXPECT_FALSE(FStarter.Running());
  EXPECT_EQ(FExecEmu.CommandLine.str(), "batch.bat");
  EXPECT_EQ(FExecEmu.Priority, pcRealTime);
  EXPECT_TRUE(FExecEmu.Wait);
}

TEST_F(StartGameTest, MissingDriverWarnsLeavesSlideShowAndStillStarts) {
  FUi.ExpectMessage(TMsgDlgType::mtError,
                    "Velk driver for mygame not found!\rMake sure you have mygame.vlk in gamedir.");
  FStarter.StartEmuButtonClick();
  EXPECT_EQ(FUi.Prompts.at(0).Buttons, static_cast<TMsgDlgButtons>(mbOK));
  EXPECT_EQ(FUi.Events, (std::vector<std::string>{
                            "beep",
                            "box:Velk driver for mygame not found!\rMake sure you have mygame.vlk "
                            "in gamedir.",
                            "join", "leave", "follow-play", "load-screenshots"}));
  EXPECT_TRUE(ReadRun().Ran);
}

TEST_F(StartGameTest, DriverFoundInAnyLetterCase) {
  FDir.Write("MyGame/MYGAME.VLK", "driver");
  FStarter.StartEmuButtonClick();
  EXPECT_EQ(FUi.Events.front(), "stop-slideshow");
}

TEST_F(StartGameTest, UncheckedGameRunsWithoutArguments) {
  InstallDriver("mygame");
  FWindow.Checked = false;
  FStarter.StartEmuButtonClick();
  const TVelkRun run = ReadRun();
  ASSERT_TRUE(run.Ran);
  EXPECT_TRUE(run.Args.empty());
  EXPECT_EQ(WindowEvents(), (std::vector<std::string>{"stop-slideshow", "join", "leave",
                                                      "follow-play", "load-screenshots"}));
}

TEST_F(StartGameTest, DeletedBatchFileShowsTheFailureBoxAndClosesTheRun) {
  InstallDriver("mygame");
  fs::remove(FDir.Path() / "batch.bat");
  FUi.ExpectMessage(TMsgDlgType::mtError, "Failed to execute BatchFile, Please contact Orlen",
                    TModalResult::mrCancel);
  FStarter.StartEmuButtonClick();
  EXPECT_EQ(FUi.Prompts.at(0).Buttons, static_cast<TMsgDlgButtons>(mbCancel));
  EXPECT_EQ(FUi.Beeps, 1);
  EXPECT_FALSE(ReadRun().Ran);
  EXPECT_EQ(WindowEvents(), (std::vector<std::string>{"stop-slideshow", "join", "leave",
                                                      "follow-play", "load-screenshots"}));
}

// --- Refused starts ----------------------------------------------------------------------------

TEST_F(StartGameTest, StartWithoutCurrentGameIsRefused) {
  for (const int current : {-1, 0, 3}) {
    FCatalogue.CurrentGame = current;
    FUi.ExpectMessage(TMsgDlgType::mtError, std::string(NoGameSelectedText));
    FStarter.StartEmuButtonClick();
  }
  EXPECT_EQ(FUi.Beeps, 3);
  EXPECT_TRUE(WindowEvents().empty());
  EXPECT_FALSE(ReadRun().Ran);
}

TEST_F(StartGameTest, SecondStartDuringARunIsRefusedAndTheFirstFinishes) {
  InstallDriver("mygame");
  WriteFakeVelk(/*slow=*/true);
  int nested = 0;
  FUi.OnWait = [&](TWaitHandle handle) {
    if (nested++ == 0) {
      FUi.ExpectMessage(TMsgDlgType::mtError, std::string(AlreadyRunningText));
      EXPECT_TRUE(FStarter.Running());
      FStarter.StartEmuButtonClick();
    }
    return FakeUserInteraction::WaitForHandle(handle);
  };
  FStarter.StartEmuButtonClick();
  EXPECT_TRUE(ReadRun().Ran);
  EXPECT_EQ(FUi.Beeps, 1);
  EXPECT_EQ(WindowEvents(), (std::vector<std::string>{"stop-slideshow", "join", "leave",
                                                      "follow-play", "load-screenshots"}));
  EXPECT_FALSE(FStarter.Running());
}

TEST_F(StartGameTest, FailedJoinStartsNothingAndRestoresTheSlideShow) {
  InstallDriver("mygame");
  FWindow.JoinFails = true;
  EXPECT_THROW(FStarter.StartEmuButtonClick(), std::runtime_error);
  EXPECT_FALSE(ReadRun().Ran);
  EXPECT_EQ(FUi.Events, (std::vector<std::string>{"stop-slideshow", "join", "follow-play"}));
  EXPECT_FALSE(FStarter.Running());
}

TEST_F(StartGameTest, QuitDuringTheRunLeavesTheChainAndShowsNothingMore) {
  InstallDriver("mygame");
  WriteFakeVelk(/*slow=*/true);
  FUi.OnWait = [&](TWaitHandle) {
    FUi.Quit = true;
    return false;
  };
  FStarter.StartEmuButtonClick();
  EXPECT_EQ(FUi.Events, (std::vector<std::string>{"stop-slideshow", "join", "leave"}));
  // The emulator outlives the wait; let it finish before its folder goes.
  for (int i = 0; i < 500 && !ReadRun().Ran; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// --- Zipped games ------------------------------------------------------------------------------

class ZipStartTest : public StartGameTest {
 protected:
  ZipStartTest() {
    FCatalogue.GameStatus[1] = gsZipAvailable;
    FCatalogue.AltRomPath = std::string("zips") + platform::PathDelim;
    FDir.MakeDir("zips");
  }
  void WriteArchive(const std::string& path, const TZipWriter& writer) {
    FDir.Write(path, writer.Build());
  }
  static TZipWriter GameArchive() {
    TZipWriter w;
    w.Add("data.bin", std::string(3000, 'd'));
    w.Add("roms/a.bin", "rom a", TZipWriterEntry::zmStored);
    w.Add("mygame.vlk", "driver from the archive");
    w.Add("EXTRA.VLK", "an upper-case driver is data");
    w.Add("keep.bin", "from the archive");
    return w;
  }
};

TEST_F(ZipStartTest, ExtractsIntoANewGameFolderRunsAndRemovesWhatItWrote) {
  WriteArchive("zips/mygame.zip", GameArchive());
  FUi.ExpectMessage(TMsgDlgType::mtError, DriverMissingText("mygame"));

  FStarter.StartEmuButtonClick();

  const TVelkRun run = ReadRun();
  ASSERT_TRUE(run.Ran);
  EXPECT_EQ(fs::path(run.Cwd), FDir.Path());
  EXPECT_EQ(run.Args, (std::vector<std::string>{"mygame", "-v", "-n"}));
  EXPECT_EQ(run.Listing,
            (std::vector<std::string>{"EXTRA.VLK", "a.bin", "data.bin", "keep.bin", "mygame.vlk"}));
  // The driver that came with the archive stays; everything else this start wrote is gone.
  EXPECT_EQ(GameFolder("mygame"), (std::vector<std::string>{"mygame.vlk"}));
  EXPECT_EQ(FUi.StatusTexts,
            (std::vector<std::string>{"Unzipping 5 files from mygame.zip", "Starting VELK"}));
  EXPECT_EQ(WindowEvents(),
            (std::vector<std::string>{"join", "status:Unzipping 5 files from mygame.zip",
                                      "status:Starting VELK",
                                      "status-reset",  // started: the running game is named
                                      "status-reset", "leave", "follow-play", "load-screenshots"}));
  EXPECT_EQ(fs::path(platform::GetCurrentDir()), FDir.Path());
}

TEST_F(ZipStartTest, FilesThatWereThereBeforeSurviveTheCleanUp) {
  WriteArchive("zips/mygame.zip", GameArchive());
  InstallDriver("mygame");
  FDir.Write("mygame/keep.bin", "the user's own");
  FDir.Write("mygame/a.bin", "the user's a");

  FStarter.StartEmuButtonClick();

  ASSERT_TRUE(ReadRun().Ran);
  EXPECT_EQ(GameFolder("mygame"), (std::vector<std::string>{"a.bin", "keep.bin", "mygame.vlk"}));
  EXPECT_EQ(ReadFileBytes(FDir.Path() / "mygame/keep.bin"), "the user's own");
  EXPECT_EQ(ReadFileBytes(FDir.Path() / "mygame/a.bin"), "the user's a");
  EXPECT_EQ(ReadFileBytes(FDir.Path() / "mygame/mygame.vlk"), "driver");
  EXPECT_EQ(FUi.Events.front(), "stop-slideshow");
}

TEST_F(ZipStartTest, ExistingFolderOfAnotherLetterCaseIsUsed) {
  TZipWriter w;
  w.Add("data.bin", "d");
  WriteArchive("zips/mygame.zip", w);
  FDir.Write("MyGame/MyGame.vlk", "driver");
  FStarter.StartEmuButtonClick();
  const TVelkRun run = ReadRun();
  ASSERT_TRUE(run.Ran);
  EXPECT_FALSE(fs::exists(FDir.Path() / "mygame"));
  EXPECT_EQ(GameFolder("MyGame"), (std::vector<std::string>{"MyGame.vlk"}));
}

TEST_F(ZipStartTest, EmptyPathLooksBesideTheEmulator) {
  FCatalogue.AltRomPath.clear();
  TZipWriter w;
  w.Add("data.bin", "d");
  WriteArchive("MYGAME.ZIP", w);
  InstallDriver("mygame");
  FStarter.StartEmuButtonClick();
  EXPECT_TRUE(ReadRun().Ran);
  EXPECT_EQ(FUi.StatusTexts.front(), "Unzipping 1 files from mygame.zip");
}

TEST_F(ZipStartTest, MissingOrEmptyArchiveSaysSoAndStartsNothing) {
  InstallDriver("mygame");
  FUi.ExpectPlain("Error - no files in the Zip file");
  FStarter.StartEmuButtonClick();
  WriteArchive("zips/mygame.zip", TZipWriter());
  FUi.ExpectPlain("Error - no files in the Zip file");
  FStarter.StartEmuButtonClick();
  EXPECT_FALSE(ReadRun().Ran);
  EXPECT_TRUE(FUi.StatusTexts.empty());
  EXPECT_EQ(FUi.StatusResets, 0);
  const std::vector<std::string> once = {
      "stop-slideshow", "join",        "plain:Error - no files in the Zip file",
      "leave",          "follow-play", "load-screenshots"};
  std::vector<std::string> twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(FUi.Events, twice);
}

TEST_F(ZipStartTest, MissingLibraryIsReportedAndTheEmulatorStillRuns) {
  WriteArchive("zips/mygame.zip", GameArchive());
  InstallDriver("mygame");
  TZipArchive::UnloadUnzipLibrary();
  TZipArchive::SetLibraryFallbackSearch(false);
  FUi.ExpectPlain("UNZIPLIB.DLL not found!");
  FStarter.StartEmuButtonClick();
  const TVelkRun run = ReadRun();
  ASSERT_TRUE(run.Ran);
  EXPECT_EQ(run.Listing, (std::vector<std::string>{"mygame.vlk"}));
  EXPECT_EQ(WindowEvents(),
            (std::vector<std::string>{
                "stop-slideshow", "join", "status:Unzipping 5 files from mygame.zip",
                "plain:UNZIPLIB.DLL not found!", "status:Starting VELK", "status-reset",
                "status-reset", "leave", "follow-play", "load-screenshots"}));
  EXPECT_EQ(GameFolder("mygame"), (std::vector<std::string>{"mygame.vlk"}));
}

TEST_F(ZipStartTest, GameFolderThatCannotBeMadeStopsTheStart) {
  WriteArchive("zips/mygame.zip", GameArchive());
  FDir.Write("mygame", "a file where the folder should be");
  FUi.ExpectMessage(TMsgDlgType::mtError, DriverMissingText("mygame"));
  EXPECT_THROW(FStarter.StartEmuButtonClick(), EStartError);
  EXPECT_FALSE(ReadRun().Ran);
  EXPECT_EQ(FUi.StatusResets, 1);
  EXPECT_EQ(WindowEvents(),
            (std::vector<std::string>{"join", "status:Unzipping 5 files from mygame.zip",
                                      "status-reset", "leave", "follow-play"}));
  // Nothing was extracted beside the emulator either.
  EXPECT_FALSE(fs::exists(FDir.Path() / "data.bin"));
}

TEST_F(ZipStartTest, QuitDuringTheRunStillRemovesTheExtractedFiles) {
  WriteArchive("zips/mygame.zip", GameArchive());
  InstallDriver("mygame");
  WriteFakeVelk(/*slow=*/true);
  FUi.OnWait = [&](TWaitHandle handle) {
    // Let the emulator finish its listing first, so no file is deleted under it.
    FakeUserInteraction::WaitForHandle(handle);
    FUi.Quit = true;
    return false;
  };
  FStarter.StartEmuButtonClick();
  EXPECT_EQ(GameFolder("mygame"), (std::vector<std::string>{"mygame.vlk"}));
  EXPECT_EQ(FUi.Events.back(), "leave");
}

TEST_F(ZipStartTest, SecondStartDuringTheExtractionIsRefused) {
  TZipWriter w;
  for (int i = 0; i < 3; ++i) w.Add("f" + std::to_string(i) + ".bin", "x");
  WriteArchive("zips/mygame.zip", w);
  InstallDriver("mygame");
  int nested = 0;
  FUi.OnProcessMessages = [&] {
    if (nested++ == 0 && FZipArchive.Busy()) {
      FUi.ExpectMessage(TMsgDlgType::mtError, std::string(AlreadyRunningText));
      FStarter.StartEmuButtonClick();
    }
  };
  FStarter.StartEmuButtonClick();
  EXPECT_GT(nested, 0);
  EXPECT_TRUE(ReadRun().Ran);
  EXPECT_EQ(GameFolder("mygame"), (std::vector<std::string>{"mygame.vlk"}));
}

TEST_F(ZipStartTest, ShortNamesThatAreNoPlainFolderNameStartNothingAndWriteNothing) {
  // Each name has an archive where it would lead from the zip ROM path.
  TZipWriter w;
  w.Add("escaped.bin", "must never be written");
  for (const char* archive :
       {"zips/...zip", "zips/..zip", "vk14x.zip", "zips/a/b.zip", "zips/C:x.zip"})
    WriteArchive(archive, w);
  const fs::path outside = FDir.Path().parent_path();
  for (const char* name : {"..", ".", "../vk14x", "a/b", "C:x", "x\ty"}) {
    FCatalogue.Games[1].ZipName = name;
    FUi.ExpectMessage(TMsgDlgType::mtError, UnsafeZipNameText(name));
    FStarter.StartEmuButtonClick();
  }
  EXPECT_FALSE(ReadRun().Ran);
  EXPECT_TRUE(FUi.StatusTexts.empty());
  for (const fs::path& p : {outside / "escaped.bin", outside / "vk14x", FDir.Path() / "escaped.bin",
                            FDir.Path() / "vk14x", FDir.Path() / "zips/a/escaped.bin"})
    EXPECT_FALSE(fs::exists(p)) << p;
}

TEST_F(ZipStartTest, APipeAsTheArchiveIsRefusedWithoutWaitingOnIt) {
  InstallDriver("mygame");
  ASSERT_EQ(::mkfifo((FDir.Path() / "zips/mygame.zip").c_str(), 0644), 0);
  FUi.ExpectPlain("Input file does not exist");
  FUi.ExpectPlain("Error - no files in the Zip file");
  FStarter.StartEmuButtonClick();
  EXPECT_FALSE(ReadRun().Ran);
  EXPECT_TRUE(fs::is_fifo(FDir.Path() / "zips/mygame.zip"));
}

TEST_F(ZipStartTest, CancelDuringTheExtractionRemovesWhatItWroteAndStartsNothing) {
  TZipWriter w;
  w.Add("mygame.vlk", "the archive's driver goes too: nothing ran");
  for (int i = 0; i < 40; ++i) w.Add("f" + std::to_string(i) + ".bin", "x");
  WriteArchive("zips/mygame.zip", w);
  FUi.ExpectMessage(TMsgDlgType::mtError, DriverMissingText("mygame"));
  int calls = 0;
  FUi.OnProcessMessages = [&] {
    if (++calls == 10) FStarter.CancelExtraction();
  };
  FStarter.StartEmuButtonClick();
  EXPECT_GE(calls, 10);
  EXPECT_FALSE(ReadRun().Ran);
  // The folder the start made is gone with what was written into it, and so is the journal.
  EXPECT_FALSE(fs::exists(FDir.Path() / "mygame"));
  EXPECT_TRUE(platform::FindFiles(FDir.Str(), UnzipJournalMask).empty());
}

// Another front-end's journal, held by its writer, names the game folder: its run would delete
// the files under this start's game, so neither kind of start goes on.
TEST_F(ZipStartTest, AGameFolderThatAnotherStartUsesIsNotStartedAgain) {
  WriteArchive("zips/mygame.zip", GameArchive());
  TUnzipJournal other;
  std::string error;
  ASSERT_TRUE(other.Begin(FDir.Str(), "x.zip", "MyGame", true, {{"a.bin", 1}}, &error)) << error;
  for (const TGameStatus status : {gsZipAvailable, gsInstalled}) {
    FCatalogue.GameStatus[1] = status;
    FUi.ExpectMessage(TMsgDlgType::mtError, DriverMissingText("mygame"));
    FUi.ExpectMessage(TMsgDlgType::mtError, GameInUseText("My Game"));
    FStarter.StartEmuButtonClick();
  }
  EXPECT_FALSE(ReadRun().Ran);
  EXPECT_EQ(platform::FindFiles(FDir.Str(), UnzipJournalMask).size(), 1u);
  other.Finish();
}

TEST_F(ZipStartTest, AForeignLibraryThatReportsNothingStillGetsItsFilesRemoved) {
  if (!platform::FindOnPath("unzip")) GTEST_SKIP() << "the unzip program is not installed";
  WriteArchive("zips/mygame.zip", GameArchive());
  InstallDriver("mygame");
  FDir.Write("mygame/KEEP.BIN", "the user's own");
  TZipArchive::SetLibraryFallbackSearch(false);
  FZipArchive.SetDLLDirectory(std::string(ZIP_FAKE_ROOT) + "/foreign");
  FStarter.StartEmuButtonClick();
  const TVelkRun run = ReadRun();
  ASSERT_TRUE(run.Ran);
  // It compares names with their case, so keep.bin is new beside the user's KEEP.BIN.
  EXPECT_EQ(run.Listing, (std::vector<std::string>{"EXTRA.VLK", "KEEP.BIN", "a.bin", "data.bin",
                                                   "keep.bin", "mygame.vlk"}));
  EXPECT_TRUE(FZipArchive.ExtractedFiles().empty());
  EXPECT_EQ(GameFolder("mygame"), (std::vector<std::string>{"KEEP.BIN", "mygame.vlk"}));
}

// --- Message handlers --------------------------------------------------------------------------

TEST(StartGameMessages, TextsAndZipMessageHandler) {
  EXPECT_EQ(UnzippingText(12, "mygame"), "Unzipping 12 files from mygame.zip");
  EXPECT_EQ(DriverMissingText("a"),
            "Velk driver for a not found!\rMake sure you have a.vlk in gamedir.");
  FakeUserInteraction ui;
  ZipArchiveMessage(ui, 0, "the component's own, shown already");
  ui.ExpectPlain("library trouble");
  ZipArchiveMessage(ui, 7, "library trouble");
  EXPECT_EQ(ui.Prompts.size(), 1u);

  TZipArchive zip(ui);
  ConfigureZipArchive(zip, ui);
  EXPECT_EQ(zip.DLLDirectory(), ".");
  EXPECT_EQ(zip.ExtrOptions(), 0u);
  EXPECT_TRUE(zip.FSpecArgs().empty());
  EXPECT_FALSE(zip.Unattended());
  ui.ExpectPlain("through OnMessage");
  zip.OnMessage(zip, 3, "through OnMessage");
}

}  // namespace
