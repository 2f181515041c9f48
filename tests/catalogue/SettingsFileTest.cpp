#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "EmulatorDir.h"
#include "catalogue/EmuExeDate.h"
#include "catalogue/NewGames.h"
#include "catalogue/SettingsFile.h"
#include "platform/Files.h"

namespace fs = std::filesystem;

namespace {

TCatalogue OneGameCatalogue() {
  TCatalogue cat;
  InitGameRecord(cat.Games.emplace_back());
  TGameRecord& game = cat.Games.emplace_back();
  InitGameRecord(game);
  game.Name = "Space Racer II";
  game.ZipName = "spcrcr2";
  return cat;
}

TWindowState SavedDefaults() {
  TWindowState w;
  w.TimerInterval = 2000;
  w.Play = true;
  return w;
}

// Reads the settings file of the working directory the way the catalogue load does.
TCatalogue Read(TWindowState& window, TNewGames* newGames = nullptr) {
  TCatalogue cat;
  TNewGames scratch;
  ReadSettings(cat, newGames ? *newGames : scratch, window);
  return cat;
}

std::string StartSection(const std::string& numOfGames, const std::string& extra = "") {
  return "[StartVELK]\r\nNumOfGames=" + numOfGames +
         "\r\nEmuExeDate=" + FormatEmuExeDate(EmulatorDir::EmuDate) + "\r\n" + extra + "\r\n";
}

const char* const Game0 =
    "[Game0]\r\nName=Default\r\nZipName=Default\r\nCurrentSS=0\r\nUseDefSettings=1\r\nVsync=0\r\n"
    "ScanLines=1\r\nResolution=640x480\r\nRotateScreen=1\r\nSound=1\r\nAltFMBase=1\r\n"
    "Joystick=1\r\nFrameSkip=1\r\n\r\n";

}  // namespace

TEST(SettingsFile, WritesTheOneGameExampleByteForByte) {
  EmulatorDir emu;
  SaveSettings(OneGameCatalogue(), SavedDefaults());
  const std::string expected =
      "[StartVELK]\r\nVersion=version.dll\r\nNumOfGames=2\r\nEmuExeDate=" +
      FormatEmuExeDate(EmulatorDir::EmuDate) +
      "\r\nAltRomPath=\r\n\r\n"
      "[View]\r\nInstalled=0\r\nUnInstalled=0\r\nAll=1\r\nStatBar=1\r\nTabSheet=1\r\n\r\n"
      "[Window]\r\nState=0\r\nWidth=600\r\nHeight=400\r\nGLPWidth=185\r\nLGLPos=0\r\n\r\n"
      "[Screenshot]\r\nOriginal=0\r\nScaled=1\r\nStretched=0\r\nTimer=2\r\nShowName=1\r\n"
      "ShowControls=1\r\nPlay=1\r\n\r\n"
      "[Game0]\r\nName=Default\r\nZipName=Default\r\nCurrentSS=0\r\nUseDefSettings=1\r\n"
      "Vsync=1\r\nScanLines=0\r\nResolution=Default\r\nRotateScreen=0\r\nSound=1\r\n"
      "AltFMBase=0\r\nJoystick=0\r\nFrameSkip=0\r\n\r\n"
      "[Game1]\r\nName=Space Racer II\r\nZipName=spcrcr2\r\nCurrentSS=0\r\nUseDefSettings=1\r\n"
      "\r\n";
  EXPECT_EQ(emu.Settings(), expected);
  // Nothing but the file itself is left beside it.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(emu.Dir.Path())) ++entries;
  EXPECT_EQ(entries, 2);  // velk.exe and StartVELK.ini
}

