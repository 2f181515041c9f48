// The clean-up journal of a zipped start as the next start-up reads it back, and the list of
// written files that the start builds without the library's report.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "FakeUserInteraction.h"
#include "TempDir.h"
#include "ZipWriter.h"
#include "launch/StartGame.h"
#include "launch/UnzipJournal.h"
#include "launch/ZipArchive.h"
#include "platform/Files.h"

namespace fs = std::filesystem;

namespace {

std::int64_t MTime(const fs::path& path) {
  return static_cast<std::int64_t>(*platform::FileAge(path.string()));
}

class UnzipJournalTest : public ::testing::Test {
 protected:
  fs::path Game() const { return FDir.Path() / "game"; }
  // A journal of a front-end that has ended ("-" matches no process).
  std::string Journal(const std::string& body, bool created = true) const {
    return "StartVELK unzip journal 1\nowner 1 -\nbegun " + std::to_string(FBegun) + "\nfolder " +
           Game().string() + "\ncreated " + (created ? "1" : "0") + "\narchive /zips/game.zip\n" +
           body;
  }
  fs::path WriteJournal(const std::string& text) const {
    return FDir.Write("StartVELK-77.journal", text);
  }
  std::string FileLine(const std::string& name) const {
    const fs::path path = Game() / name;
    return "file " + std::to_string(fs::file_size(path)) + " " + std::to_string(MTime(path)) + " " +
           name + "\n";
  }

  TempDir FDir;
  std::int64_t FBegun = static_cast<std::int64_t>(std::time(nullptr)) - 5;
};

TEST_F(UnzipJournalTest, ReplayDeletesOnlyWhatStillMatchesAndTheEmptiedFolder) {
  FDir.Write("game/a.bin", "aaaa");        // recorded, unchanged: deleted
  FDir.Write("game/b.bin", "bbbb");        // recorded, changed since: kept
  FDir.Write("game/c.bin", "ccccc");       // wanted, complete: deleted
  FDir.Write("game/d.bin", "dd");          // wanted, cut short by the crash: deleted
  FDir.Write("game/e.bin", "eeeeeeeeee");  // wanted, larger than the archive's: kept
  FDir.Write("game/game.vlk", "drv");      // a driver from the archive stays
  FDir.Write("game/mine.txt", "user");     // never named
  std::string body = FileLine("a.bin") + FileLine("b.bin") + FileLine("game.vlk");
  FDir.Write("game/b.bin", "b2");
  body += "want 5 c.bin\nwant 9 d.bin\nwant 4 e.bin\nwant 4 gone.bin\nwant 4 a.bin\n";
  body += "run 1 -\nfile 1 2 half";  // a last line cut short is left out
  const fs::path journal = WriteJournal(Journal(body));

  EXPECT_EQ(ReplayUnzipJournal(journal.string()), TReplayOutcome::roCleaned);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(Game()))
    left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"b.bin", "e.bin", "game.vlk", "mine.txt"}));
  EXPECT_FALSE(fs::exists(journal));

  // A folder the start made goes once nothing is left in it; one that was there stays.
  fs::remove_all(Game());
  FDir.Write("game/x.bin", "x");
  WriteJournal(Journal(FileLine("x.bin")));
  FakeUserInteraction ui;
  ReplayUnzipJournals(FDir.Str(), ui);
  EXPECT_FALSE(fs::exists(Game()));
  FDir.MakeDir("game");
  WriteJournal(Journal("want 1 y.bin\n", false));
  EXPECT_EQ(ReplayUnzipJournal((FDir.Path() / "StartVELK-77.journal").string()),
            TReplayOutcome::roCleaned);
  EXPECT_TRUE(fs::is_directory(Game()));
}

TEST_F(UnzipJournalTest, ARunThatStillGoesOnIsLeftForALaterStart) {
  FDir.Write("game/a.bin", "aaaa");
  const std::int64_t self = ::getpid();
  const fs::path journal = WriteJournal(Journal(FileLine("a.bin") + "run " + std::to_string(self) +
                                                " " + ProcessStartMark(self) + "\n"));
  EXPECT_EQ(ReplayUnzipJournal(journal.string()), TReplayOutcome::roPending);
  EXPECT_TRUE(fs::exists(Game() / "a.bin"));
  EXPECT_TRUE(fs::exists(journal));
  // The same id with another start mark is a later process: the run has ended.
  WriteJournal(Journal(FileLine("a.bin") + "run " + std::to_string(self) + " 1\n"));
  EXPECT_EQ(ReplayUnzipJournal(journal.string()), TReplayOutcome::roCleaned);
  EXPECT_FALSE(fs::exists(Game() / "a.bin"));
}

