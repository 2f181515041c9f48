#include <gtest/gtest.h>

#include "EmulatorDir.h"
#include "catalogue/Catalogue.h"
#include "catalogue/NewGames.h"
#include "catalogue/ReadmeGamesList.h"

namespace {

TNewGames Names(std::initializer_list<const char*> names) {
  TNewGames list;
  for (const char* n : names) list.Add(n);
  return list;
}

TCatalogue WithEntryZero() {
  TCatalogue cat;
  InitGameRecord(cat.Games.emplace_back());
  return cat;
}

}  // namespace

TEST(CapitalizeName, WordStartsApostrophesAndTheFirstRomanTwo) {
  EXPECT_EQ(CapitalizeName(""), "");
  EXPECT_EQ(CapitalizeName("SPACE RACER II"), "Space Racer II");
  EXPECT_EQ(CapitalizeName("MR. X"), "Mr. X");
  EXPECT_EQ(CapitalizeName("don't stop"), "Don't Stop");
  EXPECT_EQ(CapitalizeName("2020 war"), "2020 War");
  EXPECT_EQ(CapitalizeName("x-ray"), "X-Ray");
  EXPECT_EQ(CapitalizeName("robo-x iii"), "Robo-X IIi");
  EXPECT_EQ(CapitalizeName("ii and ii"), "II And Ii");  // only the first occurrence
  EXPECT_EQ(CapitalizeName("caf\xC3\xA9 bar"), "Caf\xC3\xA9 Bar");
  EXPECT_EQ(CapitalizeName("\xC3\xA9t\xC3\xA9"), "\xC3\xA9T\xC3\xA9");  // non-ASCII starts a word
}

TEST(NewGames, CaseInsensitiveLookUpInInsertionOrder) {
  TNewGames list = Names({"zeta", "Alpha", "beta"});
  EXPECT_EQ(list.Count(), 3u);
  EXPECT_TRUE(list.Contains("ALPHA"));
  EXPECT_EQ(list.First(), "zeta");
  EXPECT_TRUE(list.Remove("ZETA"));
  EXPECT_FALSE(list.Remove("zeta"));
  EXPECT_EQ(list.First(), "Alpha");
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"Alpha", "beta"}));
  // Two case variants: each removal takes the older one.
  list.Add("BETA");
  EXPECT_TRUE(list.Remove("Beta"));
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"Alpha", "BETA"}));
}

TEST(ReadReadmeGamesList, PlainAndBarredLinesGiveTheSameEntryInReadmeOrder) {
  EmulatorDir emu;
  emu.WriteReadme({"Space Racer II    spcrcr2", "  MR. X | mrx  ", "Unwanted game   other", "",
                   "a note without list", "ROBO-X III|roboxiii"});
  TCatalogue cat = WithEntryZero();
  TNewGames wanted = Names({"roboxiii", "mrx", "spcrcr2", "gone"});
  ReadReadmeGamesList(cat, wanted);
  ASSERT_EQ(cat.Games.size(), 4u);
  EXPECT_EQ(cat.Games[1].Name.view(), "Space Racer II");
  EXPECT_EQ(cat.Games[1].ZipName.view(), "spcrcr2");
  EXPECT_EQ(cat.Games[2].Name.view(), "Mr. X");
  EXPECT_EQ(cat.Games[2].ZipName.view(), "mrx");
  EXPECT_EQ(cat.Games[3].Name.view(), "Robo-X IIi");
  EXPECT_EQ(cat.Games[3].ZipName.view(), "roboxiii");  // cut to 8
  // New entries carry the initial defaults, Sound on.
  EXPECT_TRUE(cat.Games[1].UseDefSettings);
  EXPECT_TRUE(cat.Games[1].Sound);
  EXPECT_EQ(cat.Games[1].Resolution.view(), "Default");
  EXPECT_EQ(wanted.Names(), std::vector<std::string>{"gone"});
}

