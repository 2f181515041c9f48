#include <gtest/gtest.h>

#include "catalogue/Catalogue.h"
#include "launch/CommandLine.h"

namespace {

TCatalogue MakeCatalogue(const TGameRecord& game) {
  TCatalogue catalogue;
  catalogue.Games.resize(2);
  InitGameRecord(catalogue.Games[0]);
  catalogue.Games[1] = game;
  catalogue.GameStatus = {0, 1};
  catalogue.CurrentGame = 1;
  return catalogue;
}

TGameRecord Game(bool useDefaults = false) {
  TGameRecord game;
  InitGameRecord(game);
  game.Name = "My Game";
  game.ZipName = "mygame";
  game.UseDefSettings = useDefaults;
  return game;
}

std::string Build(const TCatalogue& catalogue, bool checked = true) {
  std::string line = "stale";
  BuildCommandLine(catalogue, checked, line);
  return line;
}

}  // namespace

TEST(BuildCommandLine, EmptyForUncheckedOrMissingSelection) {
  TCatalogue catalogue = MakeCatalogue(Game());
  EXPECT_EQ(Build(catalogue, false), "");
  catalogue.CurrentGame = -1;
  EXPECT_EQ(Build(catalogue), "");
  catalogue.CurrentGame = 7;  // beyond the catalogue
  EXPECT_EQ(Build(catalogue), "");
}

TEST(BuildCommandLine, WorkedExamples) {
  // The initial defaults: Vsync on, scan lines off, sound on.
  EXPECT_EQ(Build(MakeCatalogue(Game())), "mygame -v -n");

  TGameRecord plain = Game();
  plain.Vsync = false;
  plain.ScanLines = true;
  EXPECT_EQ(Build(MakeCatalogue(plain)), "mygame");

  TGameRecord all = Game();
  all.Vsync = all.RotateScreen = all.AltFMBase = all.Joystick = all.FrameSkip = true;
  all.ScanLines = all.Sound = false;
  all.Resolution = "320x240";
  EXPECT_EQ(Build(MakeCatalogue(all)), "mygame -v -n -d320x240 -r -s -a -j -f");
}

TEST(BuildCommandLine, EachOptionInItsPlace) {
  const struct {
    void (*Set)(TGameRecord&);
    const char* Expected;
  } cases[] = {
      {[](TGameRecord& g) { g.RotateScreen = true; }, "mygame -r"},
      {[](TGameRecord& g) { g.Sound = false; }, "mygame -s"},
      {[](TGameRecord& g) { g.AltFMBase = true; }, "mygame -a"},
      {[](TGameRecord& g) { g.Joystick = true; }, "mygame -j"},
      {[](TGameRecord& g) { g.FrameSkip = true; }, "mygame -f"},
      {[](TGameRecord& g) { g.ScanLines = false; }, "mygame -n"},
      {[](TGameRecord& g) { g.Vsync = true; }, "mygame -v"},
  };
  for (const auto& c : cases) {
    TGameRecord game = Game();
    game.Vsync = false;
    game.ScanLines = true;
    c.Set(game);
    EXPECT_EQ(Build(MakeCatalogue(game)), c.Expected);
  }
}

TEST(BuildCommandLine, ResolutionComparedCaseSensitively) {
  TGameRecord game = Game();
  game.Resolution = "default";
  EXPECT_EQ(Build(MakeCatalogue(game)), "mygame -v -n -ddefault");
  game.Resolution = "";
  EXPECT_EQ(Build(MakeCatalogue(game)), "mygame -v -n -d");
  game.Resolution = "Default";
  EXPECT_EQ(Build(MakeCatalogue(game)), "mygame -v -n");
  game.Resolution = "Defaults";  // eight bytes, not the word itself
  EXPECT_EQ(Build(MakeCatalogue(game)), "mygame -v -n -dDefaults");
}

TEST(BuildCommandLine, DefaultSettingsGiveOptionsButNotTheName) {
  TGameRecord game = Game(true);
  game.Vsync = false;
  game.Joystick = true;
  game.Resolution = "384x256";
  TCatalogue catalogue = MakeCatalogue(game);
  catalogue.Games[0].FrameSkip = true;
  catalogue.Games[0].UseDefSettings = false;  // plays no part
  EXPECT_EQ(Build(catalogue), "mygame -v -n -f");
}

TEST(BuildCommandLine, ReadsTheProgramCatalogue) {
  TCatalogue& catalogue = Catalogue();
  const TCatalogue saved = catalogue;
  catalogue = MakeCatalogue(Game());
  std::string line;
  BuildCommandLine(line, true);
  EXPECT_EQ(line, "mygame -v -n");
  BuildCommandLine(line, false);
  EXPECT_EQ(line, "");
  catalogue = saved;
}
