#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeUserInteraction.h"
#include "TempDir.h"
#include "platform/Unchanged.h"
#include "screenshots/ScreenShot.h"
#include "screenshots/ScreenShotOrder.h"

namespace {

class FakeSlideShow : public TSlideShowControl {
 public:
  bool SlideShowPlaying() const override { return Playing; }
  void PauseSlideShow() override {
    Playing = false;
    Events.push_back("pause");
  }
  void PlaySlideShow() override {
    Playing = true;
    Events.push_back("play");
  }
  bool Playing = false;
  std::vector<std::string> Events;
};

class ScreenShotSetTest : public ::testing::Test {
 protected:
  ScreenShotSetTest() : Set(Cat) {
    Cat.GameDir = Dir.Str();
    for (const char* zip : {"Default", "mygame", "mygame2", "other"}) {
      TGameRecord r;
      InitGameRecord(r);
      r.ZipName = zip;
      Cat.Games.push_back(r);
    }
    Cat.GameStatus.assign(Cat.Games.size(), gsInstalled);
    Cat.CurrentGame = 1;
  }
  void Shot(const std::string& name) { Dir.Write("ScreenShots/" + name, "not decoded here"); }
  TGameRecord& Game() { return Cat.Games[1]; }
  TScreenShotView Showing(const std::string& name) {
    return {true, (Dir.Path() / "ScreenShots" / name).string(), name};
  }