TEST(SettingsFile, WindowAndCatalogueSurviveARoundTrip) {
  EmulatorDir emu;
  TCatalogue cat = OneGameCatalogue();
  cat.AltRomPath = "roms/";
  cat.LastGameListPos = 7;
  cat.Games[0].Resolution = "320x240";
  cat.Games[0].Sound = false;
  cat.Games[1].UseDefSettings = false;
  cat.Games[1].CurrentSS = 3;
  cat.Games[1].FrameSkip = true;
  cat.Games[1].Sound = true;
  TWindowState saved;
  saved.View = TViewFilter::vfUnInstalled;
  saved.StatBar = false;
  saved.State = 2;  // maximised; the window hands over its normal-state size
  saved.Width = 812;
  saved.Height = 533;
  saved.GLPWidth = 240;
  saved.ScreenShotMode = TScreenShotMode::smStretched;
  saved.TimerInterval = 5999;  // whole seconds, rounded down
  saved.Play = false;
  saved.ShowName = false;
  SaveSettings(cat, saved);
  EXPECT_NE(emu.Settings().find("Original=0\r\nScaled=0\r\nStretched=1\r\nTimer=5\r\n"),
            std::string::npos);

  TWindowState window;  // design-time state
  const TCatalogue back = Read(window);
  EXPECT_EQ(back.AltRomPath, "roms/");
  EXPECT_EQ(back.LastGameListPos, 7);
  ASSERT_EQ(back.Games.size(), 2u);
  EXPECT_EQ(back.Games[0].Resolution.view(), "320x240");
  EXPECT_FALSE(back.Games[0].Sound);
  EXPECT_EQ(back.Games[1].CurrentSS, 3);
  EXPECT_FALSE(back.Games[1].UseDefSettings);
  EXPECT_TRUE(back.Games[1].FrameSkip);
  EXPECT_TRUE(back.Games[1].Sound);
  EXPECT_EQ(window.View, TViewFilter::vfUnInstalled);
  EXPECT_FALSE(window.StatBar);
  EXPECT_TRUE(window.TabSheet);
  EXPECT_EQ(window.GLPWidth, 240);
  EXPECT_EQ(window.State, 2);
  EXPECT_EQ(window.Width, 812);
  EXPECT_EQ(window.Height, 533);
  EXPECT_EQ(window.ScreenShotMode, TScreenShotMode::smStretched);
  EXPECT_EQ(window.TimerInterval, 5000);
  EXPECT_FALSE(window.Play);
  EXPECT_FALSE(window.ShowName);
  EXPECT_TRUE(window.ShowControls);
}

TEST(SettingsFile, MissingOrEmptyStartSectionGivesFirstRunCatalogueAndKeepsWindow) {
  for (const char* text :
       {"", "[StartVELK]\r\n; nothing\r\n\r\n[Game0]\r\nName=X\r\n", "[View]\r\nAll=0\r\n"}) {
    EmulatorDir emu;
    if (*text) emu.Dir.Write("StartVELK.ini", text);
    TWindowState window;
    window.TimerInterval = 1000;
    window.GLPWidth = 99;
    const TCatalogue cat = Read(window);
    ASSERT_EQ(cat.Games.size(), 1u) << text;
    EXPECT_EQ(cat.Games[0].Name.view(), "Default");
    EXPECT_TRUE(cat.Games[0].Sound);  // initial defaults, not the file's read defaults
    EXPECT_EQ(window.View, TViewFilter::vfAll);
    EXPECT_EQ(window.TimerInterval, 1000);
    EXPECT_EQ(window.GLPWidth, 99);
    EXPECT_FALSE(window.Play);
  }
}

TEST(SettingsFile, HandEditedSectionsAndValues) {
  EmulatorDir emu;
  emu.Dir.Write("StartVELK.ini",
                StartSection("3", "AltRomPath=roms\r\n") +
                    "[view]\r\nINSTALLED=1\r\nUnInstalled=0\r\nAll=0\r\nStatBar=nonsense\r\n"
                    "TabSheet=0\r\n[Window]\r\nWidth=wide\r\nGLPWidth=300\r\n[Screenshot]\r\n"
                    "Original=1\r\nScaled=1\r\n" +
                    Game0 +
                    "[Game1]\r\nName=Mr. X\r\nZipName=mrx\r\nCurrentSS=x\r\nUseDefSettings=1\r\n"
                    "Vsync=1\r\nSound=0\r\nResolution=1024x768\r\n");  // Game2 missing
  TWindowState window;
  TCatalogue cat = Read(window);
  EXPECT_EQ(cat.AltRomPath, std::string("roms") + platform::PathDelim);
  EXPECT_EQ(window.View, TViewFilter::vfInstalled);
  EXPECT_TRUE(window.StatBar);  // garbage takes the default
  EXPECT_FALSE(window.TabSheet);
  EXPECT_EQ(window.GLPWidth, 185);  // not read while the page control is hidden
  EXPECT_EQ(window.Width, 600);
  EXPECT_EQ(window.ScreenShotMode, TScreenShotMode::smScaled);  // the last true one wins
  EXPECT_EQ(window.TimerInterval, 2000);
  EXPECT_TRUE(window.Play);
  ASSERT_EQ(cat.Games.size(), 3u);
  const TGameRecord& game = cat.Games[1];
  EXPECT_EQ(game.CurrentSS, 0);
  // Extra settings keys of a default-settings game are ignored: it has entry 0's settings.
  EXPECT_FALSE(game.Vsync);
  EXPECT_TRUE(game.Sound);
  EXPECT_EQ(game.Resolution.view(), "640x480");
  EXPECT_TRUE(game.FrameSkip);
  const TGameRecord& missing = cat.Games[2];
  EXPECT_EQ(missing.Name.view(), "error");
  EXPECT_EQ(missing.ZipName.view(), "error");
  EXPECT_EQ(missing.Resolution.view(), "640x480");

  SaveSettings(cat, window);
  const std::string saved = emu.Settings();
  EXPECT_NE(saved.find(GameSectionText(1, "Mr. X", "mrx")), std::string::npos);
  EXPECT_EQ(saved.find("1024x768"), std::string::npos);
}

