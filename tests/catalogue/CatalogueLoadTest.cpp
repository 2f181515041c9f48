#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "EmulatorDir.h"
#include "FakeUserInteraction.h"
#include "catalogue/Catalogue.h"
#include "catalogue/EmuExeDate.h"
#include "catalogue/Scans.h"
#include "catalogue/SettingsFile.h"
#include "catalogue/WindowState.h"

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> ReadmeLines = {"Alpha Attack      alpha", "Beta Blaster | beta",
                                              "GAMMA GALAXY II   gamma", "Delta Dawn        delta",
                                              "Not Installed Here unused"};

// A start as the main window runs it: the batch file, the load and the availability scan.
TCatalogue Start(FakeUserInteraction& ui, TWindowState* windowOut = nullptr) {
  TCatalogue cat;
  TWindowState window;
  StartupIO(cat, ui, window, [&] { ui.Events.push_back("batch"); });
  if (windowOut) *windowOut = window;
  return cat;
}

void Shutdown(const TCatalogue& cat, FakeUserInteraction& ui) {
  TWindowState window;
  window.TimerInterval = 2000;
  EXPECT_TRUE(ShutdownIO(cat, ui, window, [] {}));
}

std::string FoundText(int n) {
  return std::to_string(n) + " new supported games found!";
}

}  // namespace

TEST(RequireFile, NamesTheMissingFileOnceAndFindsAnyLetterCase) {
  TempDir dir;
  ScopedCurrentDir here(dir.Path());
  {
    FakeUserInteraction ui;
    ui.ExpectMessage(TMsgDlgType::mtError,
                     "File not found: velk.exe\rThis file is needed by StartVELK.",
                     TModalResult::mrCancel);
    EXPECT_FALSE(RequireStartupFiles(ui));  // readme.txt is not checked after that
    ASSERT_EQ(ui.Prompts.size(), 1u);
    EXPECT_EQ(ui.Prompts[0].Buttons, TMsgDlgButtons{mbCancel});
  }
  dir.Write("Velk.EXE", "MZ");
  {
    FakeUserInteraction ui;
    ui.ExpectMessage(TMsgDlgType::mtError,
                     "File not found: readme.txt\rThis file is needed by StartVELK.",
                     TModalResult::mrCancel);
    EXPECT_FALSE(RequireStartupFiles(ui));
  }
  dir.Write("ReadMe.TXT", "");
  {
    FakeUserInteraction ui;
    EXPECT_TRUE(RequireStartupFiles(ui));
    EXPECT_TRUE(ui.Prompts.empty());
  }
}

TEST(CatalogueLoad, FirstStartTakesEveryDriverDirectoryInReadmeOrder) {
  EmulatorDir emu;
  emu.WriteReadme(ReadmeLines);
  emu.AddDriverDir("delta", 3);
  emu.AddDriverDir("alpha");
  emu.AddDriverDir("gamma", 4);
  emu.Dir.Write("alpha.zip", "PK");
  FakeUserInteraction ui;
  ui.ExpectMessage(TMsgDlgType::mtInformation, FoundText(3));
  const TCatalogue cat = Start(ui);
  EXPECT_EQ(ui.Events, (std::vector<std::string>{"batch", "beep", "box:" + FoundText(3)}));
  EXPECT_EQ(ui.Prompts[0].Buttons, TMsgDlgButtons{mbOK});
  EXPECT_EQ(ZipNames(cat), (std::vector<std::string>{"alpha", "gamma", "delta"}));
  EXPECT_EQ(cat.Games[2].Name.view(), "Gamma Galaxy II");
  EXPECT_EQ(cat.Games[0].Name.view(), "Default");
  for (const TGameRecord& g : cat.Games) {
    EXPECT_TRUE(g.UseDefSettings);
    EXPECT_TRUE(g.Sound);
  }
  EXPECT_EQ(cat.GameStatus,
            (std::vector<std::int32_t>{0, gsZipAvailable, gsInstalled, gsInstalled}));
}

