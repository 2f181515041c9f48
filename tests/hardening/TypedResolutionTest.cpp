// A resolution typed into the settings panel travels through the command line, batch.bat and the
// batch interpreter to the emulator; no shell ever reads it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "ExecTestSupport.h"
#include "FakeUserInteraction.h"
#include "TempDir.h"
#include "launch/BatchFile.h"
#include "launch/CommandLine.h"
#include "launch/ExecFile.h"

namespace fs = std::filesystem;

namespace {

// No display: the batch file runs without a terminal window.
class ScopedNoDisplay {
 public:
  ScopedNoDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
      if (const char* old = std::getenv(name)) FOld.emplace_back(name, old);
      ::unsetenv(name);
    }
  }
  ~ScopedNoDisplay() {
    for (const auto& [name, value] : FOld) ::setenv(name.c_str(), value.c_str(), 1);
  }

 private:
  std::vector<std::pair<std::string, std::string>> FOld;
};

}  // namespace

// An emulator folder as the working directory, its batch file written, whose velk.exe writes
// down the arguments it was given; the launcher is set up as a game start sets it up.
class TypedResolution : public ::testing::Test {
 protected:
  TypedResolution() : FCwd(FDir.Path()) {
    WriteRecorder(FDir.Path() / "velk.exe", FRecord);
    WriteBatchFile();
    ConfigureExecEmu(FExec);
    FExec.Priority = pcNormal;
  }

  TempDir FDir;
  ScopedCurrentDir FCwd;
  ScopedNoDisplay FNoDisplay;
  const fs::path FRecord = FDir.Path() / "record.txt";
  FakeUserInteraction FUi;
  TExecFile FExec{&FUi};
};

TEST_F(TypedResolution, ShellMetacharactersReachTheEmulatorAsText) {
  FDir.Write("victim", "keep");

  // Eight bytes is all a resolution holds; each of these would do harm in a shell.
  for (const char* typed :
       {"1;rm${IFS}", "$(id)", "`id`>x", "1&&touch", "|tee>y", "*", "'\\%1%%"}) {
    TCatalogue cat;
    InitGameRecord(cat.Games.emplace_back());
    TGameRecord& game = cat.Games.emplace_back();
    InitGameRecord(game);
    game.ZipName = "mygame";
    game.UseDefSettings = false;
    game.Resolution = typed;
    cat.CurrentGame = 1;
    std::string commandLine;
    BuildCommandLine(cat, true, commandLine);

    FExec.Parameters = commandLine;
    ASSERT_TRUE(FExec.Execute()) << typed;
    const TRecord got = ReadRecord(FRecord);
    ASSERT_TRUE(got.Found) << typed;
    EXPECT_EQ(got.Args, (std::vector<std::string>{"mygame", "-v", "-n",
                                                  std::string("-d") + game.Resolution.str()}))
        << typed;
    fs::remove(FRecord);
  }
  EXPECT_EQ(ReadFileBytes(FDir.Path() / "victim"), "keep");
  for (const char* made : {"x", "y", "touch", "tee"}) EXPECT_FALSE(fs::exists(FDir.Path() / made));
}

// The launcher splits its parameters as the Windows command line does: at blanks, with double
// quotes grouping and removed. Either way every word is only text.
TEST_F(TypedResolution, BlanksSplitAndQuotesGroupButNothingRuns) {
  FExec.Parameters = "mygame -v -d1 >y -r";
  ASSERT_TRUE(FExec.Execute());
  EXPECT_EQ(ReadRecord(FRecord).Args,
            (std::vector<std::string>{"mygame", "-v", "-d1", ">y", "-r"}));
  FExec.Parameters = "mygame -d\"1 >z\" -r";
  ASSERT_TRUE(FExec.Execute());
  EXPECT_EQ(ReadRecord(FRecord).Args, (std::vector<std::string>{"mygame", "-d1 >z", "-r"}));
  EXPECT_FALSE(fs::exists(FDir.Path() / "y"));
  EXPECT_FALSE(fs::exists(FDir.Path() / "z"));
}