  TempDir Dir;
  TCatalogue Cat;
  TScreenShotSet Set;
  FakeSlideShow SlideShow;
  FakeUserInteraction Ui;
};

TEST(ScreenShotOrderTest, IgnoresCaseAndSortsPunctuationBeforeDigitsBeforeLetters) {
  EXPECT_LT(CompareScreenShotNames("mygame10.jpg", "mygame100.jpg"), 0);
  EXPECT_LT(CompareScreenShotNames("mygame100.jpg", "mygame11.jpg"), 0);
  EXPECT_LT(CompareScreenShotNames("MyGame01.jpg", "mygame02.JPG"), 0);
  EXPECT_LT(CompareScreenShotNames("mygame02.jpg", "MYGAME03.jpg"), 0);
  EXPECT_LT(CompareScreenShotNames("mygame_1.jpg", "mygame01.jpg"), 0);
  EXPECT_LT(CompareScreenShotNames("mygame9.jpg", "mygamea.jpg"), 0);
  // Word sort: a hyphen weighs nothing until the rest is equal.
  EXPECT_LT(CompareScreenShotNames("co-op02.jpg", "coop03.jpg"), 0);
  EXPECT_GT(CompareScreenShotNames("co-op03.jpg", "coop02.jpg"), 0);
  // Names equal but for case are distinct (both files can exist), in a fixed order.
  EXPECT_NE(CompareScreenShotNames("A01.jpg", "a01.jpg"), 0);
  EXPECT_EQ(CompareScreenShotNames("A01.jpg", "a01.jpg"),
            -CompareScreenShotNames("a01.jpg", "A01.jpg"));
  EXPECT_EQ(CompareScreenShotNames("a01.jpg", "a01.jpg"), 0);
  // Accented capitals fold too, whether the names are UTF-8 or Windows-1252 bytes.
  EXPECT_GT(CompareScreenShotNames("\xC3\x89" "cole02.jpg", "\xC3\xA9" "cole01.jpg"), 0);
  EXPECT_LT(CompareScreenShotNames("\xC3\x89" "cole01.jpg", "\xC3\xA9" "cole02.jpg"), 0);
  EXPECT_GT(CompareScreenShotNames("\xC9" "cole02.jpg", "\xE9" "cole01.jpg"), 0);
  EXPECT_LT(CompareScreenShotNames("\xC9" "cole01.jpg", "\xE9" "cole02.jpg"), 0);
}

TEST_F(ScreenShotSetTest, PatternMatchesPrefixCaseAndEveryKindOfEntry) {
  Shot("mygame01.jpg");
  Shot("MYGAME02.JPG");
  Shot("mygame201.jpg");  // the first capture of mygame2 belongs to mygame's set too
  Shot("mygame01.jpeg");
  Shot("other01.jpg");
  Dir.MakeDir("ScreenShots/mygame03.jpg");
  Set.FindScreenShots("mygame");
  EXPECT_EQ(Set.Files(), (std::vector<std::string>{"mygame01.jpg", "MYGAME02.JPG", "mygame03.jpg",
                                                   "mygame201.jpg"}));
  Set.FindScreenShots("mygame2");
  EXPECT_EQ(Set.Files(), std::vector<std::string>{"mygame201.jpg"});
}

// A missing folder is remembered as missing while the emulator folder's stamp vouches for it
// (here always: a clock far ahead); a folder made later moves that stamp.
TEST_F(ScreenShotSetTest, FolderFoundInAnyCaseAndMissingFolderIsEmpty) {
  const platform::TScopedChangeClock settled(
      {[] { return std::int64_t{1} << 62; }, [](const platform::TDirStamp&) { return 1000; }});
  EXPECT_EQ(Set.LoadScreenShots(), TScreenShotView{});
  EXPECT_EQ(Set.Count(), 0);
  Dir.Write("screenshots/mygame01.jpg", "x");
  const TScreenShotView view = Set.LoadScreenShots();
  EXPECT_EQ(view, (TScreenShotView{true, (Dir.Path() / "screenshots" / "mygame01.jpg").string(),
                                   "mygame01.jpg"}));
}

TEST_F(ScreenShotSetTest, HundredAndOneCapturesSortAsTextAndNavigationFollows) {
  for (int n = 1; n <= 101; ++n)
    Shot("mygame" + std::string(n < 10 ? "0" : "") + std::to_string(n) + ".jpg");
  Game().CurrentSS = 9;
  EXPECT_EQ(Set.LoadScreenShots().Name, "mygame10.jpg");
  EXPECT_EQ(Set.Files()[10], "mygame100.jpg");
  EXPECT_EQ(Set.Files()[11], "mygame101.jpg");
  EXPECT_EQ(Set.Files()[12], "mygame11.jpg");
  EXPECT_EQ(Set.NextScreenShot()->Name, "mygame100.jpg");
  EXPECT_EQ(Set.NextScreenShot()->Name, "mygame101.jpg");
  EXPECT_EQ(Set.NextScreenShot()->Name, "mygame11.jpg");
  EXPECT_EQ(Set.PrevScreenShot()->Name, "mygame101.jpg");
}

TEST_F(ScreenShotSetTest, OutOfRangeIndicesBecomeZeroWhenUsed) {
  Shot("mygame01.jpg");
  Shot("mygame02.jpg");
  Shot("mygame03.jpg");
  Game().CurrentSS = 5;
  EXPECT_EQ(Set.LoadScreenShots(), Showing("mygame01.jpg"));
  EXPECT_EQ(Game().CurrentSS, 0);
  Game().CurrentSS = -4;
  EXPECT_EQ(Set.LoadScreenShots(), Showing("mygame01.jpg"));
  EXPECT_EQ(Game().CurrentSS, 0);
  Game().CurrentSS = 7;  // e.g. after a reset, used by Show without a reload
  EXPECT_EQ(Set.ShowScreenShot(), Showing("mygame01.jpg"));
  EXPECT_EQ(Game().CurrentSS, 0);
  Game().CurrentSS = 2;
  EXPECT_EQ(Set.LoadScreenShots(), Showing("mygame03.jpg"));
}

TEST_F(ScreenShotSetTest, NextAndPrevWrapAround) {
  Shot("mygame01.jpg");
  Shot("mygame02.jpg");
  Shot("mygame03.jpg");
  Game().CurrentSS = 2;
  Set.LoadScreenShots();
  EXPECT_EQ(Set.NextScreenShot(), Showing("mygame01.jpg"));
  EXPECT_EQ(Game().CurrentSS, 0);
  EXPECT_EQ(Set.PrevScreenShot(), Showing("mygame03.jpg"));
  EXPECT_EQ(Game().CurrentSS, 2);
  Game().CurrentSS = -3;  // Prev from below the range goes to the last picture
  EXPECT_EQ(Set.PrevScreenShot(), Showing("mygame03.jpg"));
}

TEST_F(ScreenShotSetTest, EmptySetKeepsIndexZero) {
  Game().CurrentSS = 0;
  Set.LoadScreenShots();
  EXPECT_EQ(Set.NextScreenShot(), std::nullopt);  // the screen does not change
  EXPECT_EQ(Game().CurrentSS, 0);
  EXPECT_EQ(Set.PrevScreenShot(), TScreenShotView{});
  EXPECT_EQ(Game().CurrentSS, 0);
}

TEST_F(ScreenShotSetTest, ListedFileThatHasGoneShowsNoScreenshotView) {
  Shot("mygame01.jpg");
  Set.LoadScreenShots();
  std::filesystem::remove(Dir.Path() / "ScreenShots" / "mygame01.jpg");
  EXPECT_EQ(Set.ShowScreenShot(), TScreenShotView{});
  EXPECT_EQ(Set.Count(), 1);  // noticed at the next rebuild only
}

TEST_F(ScreenShotSetTest, DeletingOnlyLastAndMiddlePicture) {
  Shot("mygame01.jpg");
  Shot("mygame02.jpg");
  Shot("mygame03.jpg");
  Game().CurrentSS = 1;
  Set.LoadScreenShots();
  const std::string question(DeleteScreenShotQuestion);
  EXPECT_EQ(question, "Are you sure you want to delete\rthe current Screenshot ?");
  Ui.ExpectMessage(TMsgDlgType::mtConfirmation, question, TModalResult::mrYes);
  EXPECT_EQ(Set.DeleteScreenShot(Ui, SlideShow), Showing("mygame03.jpg"));  // the one that followed
  EXPECT_EQ(Ui.Prompts.back().Buttons, mbYes | mbNo);
  EXPECT_EQ(Game().CurrentSS, 1);
  Ui.ExpectMessage(TMsgDlgType::mtConfirmation, question, TModalResult::mrYes);
  EXPECT_EQ(Set.DeleteScreenShot(Ui, SlideShow), Showing("mygame01.jpg"));  // the last: the first
  EXPECT_EQ(Game().CurrentSS, 0);
  Ui.ExpectMessage(TMsgDlgType::mtConfirmation, question, TModalResult::mrYes);
  EXPECT_EQ(Set.DeleteScreenShot(Ui, SlideShow), TScreenShotView{});  // the only one
  EXPECT_EQ(Game().CurrentSS, 0);
  EXPECT_EQ(Set.Count(), 0);
  EXPECT_EQ(Ui.Beeps, 3);
  // Nothing left: no sound, no question.
  EXPECT_EQ(Set.DeleteScreenShot(Ui, SlideShow), std::nullopt);
  EXPECT_EQ(Ui.Beeps, 3);
  EXPECT_TRUE(SlideShow.Events == std::vector<std::string>(3, "pause"));
}

TEST_F(ScreenShotSetTest, DeletionPausesWhileAskingAndResumesAPlayingShow) {
  Shot("mygame01.jpg");
  Set.LoadScreenShots();
  SlideShow.Playing = true;
  Ui.ExpectMessage(TMsgDlgType::mtConfirmation, std::string(DeleteScreenShotQuestion),
                   TModalResult::mrNo);
  EXPECT_EQ(Set.DeleteScreenShot(Ui, SlideShow), std::nullopt);
  EXPECT_TRUE(std::filesystem::exists(Dir.Path() / "ScreenShots" / "mygame01.jpg"));
  EXPECT_EQ(SlideShow.Events, (std::vector<std::string>{"pause", "play"}));
  EXPECT_EQ(Ui.Events,
            (std::vector<std::string>{"beep", "box:" + std::string(DeleteScreenShotQuestion)}));

  // Confirmed, but the file went meanwhile: nothing deleted or re-read, the show resumes.
  std::filesystem::remove(Dir.Path() / "ScreenShots" / "mygame01.jpg");
  Ui.ExpectMessage(TMsgDlgType::mtConfirmation, std::string(DeleteScreenShotQuestion),
                   TModalResult::mrYes);
  EXPECT_EQ(Set.DeleteScreenShot(Ui, SlideShow), std::nullopt);
  EXPECT_EQ(Set.Count(), 1);
  EXPECT_TRUE(SlideShow.Playing);
}

TEST_F(ScreenShotSetTest, ResetAllSetsEveryGameButDefaultsAndStopsTheShow) {
  Shot("mygame01.jpg");
  Cat.Games[0].CurrentSS = 3;
  SlideShow.Playing = true;
  Set.LoadScreenShots();
  // One picture and the gameplay screen asked for: the one picture, the index 0 once shown.
  EXPECT_EQ(Set.ResetAllScreenShots(1, SlideShow), Showing("mygame01.jpg"));
  EXPECT_EQ(Game().CurrentSS, 0);
  EXPECT_EQ(Cat.Games[2].CurrentSS, 1);
  EXPECT_EQ(Cat.Games[3].CurrentSS, 1);
  EXPECT_EQ(Cat.Games[0].CurrentSS, 3);
  EXPECT_FALSE(SlideShow.Playing);
  EXPECT_EQ(SlideShow.Events, std::vector<std::string>{"pause"});
  // A game with two or more pictures shows its second.
  Shot("other01.jpg");
  Shot("other02.jpg");
  Cat.CurrentGame = 3;
  EXPECT_EQ(Set.LoadScreenShots(), Showing("other02.jpg"));
  EXPECT_EQ(Set.ResetAllScreenShots(0, SlideShow), Showing("other01.jpg"));
}

TEST_F(ScreenShotSetTest, NoCurrentGameTouchesNoRecord) {
  Shot("mygame01.jpg");
  Shot("mygame02.jpg");
  Set.LoadScreenShots();
  Cat.CurrentGame = -1;
  const std::vector<TGameRecord> before = Cat.Games;
  EXPECT_EQ(Set.NextScreenShot(), std::nullopt);
  EXPECT_EQ(Set.PrevScreenShot(), std::nullopt);
  EXPECT_EQ(Set.DeleteScreenShot(Ui, SlideShow), std::nullopt);
  EXPECT_EQ(Set.ShowScreenShot(), TScreenShotView{});
  for (std::size_t i = 0; i < before.size(); ++i)
    EXPECT_EQ(Cat.Games[i].CurrentSS, before[i].CurrentSS);
  EXPECT_EQ(Set.LoadScreenShots(), TScreenShotView{});
  EXPECT_EQ(Set.Count(), 0);
  EXPECT_EQ(Set.ResetAllScreenShots(1, SlideShow), TScreenShotView{});
  EXPECT_EQ(Cat.Games[1].CurrentSS, 1);
  EXPECT_EQ(Cat.Games[0].CurrentSS, before[0].CurrentSS);
  Cat.CurrentGame = 99;  // an index outside the catalogue counts as none
  EXPECT_EQ(Set.LoadScreenShots(), TScreenShotView{});
  EXPECT_EQ(Ui.Beeps, 0);
}

TEST_F(ScreenShotSetTest, DefaultRecordWorksOnTheSetOfTheGameShownBefore) {
  Shot("mygame01.jpg");
  Shot("mygame02.jpg");
  Set.LoadScreenShots();
  Cat.CurrentGame = 0;
  Cat.Games[0].CurrentSS = 0;
  EXPECT_EQ(Set.NextScreenShot(), Showing("mygame02.jpg"));
  EXPECT_EQ(Cat.Games[0].CurrentSS, 1);
  EXPECT_EQ(Game().CurrentSS, 0);
}

TEST(ScreenShotErrorTest, JpegReadErrorBeepsAndShowsTheErrorBox) {
  FakeUserInteraction ui;
  ui.ExpectMessage(TMsgDlgType::mtError, "Error reading jpg-image!");
  ReportJpegReadError(ui);
  EXPECT_EQ(ui.Events.front(), "beep");
  EXPECT_EQ(ui.Prompts.at(0).Buttons, mbOK);
}

}  // namespace