TEST(CatalogueLoad, UnchangedStartIsExactlyTheFilesCatalogue) {
  EmulatorDir emu;
  emu.WriteReadme(ReadmeLines);
  emu.AddDriverDir("alpha");
  emu.AddDriverDir("beta");
  TCatalogue first;
  {
    FakeUserInteraction ui;
    ui.ExpectMessage(TMsgDlgType::mtInformation, FoundText(2));
    first = Start(ui);
    first.Games[2].CurrentSS = 4;
    Shutdown(first, ui);
  }
  // A new driver directory and a vanished one go unnoticed while velk.exe is unchanged.
  emu.AddDriverDir("gamma");
  fs::remove_all(emu.Dir.Path() / "alpha");
  FakeUserInteraction ui;
  const TCatalogue again = Start(ui);
  EXPECT_EQ(ui.Events, std::vector<std::string>{"batch"});
  EXPECT_EQ(ZipNames(again), ZipNames(first));
  EXPECT_EQ(again.Games[2].CurrentSS, 4);
}

TEST(CatalogueLoad, UpdateThatRemovedADriverDirectoryDropsOnlyThatGame) {
  EmulatorDir emu;
  emu.WriteReadme(ReadmeLines);
  for (const char* name : {"alpha", "beta", "gamma", "delta"}) emu.AddDriverDir(name);
  TCatalogue cat;
  {
    FakeUserInteraction ui;
    ui.ExpectMessage(TMsgDlgType::mtInformation, FoundText(4));
    cat = Start(ui);
    cat.Games[3].CurrentSS = 2;  // gamma
    cat.Games[3].UseDefSettings = false;
    cat.Games[3].Joystick = true;
    cat.Games[4].CurrentSS = 5;  // delta
    Shutdown(cat, ui);
  }
  emu.WriteEmulator(EmulatorDir::EmuDate + 3600);
  fs::remove_all(emu.Dir.Path() / "beta");
  {
    FakeUserInteraction ui;
    cat = Start(ui);
    EXPECT_TRUE(ui.Prompts.empty());
    EXPECT_EQ(ZipNames(cat), (std::vector<std::string>{"alpha", "gamma", "delta"}));
    EXPECT_EQ(cat.Games[2].CurrentSS, 2);
    EXPECT_TRUE(cat.Games[2].Joystick);
    Shutdown(cat, ui);
  }
  const std::string saved = emu.Settings();
  EXPECT_NE(saved.find("[Game2]\r\nName=Gamma Galaxy II\r\nZipName=gamma\r\nCurrentSS=2\r\n"
                       "UseDefSettings=0\r\n"),
            std::string::npos);
  EXPECT_NE(saved.find(GameSectionText(3, "Delta Dawn", "delta", 5)), std::string::npos);
  EXPECT_EQ(saved.find("[Game4]"), std::string::npos);

  // The last game's directory gone: dropped too, although every other name was matched first.
  emu.WriteEmulator(EmulatorDir::EmuDate + 7200);
  fs::remove_all(emu.Dir.Path() / "delta");
  FakeUserInteraction ui;
  cat = Start(ui);
  EXPECT_EQ(ZipNames(cat), (std::vector<std::string>{"alpha", "gamma"}));
}

TEST(CatalogueLoad, DriverDirectoryTheReadmeLacksIsReportedAndLeftOut) {
  EmulatorDir emu;
  emu.WriteReadme(ReadmeLines);
  emu.AddDriverDir("alpha");
  emu.AddDriverDir("zeta");
  FakeUserInteraction ui;
  ui.ExpectMessage(TMsgDlgType::mtInformation, FoundText(2));
  ui.ExpectMessage(TMsgDlgType::mtError, "1 gamenames not found in VELK ReadMe.txt!\rzeta");
  const TCatalogue cat = Start(ui);
  EXPECT_EQ(ui.Beeps, 2);
  EXPECT_EQ(ui.Prompts[1].Buttons, TMsgDlgButtons{mbOK});
  EXPECT_EQ(ZipNames(cat), std::vector<std::string>{"alpha"});
}

