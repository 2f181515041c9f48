#include <gtest/gtest.h>

#include "catalogue/IniFile.h"

TEST(IniFile, NamesIgnoreCaseAndValueIsTextAfterFirstEquals) {
  const TIniFile ini(
      "; a comment\r\n"
      "[StartVELK]\r\n"
      "AltRomPath=C:\\roms=old\\\r\n"
      "\r\n"
      "  [ window ]  \n"  // LF only and blanks around the name
      "Width = 800\n"
      ";Height=1\n"
      "noequals\n"
      "[window]\n"  // a repeated section adds to the first
      "Height=300\n"
      "Width=1\n");
  EXPECT_TRUE(ini.SectionExists("startvelk"));
  EXPECT_EQ(ini.ReadString("STARTVELK", "altrompath", ""), "C:\\roms=old\\");
  EXPECT_EQ(ini.ReadInteger("Window", "WIDTH", 0), 800);  // the first key wins
  EXPECT_EQ(ini.ReadInteger("Window", "Height", 0), 300);
  EXPECT_FALSE(ini.Value("Window", "noequals"));
  EXPECT_EQ(ini.SectionNames().size(), 2u);
  EXPECT_FALSE(ini.SectionExists("View"));
  // Keys of a section that comes back after another join its first keys.
  const TIniFile split("[A]\nx=1\n[B]\nx=2\n[a]\ny=3\nx=4\n[b]\n[B]\ny=5\n");
  EXPECT_EQ(split.ReadInteger("A", "x", 0), 1);
  EXPECT_EQ(split.ReadInteger("A", "y", 0), 3);
  EXPECT_EQ(split.ReadInteger("b", "x", 0), 2);
  EXPECT_EQ(split.ReadInteger("B", "y", 0), 5);
  EXPECT_EQ(split.SectionNames(), (std::vector<std::string_view>{"A", "B"}));
  // A header on the last line, without a line break after it, opens an empty section.
  const TIniFile last("[A]\r\nx=1\r\n[B]");
  EXPECT_EQ(last.ReadInteger("A", "x", 0), 1);
  EXPECT_TRUE(last.SectionExists("B"));
  EXPECT_FALSE(last.SectionHasEntries("B"));
  EXPECT_FALSE(TIniFile("[A]").SectionHasEntries("A"));
  EXPECT_EQ(ini.ReadString("View", "All", "dflt"), "dflt");
}

TEST(IniFile, StringValuesKeepTheirBlanks) {
  const TIniFile ini("[Game1]\r\nName= Space  Racer \r\n");
  EXPECT_EQ(ini.ReadString("Game1", "Name", ""), " Space  Racer ");
}

TEST(IniFile, ByteOrderMarkBeforeTheFirstSectionIsSkipped) {
  const TIniFile ini("\xEF\xBB\xBF[StartVELK]\r\nNumOfGames=3\r\n");
  EXPECT_EQ(ini.ReadInteger("StartVELK", "NumOfGames", 0), 3);
}

TEST(IniFile, EmptySectionHasNoEntries) {
  const TIniFile ini("[StartVELK]\r\n; nothing\r\n\r\n[View]\r\nAll=1\r\n");
  EXPECT_TRUE(ini.SectionExists("StartVELK"));
  EXPECT_FALSE(ini.SectionHasEntries("StartVELK"));
  EXPECT_TRUE(ini.SectionHasEntries("View"));
}

TEST(IniFile, TypedReadsFallBackOnGarbage) {
  const TIniFile ini(
      "[S]\nA=12\nB= -7 \nC=abc\nD=12x\nE=2147483647\nF=2147483648\nG=-2147483648\n"
      "H=-2147483649\nI=\nJ=+5\nK=--1\nL=+-1\nT=1\nU=0\nV=5\nW=yes\n");
  EXPECT_EQ(ini.ReadInteger("S", "A", 0), 12);
  EXPECT_EQ(ini.ReadInteger("S", "B", 0), -7);
  EXPECT_EQ(ini.ReadInteger("S", "C", 42), 42);
  EXPECT_EQ(ini.ReadInteger("S", "D", 42), 42);
  EXPECT_EQ(ini.ReadInteger("S", "E", 0), 2147483647);
  EXPECT_EQ(ini.ReadInteger("S", "F", 42), 42);
  EXPECT_EQ(ini.ReadInteger("S", "G", 0), INT32_MIN);
  EXPECT_EQ(ini.ReadInteger("S", "H", 42), 42);
  EXPECT_EQ(ini.ReadInteger("S", "I", 42), 42);
  EXPECT_EQ(ini.ReadInteger("S", "J", 0), 5);
  EXPECT_EQ(ini.ReadInteger("S", "K", 42), 42);
  EXPECT_EQ(ini.ReadInteger("S", "L", 42), 42);
  EXPECT_TRUE(ini.ReadBool("S", "T", false));
  EXPECT_FALSE(ini.ReadBool("S", "U", true));
  EXPECT_TRUE(ini.ReadBool("S", "V", false));
  EXPECT_FALSE(ini.ReadBool("S", "W", false));
  EXPECT_TRUE(ini.ReadBool("S", "W", true));
  EXPECT_TRUE(ini.ReadBool("S", "missing", true));
}

TEST(IniWriter, CrlfLinesAndOneEmptyLineAfterEachSection) {
  TIniWriter w;
  EXPECT_EQ(w.Text(), "");
  w.Section("A");
  w.WriteString("Key", "some value");
  w.WriteInteger("N", -12);
  w.Section("B");
  w.WriteBool("T", true);
  w.WriteBool("F", false);
  EXPECT_EQ(w.Text(), "[A]\r\nKey=some value\r\nN=-12\r\n\r\n[B]\r\nT=1\r\nF=0\r\n\r\n");
  const TIniFile back(w.Text());
  EXPECT_EQ(back.ReadString("A", "Key", ""), "some value");
  EXPECT_EQ(back.ReadInteger("A", "N", 0), -12);
}

TEST(IniFile, SectionReaderFindsKeysPastTheFirstOnesAndTheFirstOfARepeat) {
  std::string text = "[Game1]\r\n";
  for (int i = 0; i < 20; ++i) text += "Key" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
  text += "key3=later\r\n[Other]\r\nKey19=other\r\n[GAME1]\r\nExtra=more\r\n";
  const TIniFile ini(text);
  const TIniFile::TSectionReader game = ini.Section("game1");
  EXPECT_EQ(game.ReadInteger("KEY3", -1), 3);
  EXPECT_EQ(game.ReadInteger("key19", -1), 19);
  EXPECT_EQ(game.ReadString("extra", ""), "more");
  EXPECT_EQ(game.ReadString("missing", "def"), "def");
}