TEST(SettingsFile, RadioGroupsAppliedOneByOne) {
  struct Case {
    const char* keys;
    TViewFilter view;
  } cases[] = {
      {"Installed=0\r\nUnInstalled=0\r\nAll=0\r\n", TViewFilter::vfNone},
      {"Installed=1\r\nUnInstalled=1\r\nAll=0\r\n", TViewFilter::vfUnInstalled},
      {"Installed=1\r\nAll=1\r\n", TViewFilter::vfAll},
      {"Installed=1\r\n", TViewFilter::vfAll},  // All defaults to true
  };
  for (const Case& c : cases) {
    EmulatorDir emu;
    emu.Dir.Write("StartVELK.ini", StartSection("1") + "[View]\r\n" + c.keys +
                                       "[Screenshot]\r\nOriginal=0\r\nScaled=0\r\nStretched=0\r\n");
    TWindowState window;
    Read(window);
    EXPECT_EQ(window.View, c.view) << c.keys;
    EXPECT_EQ(window.ScreenShotMode, TScreenShotMode::smNone);
  }
}

TEST(SettingsFile, GameSectionFieldsAreCutAndUseTheirReadDefaults) {
  const TIniFile ini(
      "[Game0]\r\nName=Default\r\n"
      "[Game4]\r\nName=A name that is much longer than thirty bytes\r\nZipName=longzipname\r\n"
      "UseDefSettings=0\r\nResolution=1280x1024x32\r\n");
  TGameRecord entry0;
  InitGameRecord(entry0);
  entry0.FrameSkip = true;
  const TGameRecord zero = ReadGameSection(ini, 0, entry0);
  EXPECT_EQ(zero.ZipName.view(), "error");
  EXPECT_FALSE(zero.Sound);      // the read default
  EXPECT_FALSE(zero.FrameSkip);  // entry 0 does not copy anything
  const TGameRecord four = ReadGameSection(ini, 4, entry0);
  EXPECT_EQ(four.Name.view(), "A name that is much longer tha");
  EXPECT_EQ(four.ZipName.view(), "longzipn");
  EXPECT_EQ(four.Resolution.view(), "1280x102");
  EXPECT_TRUE(four.Vsync);
  EXPECT_FALSE(four.Sound);
  EXPECT_FALSE(four.FrameSkip);
}

TEST(SettingsFile, HostileCountsTimersAndStates) {
  struct Case {
    const char* numOfGames;
    const char* state;
    const char* timer;
    std::size_t games;
    std::int32_t expectState;
    std::int32_t expectInterval;
  } cases[] = {
      {"0", "3", "-1", 1, 0, 2000},
      {"-5", "-1", "2147484", 1, 0, 2000},
      {"2147483647", "2", "2147483", 3 + MaxMissingGameSections, 2, 2147483000},
      {"x", "1", "0", 1, 1, 0},
  };
  for (const Case& c : cases) {
    EmulatorDir emu;
    emu.Dir.Write("StartVELK.ini", StartSection(c.numOfGames) + "[Window]\r\nState=" + c.state +
                                       "\r\n[Screenshot]\r\nTimer=" + c.timer + "\r\n" + Game0 +
                                       GameSectionText(1, "Mr. X", "mrx") +
                                       GameSectionText(2000000000, "Far", "far"));
    TWindowState window;
    const TCatalogue cat = Read(window);
    EXPECT_EQ(cat.Games.size(), c.games) << c.numOfGames;
    EXPECT_EQ(cat.Games[0].Resolution.view(), "640x480");  // entry 0 is always read
    EXPECT_EQ(window.State, c.expectState) << c.state;
    EXPECT_EQ(window.TimerInterval, c.expectInterval) << c.timer;
  }
}

TEST(SettingsFile, FailedWriteKeepsTheOldFileAndSaysWhy) {
  EmulatorDir emu;
  emu.Dir.Write("StartVELK.ini", "old contents\r\n");
  // A file-size limit makes every write past it fail, for root as for any user.
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string what;
  try {
    SaveSettings(OneGameCatalogue(), SavedDefaults());
  } catch (const ESettingsFile& e) {
    what = e.what();
  }
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_NE(what.find("StartVELK.ini"), std::string::npos) << what;
  EXPECT_EQ(emu.Settings(), "old contents\r\n");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(emu.Dir.Path())) ++entries;
  EXPECT_EQ(entries, 2);  // no temporary file left behind
}