TEST(CatalogueLoad, ReadmeInCapitalsMatchesDirectoryInSmallLetters) {
  EmulatorDir emu;
  emu.WriteReadme({"SPACE RACER II  SPCRCR2"}, "README.TXT");
  emu.Dir.Write("spcrcr2/SpcRcr2.Vlk", "d");
  FakeUserInteraction ui;
  ui.ExpectMessage(TMsgDlgType::mtInformation, FoundText(1));
  const TCatalogue cat = Start(ui);
  ASSERT_EQ(cat.Games.size(), 2u);
  EXPECT_EQ(cat.Games[1].Name.view(), "Space Racer II");
  EXPECT_EQ(cat.Games[1].ZipName.view(), "SPCRCR2");
  // The entry keeps the readme's capitals; the directory is still found for it.
  emu.Dir.Write("spcrcr2/a", "");
  emu.Dir.Write("spcrcr2/b", "");
  emu.Dir.Write("spcrcr2/c", "");
  TCatalogue scanned = cat;
  ScanGameAvailability(scanned);
  EXPECT_EQ(scanned.GameStatus[1], gsInstalled);
}

TEST(CatalogueLoad, UnreadableReadmeLeavesTheFilesGamesAndReportsTheRest) {
  EmulatorDir emu;
  emu.WriteReadme(ReadmeLines);
  emu.AddDriverDir("alpha");
  {
    FakeUserInteraction ui;
    ui.ExpectMessage(TMsgDlgType::mtInformation, FoundText(1));
    Shutdown(Start(ui), ui);
  }
  emu.WriteEmulator(EmulatorDir::EmuDate + 10);
  emu.AddDriverDir("beta");
  fs::remove(emu.Dir.Path() / "readme.txt");
  FakeUserInteraction ui;
  ui.ExpectMessage(TMsgDlgType::mtInformation, FoundText(1));
  ui.ExpectMessage(TMsgDlgType::mtError, "1 gamenames not found in VELK ReadMe.txt!\rbeta");
  const TCatalogue cat = Start(ui);
  EXPECT_EQ(ZipNames(cat), std::vector<std::string>{"alpha"});
  EXPECT_EQ(cat.GameStatus.size(), 2u);
}

TEST(CatalogueLoad, ShutdownSavesThenDeletesAndReportsAFailedSave) {
  EmulatorDir emu;
  emu.WriteReadme(ReadmeLines);
  emu.AddDriverDir("alpha");
  FakeUserInteraction ui;
  ui.ExpectMessage(TMsgDlgType::mtInformation, FoundText(1));
  const TCatalogue cat = Start(ui);
  TWindowState window;
  bool savedBeforeDelete = false;
  EXPECT_TRUE(ShutdownIO(cat, ui, window, [&] {
    savedBeforeDelete = emu.Settings().find("ZipName=alpha") != std::string::npos;
  }));
  EXPECT_TRUE(savedBeforeDelete);

  // A settings file that cannot be replaced (a directory is in its place): the batch files still
  // go, then the user is told.
  fs::remove(emu.Dir.Path() / "StartVELK.ini");
  emu.Dir.Write("StartVELK.ini/keep", "x");
  FakeUserInteraction failing;
  failing.ExpectMessage(TMsgDlgType::mtError,
                        "The settings could not be saved; the previous settings file is kept.\r"
                        "Cannot replace StartVELK.ini: " +
                            std::string(std::strerror(EISDIR)));
  bool deletedBeforeBox = false;
  EXPECT_FALSE(
      ShutdownIO(cat, failing, window, [&] { deletedBeforeBox = failing.Prompts.empty(); }));
  EXPECT_TRUE(deletedBeforeBox);
  EXPECT_EQ(failing.Beeps, 1);
  EXPECT_TRUE(fs::exists(emu.Dir.Path() / "StartVELK.ini/keep"));
}

TEST(CatalogueLoad, FailedStartUpNeverOverwritesTheSettings) {
  EmulatorDir emu;
  emu.Dir.Write("StartVELK.ini", "[StartVELK]\r\nNumOfGames=1\r\n");
  FakeUserInteraction ui;
  TCatalogue cat;
  TWindowState window;
  EXPECT_THROW(StartupIO(cat, ui, window, [] { throw std::runtime_error("batch.bat"); }),
               std::runtime_error);
  bool deleted = false;
  EXPECT_FALSE(ShutdownIO(cat, ui, window, [&] { deleted = true; }));
  EXPECT_TRUE(deleted);
  EXPECT_TRUE(ui.Prompts.empty());
  EXPECT_EQ(emu.Settings(), "[StartVELK]\r\nNumOfGames=1\r\n");
  EXPECT_THROW(SaveSettings(cat, window), ESettingsFile);
}