TEST(ReadReadmeGamesList, CapitalsInReadmeMatchSmallDirectoryAndAreKept) {
  EmulatorDir emu;
  emu.WriteReadme({"Space Racer II SPCRCR2", "Space Racer Again spcrcr2"});
  TCatalogue cat = WithEntryZero();
  TNewGames wanted = Names({"spcrcr2"});
  ReadReadmeGamesList(cat, wanted);
  ASSERT_EQ(cat.Games.size(), 2u);
  EXPECT_EQ(cat.Games[1].ZipName.view(), "SPCRCR2");
  EXPECT_TRUE(wanted.Empty());
}

TEST(ReadReadmeGamesList, LothIsReadAsLohtButLothInCapitalsIsNot) {
  EmulatorDir emu;
  emu.WriteReadme({"Land of the Hunter loth", "Other Land Loth"});
  TCatalogue cat = WithEntryZero();
  TNewGames wanted = Names({"loht", "Loth"});
  ReadReadmeGamesList(cat, wanted);
  ASSERT_EQ(cat.Games.size(), 3u);
  EXPECT_EQ(cat.Games[1].ZipName.view(), "loht");
  EXPECT_EQ(cat.Games[2].ZipName.view(), "Loth");
  EXPECT_EQ(cat.Games[2].Name.view(), "Other Land");
}

TEST(ReadReadmeGamesList, LongNamesAreCutAndSingleWordsHaveNoDisplayName) {
  EmulatorDir emu;
  emu.WriteReadme({"the quite extraordinarily long game title of all  longshortname", "solo"});
  TCatalogue cat = WithEntryZero();
  TNewGames wanted = Names({"longshortname", "SOLO"});
  ReadReadmeGamesList(cat, wanted);
  ASSERT_EQ(cat.Games.size(), 3u);
  EXPECT_EQ(cat.Games[1].Name.view(), "The Quite Extraordinarily Long");
  EXPECT_EQ(cat.Games[1].ZipName.view(), "longshor");
  EXPECT_EQ(cat.Games[2].Name.view(), "");
  EXPECT_EQ(cat.Games[2].ZipName.view(), "solo");
}

TEST(ReadReadmeGamesList, MarkerLineIsNotAGameAndListNeedsTheMarker) {
  EmulatorDir emu;
  emu.Dir.Write("readme.txt", "intro mrx\r\ngameslist: mrx\r\n");
  TCatalogue cat = WithEntryZero();
  TNewGames wanted = Names({"mrx"});
  ReadReadmeGamesList(cat, wanted);
  EXPECT_EQ(cat.Games.size(), 1u);
  EXPECT_EQ(wanted.Count(), 1u);

  emu.Dir.Write("readme.txt", "no list here\r\nMr X mrx\r\nGamesList:\r\nMr X mrx\r\n");
  ReadReadmeGamesList(cat, wanted);  // the marker's letter case matters
  EXPECT_EQ(cat.Games.size(), 1u);
}

TEST(ReadReadmeGamesList, ADuplicateNameTakesTheFirstLine) {
  EmulatorDir emu;
  emu.WriteReadme({"Mr X mrx", "Second mrx"});
  TCatalogue cat = WithEntryZero();
  TNewGames wanted = Names({"mrx"});
  ReadReadmeGamesList(cat, wanted);
  ASSERT_EQ(cat.Games.size(), 2u);
  EXPECT_EQ(cat.Games[1].Name.view(), "Mr X");
}

TEST(ReadReadmeGamesList, ReadmeFoundIgnoringCaseAndMissingReadmeAddsNothing) {
  EmulatorDir emu;
  TCatalogue cat = WithEntryZero();
  TNewGames wanted = Names({"mrx"});
  ReadReadmeGamesList(cat, wanted);
  EXPECT_EQ(cat.Games.size(), 1u);
  EXPECT_EQ(wanted.Count(), 1u);

  emu.WriteReadme({"Mr X mrx"}, "README.TXT");
  ReadReadmeGamesList(cat, wanted);
  EXPECT_EQ(cat.Games.size(), 2u);
}