TEST(SettingsFile, UnreadableFileIsAnErrorNotAFirstStart) {
  EmulatorDir emu;
  emu.Dir.MakeDir("StartVELK.ini");
  TWindowState window;
  EXPECT_THROW(Read(window), ESettingsFile);
}

// The reading ahead gives what the load's own reading gives, its error included, once, and only
// for the folder it read.
TEST(SettingsFile, ReadAheadGivesTheLoadsReadingAndItsErrorOnce) {
  EmulatorDir emu;
  TCatalogue cat = OneGameCatalogue();
  cat.AltRomPath = "roms/";
  cat.LastGameListPos = 1;
  TWindowState saved = SavedDefaults();
  saved.Width = 700;
  SaveSettings(cat, saved);
  TSettingsAhead ahead("");
  TCatalogue back;
  TNewGames newGames;
  TWindowState window;
  back.GameDir = "elsewhere";
  EXPECT_FALSE(ahead.Take(back, newGames, window));
  back.GameDir.clear();
  ASSERT_TRUE(ahead.Take(back, newGames, window));
  ASSERT_EQ(back.Games.size(), 2u);
  EXPECT_EQ(back.Games[1].ZipName.view(), "spcrcr2");
  EXPECT_EQ(back.AltRomPath, "roms/");
  EXPECT_EQ(back.LastGameListPos, 1);
  EXPECT_EQ(window.Width, 700);
  EXPECT_FALSE(ahead.Take(back, newGames, window));
  TSettingsAhead discarded("");
  discarded.Discard();
  EXPECT_FALSE(discarded.Take(back, newGames, window));

  fs::remove("StartVELK.ini");
  emu.Dir.MakeDir("StartVELK.ini");
  TSettingsAhead unreadable("");
  EXPECT_THROW(unreadable.Take(back, newGames, window), ESettingsFile);
}

TEST(SettingsFile, FoundAndReplacedInAnyLetterCase) {
  EmulatorDir emu;
  emu.Dir.Write("startvelk.INI", StartSection("1", "AltRomPath=zips/\r\n") + Game0);
  TWindowState window;
  TCatalogue cat = Read(window);
  EXPECT_EQ(cat.AltRomPath, "zips/");
  SaveSettings(cat, window);
  EXPECT_FALSE(fs::exists(emu.Dir.Path() / "StartVELK.ini"));
  EXPECT_NE(ReadFileBytes(emu.Dir.Path() / "startvelk.INI").find("AltRomPath=zips/"),
            std::string::npos);
}

TEST(EmuExeDate, TextRoundTripsAtTwoSecondPrecision) {
  const std::time_t odd = EmulatorDir::EmuDate + 1;
  EXPECT_EQ(FormatEmuExeDate(odd), FormatEmuExeDate(EmulatorDir::EmuDate));
  const auto back = ParseEmuExeDate(FormatEmuExeDate(EmulatorDir::EmuDate));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, EmulatorDir::EmuDate);
  EXPECT_EQ(FormatEmuExeDate(EmulatorDir::EmuDate).size(), 19u);
  for (const char* bad :
       {"", "0", "2023-02-30 10:00:00", "2023-13-01 10:00:00", "2023-01-01 24:00:00",
        "2023-01-01T10:00:00", "2023-01-01 10:00", "01.01.2023 10:00:00", "2023-01-01 10:00:00x"})
    EXPECT_FALSE(ParseEmuExeDate(bad)) << bad;
}

TEST(EmuExeDate, MatchesOnlyTheSameFileDate) {
  EmulatorDir emu;
  const std::string stored = FormatEmuExeDate(EmulatorDir::EmuDate);
  EXPECT_TRUE(EmuExeDateMatches(stored, "velk.exe"));
  EXPECT_TRUE(EmuExeDateMatches(stored, "VELK.EXE"));
  emu.WriteEmulator(EmulatorDir::EmuDate + 1);  // the same at file-date precision
  EXPECT_TRUE(EmuExeDateMatches(stored, "velk.exe"));
  emu.WriteEmulator(EmulatorDir::EmuDate + 2);
  EXPECT_FALSE(EmuExeDateMatches(stored, "velk.exe"));
  EXPECT_FALSE(EmuExeDateMatches("garbage", "velk.exe"));
  EXPECT_FALSE(EmuExeDateMatches(stored, "absent.exe"));
  EXPECT_EQ(EmuExeDateOf("absent.exe"), "");

  // Saved without a readable emulator: written empty, so the next start rescans.
  fs::remove(emu.Dir.Path() / "velk.exe");
  SaveSettings(OneGameCatalogue(), SavedDefaults());
  EXPECT_NE(emu.Settings().find("EmuExeDate=\r\n"), std::string::npos);
}
