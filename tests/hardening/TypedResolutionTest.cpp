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

TEST(TypedResolution, ShellMetacharactersReachTheEmulatorAsText) {
  TempDir dir;
  ScopedCurrentDir cd(dir.Path());
  ScopedNoDisplay noDisplay;
  const fs::path record = dir.Path() / "record.txt";
  WriteRecorder(dir.Path() / "velk.exe", record);
  WriteBatchFile();
  dir.Write("victim", "keep");

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

    FakeUserInteraction ui;
    TExecFile exec(&ui);
    ConfigureExecEmu(exec);
    exec.Priority = pcNormal;
    exec.Parameters = commandLine;
    ASSERT_TRUE(exec.Execute()) << typed;
    const TRecord got = ReadRecord(record);
    ASSERT_TRUE(got.Found) << typed;
    EXPECT_EQ(got.Args, (std::vector<std::string>{"mygame", "-v", "-n",
                                                  std::string("-d") + game.Resolution.str()}))
        << typed;
    fs::remove(record);
  }
  EXPECT_EQ(ReadFileBytes(dir.Path() / "victim"), "keep");
  for (const char* made : {"x", "y", "touch", "tee"}) EXPECT_FALSE(fs::exists(dir.Path() / made));
}

// The launcher splits its parameters as the Windows command line does: at blanks, with double
// quotes grouping and removed. Either way every word is only text.
TEST(TypedResolution, BlanksSplitAndQuotesGroupButNothingRuns) {
  TempDir dir;
  ScopedCurrentDir cd(dir.Path());
  ScopedNoDisplay noDisplay;
  const fs::path record = dir.Path() / "record.txt";
  WriteRecorder(dir.Path() / "velk.exe", record);
  WriteBatchFile();
  FakeUserInteraction ui;
  TExecFile exec(&ui);
  ConfigureExecEmu(exec);
  exec.Priority = pcNormal;
  exec.Parameters = "mygame -v -d1 >y -r";
  ASSERT_TRUE(exec.Execute());
  EXPECT_EQ(ReadRecord(record).Args, (std::vector<std::string>{"mygame", "-v", "-d1", ">y", "-r"}));
  exec.Parameters = "mygame -d\"1 >z\" -r";
  ASSERT_TRUE(exec.Execute());
  EXPECT_EQ(ReadRecord(record).Args, (std::vector<std::string>{"mygame", "-d1 >z", "-r"}));
  EXPECT_FALSE(fs::exists(dir.Path() / "y"));
  EXPECT_FALSE(fs::exists(dir.Path() / "z"));
}
