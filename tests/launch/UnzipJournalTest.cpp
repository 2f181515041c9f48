// The clean-up journal of a zipped start as the next start-up reads it back: what a genuine one
// removes, what a planted one may never touch, and the list of written files that the start
// builds without the library's report.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "FakeUserInteraction.h"
#include "TempDir.h"
#include "ZipWriter.h"
#include "launch/StartGame.h"
#include "launch/UnzipJournal.h"
#include "launch/ZipArchive.h"
#include "platform/Files.h"
#include "platform/RunSession.h"

namespace fs = std::filesystem;

namespace {

// File times step with the kernel's clock tick: a pause makes "before" and "after" certain.
void Tick() {
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
}

std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Rewrites the journal's owner as a front-end that has ended; the file stays the same file.
void EndOwner(const std::string& path) {
  std::string text = ReadFileBytes(path);
  const std::size_t owner = text.find("owner ");
  text.replace(owner, text.find('\n', owner) - owner, "owner 1 - -");
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class UnzipJournalTest : public ::testing::Test {
 protected:
  fs::path Game() const { return FDir.Path() / "game"; }
  std::string Name(const TUnzipJournal& journal) const {
    return fs::path(journal.Path()).filename().string();
  }
  TempDir FDir;
};

TEST_F(UnzipJournalTest, ReplayRemovesWhatTheExtractionWroteAndNothingElse) {
  for (const bool ran : {false, true}) {
    FDir.Write("game/mine.txt", "the user's");  // never named
    FDir.Write("game/old.bin", "old");          // wanted, but there before the journal
    Tick();
    TUnzipJournal journal;
    std::string error;
    ASSERT_TRUE(journal.Begin(FDir.Str(), "/zips/game.zip", "game", false,
                              {{"a.bin", 4}, {"b.bin", 4}, {"c.bin", 5}, {"d.bin", 9},
                               {"e.bin", 4}, {"old.bin", 3}, {"game.vlk", 3}},
                              &error))
        << error;
    FDir.Write("game/a.bin", "aaaa");  // recorded, unchanged: removed
    FDir.Write("game/b.bin", "bbbb");  // recorded, then rewritten with the same size: kept
    FDir.Write("game/game.vlk", "drv");
    for (const char* name : {"a.bin", "b.bin", "game.vlk"}) EXPECT_TRUE(journal.RecordFile(name));
    EXPECT_FALSE(journal.RecordFile("mine.txt"));  // older than the journal: not this one's
    Tick();
    FDir.Write("game/b.bin", "BBBB");
    FDir.Write("game/c.bin", "ccccc");       // wanted, complete: removed
    FDir.Write("game/d.bin", "dd");          // wanted, cut short by the crash: removed
    FDir.Write("game/e.bin", "eeeeeeeeee");  // wanted, larger than the archive's: kept
    if (ran) journal.RecordRun(999999999);   // no such process: the run has ended

    // Its writer still holds it: a second front-end leaves it alone.
    EXPECT_EQ(ReplayUnzipJournal(FDir.Str(), Name(journal)), TReplayOutcome::roPending);
    const std::string path = journal.Path();
    journal.Keep();
    EXPECT_EQ(ReplayUnzipJournal(FDir.Str(), Name(journal)), TReplayOutcome::roPending);
    EndOwner(path);
    EXPECT_EQ(ReplayUnzipJournal(FDir.Str(), fs::path(path).filename().string()),
              TReplayOutcome::roCleaned);
    // A driver that came with the archive stays once the game ran, as after a normal run.
    std::vector<std::string> left = {"b.bin", "e.bin", "mine.txt", "old.bin"};
    if (ran) left.insert(left.begin() + 2, "game.vlk");
    EXPECT_EQ(Names(Game()), left) << "ran: " << ran;
    EXPECT_FALSE(fs::exists(path));
    fs::remove_all(Game());
  }
}

TEST_F(UnzipJournalTest, PlantedJournalsTouchNothingOutsideTheirGameFolderAndAreReportedOnce) {
  const fs::path victim = FDir.MakeDir("victim");
  FDir.Write("victim/v.bin", "vv");
  FDir.Write("outside.bin", "oo");
  fs::create_directory_symlink(victim, FDir.Path() / "linked");
  FDir.Write("game/mine.bin", "mm");
  fs::create_symlink(victim / "v.bin", FDir.Path() / "game/link.bin");
  FDir.MakeDir("empty");
  Tick();
  const std::string head = "StartVELK unzip journal 2\nowner 1 - -\nbegun 0\n";
  const std::string wants = "created 1\nwant 2 v.bin\nwant 2 outside.bin\nwant 2 mine.bin\n";
  const std::vector<std::pair<std::string, std::string>> planted = {
      {"absolute", head + "folder " + victim.string() + "\n" + wants},
      {"dotdot", head + "folder ../" + FDir.Path().filename().string() + "\n" + wants},
      {"link", head + "folder linked\n" + wants},
      {"nofolder", head + wants},
      {"bad-name", head + "folder game\nwant 2 ../outside.bin\n"},
      {"version1", "StartVELK unzip journal 1\nowner 1 -\nfolder game\n"},
  };
  for (const auto& [name, text] : planted) FDir.Write("StartVELK-" + name + ".journal", text);
  // Well formed, but what it names is no file of an extraction after it: a link, a file older
  // than the journal, a file whose size and times were copied but which is another file.
  const auto mine = platform::FileSize((Game() / "mine.bin").string());
  FDir.Write("StartVELK-quiet.journal",
             head + "folder game\ncreated 1\nwant 2 link.bin\nwant 2 mine.bin\nfile " +
                 std::to_string(*mine) + " 0 0 0 mine.bin\n");
  FDir.Write("StartVELK-empty.journal", head + "folder empty\ncreated 1\n");

  FakeUserInteraction ui;
  ui.ExpectMessage(
      TMsgDlgType::mtError,
      "The clean-up record StartVELK-absolute.journal (its game folder is not one plain folder "
      "name), StartVELK-bad-name.journal (it names a file outside its game folder), "
      "StartVELK-dotdot.journal (its game folder is not one plain folder name), "
      "StartVELK-link.journal (its game folder linked is a link or no folder), "
      "StartVELK-nofolder.journal (it names no game folder), StartVELK-version1.journal (it is "
      "not a journal of this version) of an earlier start was not carried out.\rNothing it names "
      "was deleted; it was set aside under its name with \".damaged\" added.");
  ReplayUnzipJournals(FDir.Str(), ui);
  EXPECT_EQ(ui.Prompts.size(), 1u);
  EXPECT_EQ(Names(victim), std::vector<std::string>{"v.bin"});
  EXPECT_EQ(Names(Game()), (std::vector<std::string>{"link.bin", "mine.bin"}));
  EXPECT_TRUE(fs::exists(FDir.Path() / "outside.bin"));
  EXPECT_TRUE(fs::is_directory(FDir.Path() / "empty"));  // there before the journal
  for (const auto& [name, text] : planted)
    EXPECT_EQ(ReadFileBytes(FDir.Path() / ("StartVELK-" + name + ".journal.damaged")), text);
  EXPECT_TRUE(platform::FindFiles(FDir.Str(), UnzipJournalMask).empty());
}

TEST_F(UnzipJournalTest, PendingJournalsAreNeverLostAndARunThatGoesOnIsWaitedFor) {
  FDir.Write("game/keep", "k");
  const std::int64_t self = platform::OwnProcessId();
  // The journal of an earlier process with this id, still waiting: a new one takes another name.
  const std::string earlier = "StartVELK-" + std::to_string(self) + ".journal";
  const std::string text = "StartVELK unzip journal 2\nowner 1 - -\nfolder game\nrun " +
                           std::to_string(self) + " " + platform::ProcessStartMark(self) + " " +
                           platform::BootId() + "\n";
  FDir.Write(earlier, text);
  TUnzipJournal journal;
  std::string error;
  ASSERT_TRUE(journal.Begin(FDir.Str(), "a.zip", "game", false, {}, &error)) << error;
  EXPECT_NE(Name(journal), earlier);
  EXPECT_EQ(ReadFileBytes(FDir.Path() / earlier), text);
  // Its run goes on (this process stands for it): left, and it claims the folder.
  EXPECT_EQ(ReplayUnzipJournal(FDir.Str(), earlier), TReplayOutcome::roPending);
  EXPECT_TRUE(GameFolderInUse(FDir.Str(), "GAME", journal.Path()));
  EXPECT_FALSE(GameFolderInUse(FDir.Str(), "other", journal.Path()));
  // A later process under the same id is not that run.
  const std::string ended = "StartVELK unzip journal 2\nowner 1 - -\nfolder game\nrun " +
                            std::to_string(self) + " 1 " + platform::BootId() + "\n";
  FDir.Write(earlier, ended);
  EXPECT_FALSE(GameFolderInUse(FDir.Str(), "game", journal.Path()));
  EXPECT_EQ(ReplayUnzipJournal(FDir.Str(), earlier), TReplayOutcome::roCleaned);
  EXPECT_TRUE(fs::exists(FDir.Path() / "game/keep"));
  journal.Finish();
}

// A read-only game folder (a mount that is read-only for a moment): the replay keeps its journal
// and says so once; once the folder can be written, the next replay finishes.
TEST_F(UnzipJournalTest, AReplayThatCannotDeleteKeepsItsJournalForALaterStart) {
  if (::geteuid() != 0) GTEST_SKIP() << "a read-only bind mount needs root";
  TUnzipJournal journal;
  std::string error;
  ASSERT_TRUE(journal.Begin(FDir.Str(), "a.zip", "game", true, {{"a.bin", 1}}, &error)) << error;
  FDir.Write("game/a.bin", "a");
  ASSERT_TRUE(journal.RecordFile("a.bin"));
  const std::string path = journal.Path();
  journal.Keep();
  EndOwner(path);
  const std::string game = Game().string();
  if (::mount(game.c_str(), game.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
      ::mount(nullptr, game.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
    ::umount(game.c_str());
    GTEST_SKIP() << "bind mounts are not allowed here";
  }
  FakeUserInteraction ui;
  ui.ExpectMessage(TMsgDlgType::mtError,
                   "The clean-up of an earlier start could not remove every file it unzipped (1 "
                   "file in game: Read-only file system).\rIt will be tried again at the next "
                   "start.");
  EXPECT_TRUE(ReplayUnzipJournals(FDir.Str(), ui));
  EXPECT_TRUE(fs::exists(path));
  EXPECT_TRUE(fs::exists(Game() / "a.bin"));
  ::umount(game.c_str());
  FakeUserInteraction quiet;
  EXPECT_TRUE(ReplayUnzipJournals(FDir.Str(), quiet));
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(fs::exists(Game()));
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
