// The search field's matching rule: letter case, accents and blanks.
#include <gtest/gtest.h>

#include <QString>

#include "ui/GameSearch.h"

namespace {

bool Finds(const char* typed, const char* name) {
  return gamesearch::Matches(gamesearch::FoldName(QString::fromUtf8(name)),
                             gamesearch::FoldSearchText(QString::fromUtf8(typed)));
}

TEST(GameSearch, IgnoresLetterCaseAndFindsAnyPartOfTheName) {
  EXPECT_TRUE(Finds("RACER", "Space Racer II"));
  EXPECT_TRUE(Finds("ce ra", "Space Racer II"));
  EXPECT_TRUE(Finds("", "Space Racer II"));
  EXPECT_FALSE(Finds("racers", "Space Racer II"));
  EXPECT_TRUE(Finds("\xc3\x89T\xc3\x89", "l'\xc3\xa9t\xc3\xa9"));  // ÉTÉ in l'été
}

TEST(GameSearch, IgnoresAccentsOnEitherSide) {
  EXPECT_TRUE(Finds("cafe", "Caf\xc3\xa9 Racer"));   // precomposed é
  EXPECT_TRUE(Finds("cafe", "Cafe\xcc\x81 Racer"));  // e and a combining accent
  EXPECT_TRUE(Finds("caf\xc3\xa9", "CAFE RACER"));
  EXPECT_TRUE(Finds("uber",
                    "\xc3\x9c"
                    "ber Alles"));  // Ü
  EXPECT_FALSE(Finds("cafe", "Caff Racer"));
}

TEST(GameSearch, BlanksCollapseLeadingOnesAreDroppedATrailingOneCounts) {
  EXPECT_TRUE(Finds("space   racer", "Space Racer"));
  EXPECT_TRUE(Finds("space racer", "Space   Racer"));
  EXPECT_TRUE(Finds("space\tracer", "Space Racer"));
  EXPECT_TRUE(Finds("   racer", "Space Racer"));
  EXPECT_TRUE(Finds("   ", "Space Racer"));  // only blanks: nothing to narrow by
  EXPECT_TRUE(Finds("moon ", "Moon Patrol"));
  EXPECT_FALSE(Finds("moon ", "Moonlight"));
  EXPECT_FALSE(Finds("spaceracer", "Space Racer"));
}

}  // namespace
