// The play history store: what is recorded comes back after a reload, a run killed before its end
// counts, damaged and foreign files are set aside, writers never interleave, and a history of
// 100,000 runs reads and compacts to the same totals.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "TempDir.h"
#include "history/PlayHistory.h"
#include "history/RunText.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kT0 = 1'714'560'000'000;  // 2024-05-01

TRunRecord MakeRun(const std::string& game, std::int64_t startMs, std::int64_t durationMs,
                   int status, bool started = true) {
  TRunRecord run;
  run.Game = game;
  run.StartMs = startMs;
  run.CommandLine = "batch.bat " + game + " -v";
  run.WorkingFolder = "/velk";
  run.BatchText = "@echo off\r\nvelk.exe %1 > VELKStart.txt\r\n";
  run.EndMs = startMs + durationMs;
  run.DurationMs = durationMs;
  run.ExitStatus = status;
  run.Outcome = ClassifyRun(started, false, durationMs, status);
  run.Output = "line\twith tab\nand a \\ backslash\n";
  return run;
}

std::vector<std::string> Aside(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.Path()))
    if (entry.path().filename() != HistoryFileName) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(PlayHistory, RecordedRunsFavouritesAndChoicesComeBack) {
  TempDir dir;
  {
    TPlayHistory history;
    ASSERT_EQ(history.Load(dir.Str()), "");
    std::string error;
    ASSERT_TRUE(history.SetFavourite("spcrcr2", true, &error)) << error;
    ASSERT_TRUE(history.SetFavourite("moonpx", true, &error));
    ASSERT_TRUE(history.SetFavourite("moonpx", false, &error));
    ASSERT_TRUE(history.SetPreference("view", "recent\tfirst", &error));
    for (TRunRecord run :
         {MakeRun("spcrcr2", kT0, 600'000, 0), MakeRun("spcrcr2", kT0 + 1'000'000, 60'000, 1),
          MakeRun("qf", kT0 + 2'000'000, 2'000, 3)}) {
      ASSERT_TRUE(history.RecordStart(run, &error)) << error;
      ASSERT_TRUE(history.RecordEnd(run, &error)) << error;
    }
    TRunRecord never = MakeRun("qf", kT0 + 3'000'000, 0, -1, false);
    never.Reason = "Cannot find batch.bat";
    never.Outcome = TRunOutcome::roNotStarted;
    ASSERT_TRUE(history.RecordEnd(never, &error));
  }
  TPlayHistory history;
  ASSERT_EQ(history.Load(dir.Str()), "");
  const THistoryLog& log = history.Log();
  EXPECT_TRUE(log.Favourite("spcrcr2"));
  EXPECT_FALSE(log.Favourite("moonpx"));
  EXPECT_EQ(log.Preference("view"), "recent\tfirst");
  const TGameStats racer = *log.Stats("spcrcr2");
  // A non-zero status after ten seconds is still a play.
  EXPECT_EQ(racer.Plays, 2);
  EXPECT_EQ(racer.TotalMs, 660'000);
  EXPECT_EQ(racer.LongestMs, 600'000);
  EXPECT_EQ(racer.LastPlayedMs, kT0 + 1'000'000);
  const TGameStats quick = *log.Stats("qf");
  EXPECT_EQ(quick.Plays, 0);
  EXPECT_EQ(quick.FailedStarts, 2);
  EXPECT_EQ(FailedStartText(quick.LastRun, "Cannot find batch.bat"),
            "Last start failed: not started (Cannot find batch.bat)");
  EXPECT_EQ(log.RecentGames(50), (std::vector<std::string>{"qf", "spcrcr2"}));
  const TRunRecord last = *log.LastRun("spcrcr2");
  EXPECT_EQ(last.Output, "line\twith tab\nand a \\ backslash\n");
  EXPECT_EQ(last.BatchText, "@echo off\r\nvelk.exe %1 > VELKStart.txt\r\n");
  EXPECT_EQ(last.ExitStatus, 1);
}

TEST(PlayHistory, RunKilledBeforeItsEndIsAPlayOfUnknownLength) {
  TempDir dir;
  TRunRecord run = MakeRun("spcrcr2", kT0, 0, -1);
  {
    TPlayHistory first;
    first.Load(dir.Str());
    ASSERT_TRUE(first.RecordStart(run, nullptr));
    // The program is killed here: nothing more is written.
  }
  TPlayHistory history;
  ASSERT_EQ(history.Load(dir.Str()), "");
  const TGameStats stats = *history.Log().Stats("spcrcr2");
  EXPECT_EQ(stats.Plays, 1);
  EXPECT_EQ(stats.UnknownPlays, 1);
  EXPECT_FALSE(history.Log().LastRun("spcrcr2")->Ended);
  EXPECT_EQ(PlayStatsTexts(&stats).front(),
            "Played once (of unknown length), last on " + LocalTimeText(kT0));
  // A crash in the middle of a line leaves it cut short: the next write starts on a whole line.
  fs::path file = dir.Path() / HistoryFileName;
  { std::ofstream(file, std::ios::app) << "E\t0123"; }
  TPlayHistory again;
  ASSERT_EQ(again.Load(dir.Str()), "");
  TRunRecord next = MakeRun("spcrcr2", kT0 + 5'000, 20'000, 0);
  ASSERT_TRUE(again.RecordEnd(next, nullptr));
  TPlayHistory third;
  ASSERT_EQ(third.Load(dir.Str()), "");
  EXPECT_EQ(third.Log().Stats("spcrcr2")->Plays, 2);
  EXPECT_TRUE(Aside(dir).empty());
}

TEST(PlayHistory, DamagedForeignAndNewerFilesAreSetAsideOrLeft) {
  struct TCase {
    std::string Text;
    std::string Message;  // a part of it
    std::vector<std::string> Aside;
    bool Kept;  // the favourite before the damage is still there
  };
  const std::string good = std::string(HistoryHeader) + "F\tspcrcr2\t1\n";
  const TCase cases[] = {
      {good + "F\tx\t2\n", "damaged (line 3 cannot be read)", {"StartVELK.history.damaged"}, true},
      {good + "S\tnot-an-id\tx\t1\t0\t1\t\t\t\t\n", "line 3", {"StartVELK.history.damaged"}, true},
      {good + "P\tkey\tbad\\escape\n", "damaged", {"StartVELK.history.damaged"}, true},
      {good + "G\tx\t1\t5\t0\t0\t0\t0\t0\n", "damaged", {"StartVELK.history.damaged"}, true},
      {"[StartVELK]\r\nNumOfGames=3\r\n",
       "not a play history",
       {"StartVELK.history.foreign"},
       false},
      {"StartVELK play history 2\nX\n", "newer StartVELK", {}, false},
  };
  for (const TCase& c : cases) {
    TempDir dir;
    dir.Write(HistoryFileName, c.Text);
    TPlayHistory history;
    const std::string message = history.Load(dir.Str());
    EXPECT_NE(message.find(c.Message), std::string::npos) << message;
    EXPECT_EQ(Aside(dir), c.Aside) << c.Text;
    for (const std::string& name : c.Aside) EXPECT_EQ(ReadFileBytes(dir.Path() / name), c.Text);
    EXPECT_EQ(history.Log().Favourite("spcrcr2"), c.Kept);
    // Said once: the file is sound afterwards, or still the newer one left alone.
    TPlayHistory again;
    EXPECT_EQ(again.Load(dir.Str()).empty(), !c.Aside.empty()) << c.Text;
    EXPECT_EQ(again.Log().Favourite("spcrcr2"), c.Kept);
    EXPECT_EQ(history.SetFavourite("other", true, nullptr), !c.Aside.empty());
  }
}

TEST(PlayHistory, ALinkOrAPipeUnderItsNameIsNeitherFollowedNorWaitedFor) {
  for (const bool pipe : {false, true}) {
    TempDir dir;
    const fs::path file = dir.Path() / HistoryFileName;
    if (pipe) {
      ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
    } else {
      dir.Write("elsewhere", std::string(HistoryHeader) + "F\tspcrcr2\t1\n");
      fs::create_symlink(dir.Path() / "elsewhere", file);
    }
    TPlayHistory history;
    EXPECT_NE(history.Load(dir.Str()).find(pipe ? "not a plain file" : "it is a link"),
              std::string::npos);
    EXPECT_FALSE(history.SetFavourite("other", true, nullptr));
    EXPECT_FALSE(history.Log().Favourite("spcrcr2"));
  }
}

TEST(PlayHistory, TwoWritersNeverInterleave) {
  TempDir dir;
  const auto writer = [&](const std::string& game) {
    TPlayHistory history;
    history.Load(dir.Str());
    for (int i = 0; i < 100; ++i) {
      TRunRecord run = MakeRun(game, kT0 + i, 1'000 + i, 0);
      run.Output = std::string(3000, 'o');  // longer than one write of a pipe
      history.RecordStart(run, nullptr);
      history.RecordEnd(run, nullptr);
    }
  };
  std::thread a(writer, "aaa"), b(writer, "bbb");
  a.join();
  b.join();
  TPlayHistory history;
  ASSERT_EQ(history.Load(dir.Str()), "");
  EXPECT_EQ(history.Log().Stats("aaa")->Plays, 100);
  EXPECT_EQ(history.Log().Stats("bbb")->Plays, 100);
  EXPECT_EQ(history.Log().Stats("aaa")->UnknownPlays, 0);
}

TEST(PlayHistory, HundredThousandRunsReadAndCompactToTheSameTotals) {
  TempDir dir;
  std::string text(HistoryHeader);
  for (int i = 0; i < 100'000; ++i) {
    TRunRecord run = MakeRun("g" + std::to_string(i % 20'000), kT0 + i * 1000LL, (i % 7) * 3'000,
                             i % 5 == 0 ? 2 : 0);
    run.Id = static_cast<std::uint64_t>(i) + 1;
    text += StartLine(run);
    if (i % 1000 != 0) text += EndLine(run);  // every thousandth was killed
    if (i % 10 == 0) text += FavouriteLine(run.Game, i % 20 == 0);
  }
  dir.Write(HistoryFileName, text);
  TPlayHistory history;
  ASSERT_EQ(history.Load(dir.Str()), "");
  const auto totals = [](const THistoryLog& log) {
    TPlayTally all;
    int favourites = 0;
    log.ForEachGame([&](const std::string&, const TGameStats& s) {
      all.Add(s);
      favourites += s.Favourite;
    });
    return std::make_tuple(all.Plays, all.UnknownPlays, all.FailedStarts, all.TotalMs,
                           all.LastStartMs, favourites);
  };
  const auto before = totals(history.Log());
  EXPECT_EQ(std::get<0>(before) + std::get<2>(before), 100'000);
  EXPECT_EQ(std::get<1>(before), 100);
  EXPECT_EQ(history.Log().RecentGames(3), (std::vector<std::string>{"g19999", "g19998", "g19997"}));
  ASSERT_TRUE(history.CompactIfWorthIt(nullptr));
  EXPECT_LT(fs::file_size(dir.Path() / HistoryFileName), text.size() * 2 / 3);
  TPlayHistory compacted;
  ASSERT_EQ(compacted.Load(dir.Str()), "");
  EXPECT_EQ(totals(compacted.Log()), before);
  EXPECT_EQ(compacted.Log().LastRun("g19999")->Output, "line\twith tab\nand a \\ backslash\n");
  EXPECT_FALSE(compacted.Log().LastRun("g0")->Details);  // too long ago to keep its output
}

TEST(RunText, FailedStartsTimesAndTable) {
  EXPECT_EQ(ClassifyRun(true, false, 9'999, 3), TRunOutcome::roFailed);
  EXPECT_EQ(ClassifyRun(true, false, 10'000, 3), TRunOutcome::roPlayed);
  EXPECT_EQ(ClassifyRun(true, false, 500, 0), TRunOutcome::roPlayed);
  EXPECT_EQ(ClassifyRun(false, false, 0, -1), TRunOutcome::roNotStarted);
  EXPECT_EQ(FailedStartText({kT0, true, 2'400, TRunOutcome::roFailed, 3}),
            "Last start failed: exit status 3, after 2 s");
  for (const auto& [ms, text] : std::vector<std::pair<std::int64_t, std::string>>{
           {999, "0 s"}, {185'000, "3 min 5 s"}, {720'000, "12 min"}, {4'320'000, "1 h 12 min"}})
    EXPECT_EQ(DurationText(ms), text);

  std::string many;
  for (int i = 0; i < 300; ++i) many += "line " + std::to_string(i) + "\r\n";
  const std::string tail = OutputTail(many, false);
  EXPECT_EQ(tail.substr(0, 9), "line 100\n");
  EXPECT_EQ(std::count(tail.begin(), tail.end(), '\n'), 200);

  TExportRow row{"a,b", "=HYPERLINK(\"x\")", {}};
  row.Stats.Plays = 2;
  row.Stats.TotalMs = 61'500;
  EXPECT_EQ(PlayHistoryCsv({row}).substr(PlayHistoryCsv({}).size()),
            "\"a,b\",\"'=HYPERLINK(\"\"x\"\")\",no,2,61,,0\r\n");
}
