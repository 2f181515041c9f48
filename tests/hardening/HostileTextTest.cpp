// Readmes and settings files that no emulator ships but anyone can hand a user.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "EmulatorDir.h"
#include "catalogue/EmuExeDate.h"
#include "catalogue/IniFile.h"
#include "catalogue/NewGames.h"
#include "catalogue/ReadmeGamesList.h"
#include "catalogue/SettingsFile.h"

namespace {

TCatalogue ReadmeCatalogue(const std::string& text, std::initializer_list<const char*> dirs) {
  TNewGames newGames;
  for (const char* d : dirs) newGames.Add(d);
  TCatalogue cat;
  InitGameRecord(cat.Games.emplace_back());
  ParseReadmeGamesList(cat, newGames, text);
  return cat;
}

TCatalogue ReadSettingsText(const std::string& text, TWindowState& window) {
  EmulatorDir emu;
  emu.Dir.Write("StartVELK.ini", text);
  TCatalogue cat;
  TNewGames newGames;
  ReadSettings(cat, newGames, window);
  return cat;
}

std::string Start(const std::string& numOfGames) {
  return "[StartVELK]\r\nNumOfGames=" + numOfGames +
         "\r\nEmuExeDate=" + FormatEmuExeDate(EmulatorDir::EmuDate) + "\r\n\r\n";
}

}  // namespace

TEST(HostileReadme, AMillionLinesAreReadToTheEndOnce) {
  std::string text = "VELK\r\ngameslist:\r\n";
  text.reserve(14 * 1000000);
  for (int i = 0; i < 1000000; ++i) text += "Filler game f" + std::to_string(i % 10) + "\r\n";
  text += "Last One   last\r\n";
  const TCatalogue cat = ReadmeCatalogue(text, {"f3", "last", "absent"});
  ASSERT_EQ(cat.Games.size(), 3u);
  EXPECT_EQ(cat.Games[1].ZipName, "f3");  // the first of 100,000 lines naming it
  EXPECT_EQ(cat.Games[2].ZipName, "last");
  EXPECT_EQ(cat.Games[2].Name, "Last One");
}

TEST(HostileReadme, NoLineBreakAtAll) {
  // Sixteen megabytes of one line: the marker line is no game, and nothing follows it.
  const std::string words(16 << 20, 'x');
  EXPECT_EQ(ReadmeCatalogue(words + " gameslist: pacrcr", {"pacrcr"}).Games.size(), 1u);
  EXPECT_EQ(ReadmeCatalogue(words, {"pacrcr"}).Games.size(), 1u);
  // A huge game line is cut to the record's fields.
  const TCatalogue cat = ReadmeCatalogue("gameslist:\n" + words + " pacrcr", {"pacrcr"});
  ASSERT_EQ(cat.Games.size(), 2u);
  EXPECT_EQ(cat.Games[1].Name.size(), 30u);
  // Control characters count as blanks; bytes that are no text are kept as they are.
  const TCatalogue binary = ReadmeCatalogue(
      std::string("gameslist:\n\0\x01\xff\x80 pac\0\n\xff\xfe\n", 23), {"pac", "\xff\xfe"});
  ASSERT_EQ(binary.Games.size(), 3u);
  EXPECT_EQ(binary.Games[1].Name, "\xff\x80");
  EXPECT_EQ(binary.Games[2].ZipName, "\xff\xfe");
}

TEST(HostileReadme, AReadmeThatNeverEndsIsNotReadAtAll) {
  EmulatorDir emu;
  std::filesystem::create_symlink("/dev/zero", emu.Dir.Path() / "readme.txt");
  TNewGames newGames;
  newGames.Add("pacrcr");
  TCatalogue cat;
  InitGameRecord(cat.Games.emplace_back());
  ReadReadmeGamesList(cat, newGames);  // returns after 64 MiB instead of filling the memory
  EXPECT_EQ(cat.Games.size(), 1u);
  EXPECT_EQ(newGames.Count(), 1u);
}

TEST(HostileSettings, ASettingsFileThatNeverEndsIsRefusedAndKept) {
  EmulatorDir emu;
  std::filesystem::create_symlink("/dev/zero", emu.Dir.Path() / "StartVELK.ini");
  TCatalogue cat;
  TNewGames newGames;
  TWindowState window;
  EXPECT_THROW(ReadSettings(cat, newGames, window), ESettingsFile);
  EXPECT_TRUE(std::filesystem::is_symlink(emu.Dir.Path() / "StartVELK.ini"));
}

TEST(HostileSettings, HugeAndNegativeNumbersFallBackToTheirDefaults) {
  EXPECT_FALSE(ParseInt32("2147483648"));
  EXPECT_FALSE(ParseInt32("-2147483649"));
  EXPECT_FALSE(ParseInt32("99999999999999999999999999999999"));
  EXPECT_FALSE(ParseInt32("0x10"));
  EXPECT_FALSE(ParseInt32("--1"));
  EXPECT_EQ(ParseInt32("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseInt32(" +2147483647 "), INT32_MAX);
  EXPECT_EQ(ParseInt32(std::string(100000, '0') + "7"), 7);

  TWindowState window;
  const TCatalogue cat = ReadSettingsText(
      Start("99999999999999999999") +
          "[Window]\r\nWidth=2147483648\r\nHeight=-2147483649\r\nLGLPos=-7\r\n"
          "[Screenshot]\r\nTimer=-2147483648\r\n"
          "[Game0]\r\nName=Default\r\nZipName=Default\r\nCurrentSS=-99999999999\r\n\r\n" +
          GameSectionText(1, "X", "x", -5),
      window);
  EXPECT_EQ(cat.Games.size(), 1u);  // a count that is no number is 0: entry 0 only
  EXPECT_EQ(window.Width, 600);
  EXPECT_EQ(window.Height, 400);
  EXPECT_EQ(window.TimerInterval, 2000);
  EXPECT_EQ(cat.LastGameListPos, -7);  // negative positions are the list's to refuse
  EXPECT_EQ(cat.Games[0].CurrentSS, 0);

  const TCatalogue negative = ReadSettingsText(Start("-2147483648"), window);
  EXPECT_EQ(negative.Games.size(), 1u);
}

TEST(HostileSettings, VeryLongLinesAreCutOrIgnored) {
  const std::string huge(8 << 20, 'n');
  TWindowState window;
  const TCatalogue cat = ReadSettingsText(
      Start("2") + huge + "\r\n[" + huge + "]\r\n" + huge + "=" + huge + "\r\n" +
          GameSectionText(0, "Default", "Default") + GameSectionText(1, huge, huge, 3) +
          "[Game1]\r\nResolution=" + huge + "\r\n",
      window);
  ASSERT_EQ(cat.Games.size(), 2u);
  EXPECT_EQ(cat.Games[1].Name.size(), 30u);
  EXPECT_EQ(cat.Games[1].ZipName.size(), 8u);
  EXPECT_EQ(cat.Games[1].CurrentSS, 3);
}

TEST(HostileSettings, ManyKeysAndSectionsStayLinear) {
  // 200,000 sections named like games, all promised: bounded by what the file holds.
  std::string text = Start("2147483647");
  for (int i = 1; i <= 200000; ++i) text += "[Game" + std::to_string(i) + "]\nZipName=g\n";
  TWindowState window;
  const TCatalogue cat = ReadSettingsText(text, window);
  EXPECT_EQ(cat.Games.size(), 200001u + MaxMissingGameSections);
  EXPECT_EQ(cat.Games[200000].ZipName, "g");
  EXPECT_EQ(cat.Games[200001].ZipName, "error");
}