TEST_F(UnzipJournalTest, ADamagedJournalIsReportedOnceRemovedAndDeletesNothing) {
  FDir.Write("game/a.bin", "aaaa");
  FDir.Write("outside.bin", "o");
  for (const std::string& bad : {Journal(FileLine("a.bin") + "garbage line\n"),
                                 Journal(FileLine("a.bin") + "want 1 ../outside.bin\n"),
                                 std::string("not a journal\n") + FileLine("a.bin")}) {
    const fs::path journal = WriteJournal(bad);
    FDir.Write("StartVELK-78.journal", bad);
    FakeUserInteraction ui;
    ui.ExpectMessage(TMsgDlgType::mtError,
                     "The clean-up record StartVELK-77.journal, StartVELK-78.journal of an "
                     "earlier start is damaged and was removed.\rFiles it may have named in a "
                     "game folder were left in place.");
    ReplayUnzipJournals(FDir.Str(), ui);
    EXPECT_FALSE(fs::exists(journal));
    EXPECT_TRUE(fs::exists(Game() / "a.bin"));
    EXPECT_TRUE(fs::exists(FDir.Path() / "outside.bin"));
  }
}

TEST_F(UnzipJournalTest, WrittenJournalReadsBackAndItsOwnerKeepsIt) {
  FDir.Write("game/new\nline.bin", "12345");
  TUnzipJournal journal;
  std::string error;
  ASSERT_TRUE(journal.Begin(FDir.Str(), "/zips/game.zip", Game().string(), true,
                            {{"new\nline.bin", 5}, {"other.bin", 3}}, &error))
      << error;
  journal.RecordFile("new\nline.bin");
  journal.RecordRun(999999999);  // no such process
  // The front-end that writes it still runs: a second instance leaves it alone.
  EXPECT_EQ(ReplayUnzipJournal(journal.Path()), TReplayOutcome::roPending);
  std::string text = *platform::ReadWholeFile(journal.Path());
  EXPECT_NE(text.find("file 5 "), std::string::npos);
  EXPECT_NE(text.find("new%0Aline.bin"), std::string::npos);
  const std::size_t owner = text.find("owner ");
  text.replace(owner, text.find('\n', owner) - owner, "owner 1 -");
  const fs::path copy = WriteJournal(text);
  EXPECT_EQ(ReplayUnzipJournal(copy.string()), TReplayOutcome::roCleaned);
  EXPECT_FALSE(fs::exists(Game()));
  journal.Finish();
  EXPECT_FALSE(fs::exists(journal.Path()));
}

// The start's own list of written files agrees with what the project's library reports.
TEST(FilesWrittenByExtraction, AgreesWithTheLibrarysReport) {
  TempDir dir;
  TZipWriter w;
  w.Add("roms/a.bin", "a");
  w.Add("B.BIN", "b");  // the folder holds b.bin: not written
  w.Add("c.bin", "c");
  w.Add("sub/c.bin", "second c");  // the same bare name again: not written twice
  w.Add("roms/", "");
  const fs::path zip = dir.Write("game.zip", w.Build());
  const fs::path game = dir.Write("game/b.bin", "mine").parent_path();
  const std::vector<std::string> before = {"b.bin"};

  FakeUserInteraction ui;
  TZipArchive archive(ui);
  archive.SetDLLDirectory(UNZIPLIB_DIR);
  archive.OnMessage = [](TZipArchive&, int, const std::string&) {};
  archive.SetZipFilename(zip.string());
  archive.SetExtrBaseDir(game.string());
  archive.Extract();
  TZipArchive::UnloadUnzipLibrary();

  std::vector<std::string> reported;
  for (const std::string& path : archive.ExtractedFiles())
    reported.push_back(fs::path(path).filename().string());
  const std::vector<std::string> written =
      FilesWrittenByExtraction(archive.Entries(), before, game.string());
  EXPECT_EQ(written, (std::vector<std::string>{"a.bin", "c.bin"}));
  EXPECT_EQ(written, reported);
}

}  // namespace
