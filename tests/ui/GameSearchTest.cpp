// The search field's matching rule: letter case, accents and blanks.
#include <gtest/gtest.h>

#include <QString>
#include <algorithm>
#include <vector>

#include "ui/GameListView.h"
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

// The list's order: what a stable sort by Qt's case folding gives, ASCII or not, ties in order;
// for an all-ASCII list too, whose keys take one byte a letter.
TEST(GameListOrder, SortsAsCaseFoldedTextsCompare) {
  const std::vector<const char*> mixed = {"pac",
                                          "\xc3\x89t\xc3\xa9",
                                          "Pac",
                                          "zz",
                                          "PAC-2",
                                          "\xc3\xa9t\xc3\xa9",
                                          "Pac",
                                          "a",
                                          "\xc3\x9f",
                                          "ss",
                                          "SS",
                                          "\xf0\x9f\x8e\xae",
                                          "\xef\xbc\xa1",
                                          "",
                                          "space racer 10",
                                          "Space Racer 1",
                                          "SPACE RACER 100",
                                          "space racer",
                                          "Space Racer 2"};
  const std::vector<const char*> ascii(mixed.begin() + 14, mixed.end());
  for (const auto& names : {mixed, ascii}) {
    TGameRows rows;
    std::vector<std::pair<QString, int>> expected;
    for (int i = 0; i < static_cast<int>(names.size()); ++i) {
      rows.Add(std::string_view(names[i]), i, true);
      expected.push_back({QString::fromUtf8(names[i]), i});
    }
    std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
      return a.first.toCaseFolded() < b.first.toCaseFolded();
    });
    rows.SortByName();
    ASSERT_EQ(rows.Size(), expected.size());
    for (std::size_t i = 0; i < rows.Size(); ++i) {
      EXPECT_EQ(rows.Index(i), expected[i].second) << i;
      EXPECT_EQ(rows.Text(i), expected[i].first) << i;
    }
  }
}

}  // namespace
