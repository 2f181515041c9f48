#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "ExecTestSupport.h"
#include "TempDir.h"
#include "launch/BatchFile.h"

namespace fs = std::filesystem;

namespace {

class BatchInterpreterTest : public ::testing::Test {
 protected:
  TempDir FDir;
  ScopedCurrentDir FCd{FDir.Path()};
  fs::path FRecord = FDir.Path() / "record.txt";

  TRunResult Run(const std::string& batchText, std::vector<std::string> args = {}) {
    FDir.Write("test.bat", batchText);
    args.insert(args.begin(), "test.bat");
    return RunInterpreter(args);
  }
};

// Runs with PATH set to one directory for the interpreter's lookups of wine and programs.
class ScopedPath {
 public:
  explicit ScopedPath(const std::string& value) {
    if (const char* old = std::getenv("PATH")) FOld = old;
    ::setenv("PATH", value.c_str(), 1);
  }
  ~ScopedPath() {
    if (FOld) ::setenv("PATH", FOld->c_str(), 1);
  }

 private:
  std::optional<std::string> FOld;
};

}  // namespace

TEST_F(BatchInterpreterTest, EchoRemClsAndBlankLines) {
  const TRunResult r =
      Run("echo first %1\r\n"
          "@echo second\r\n"
          "\r\n"
          "   \r\n"
          "rem echo not this\r\n"
          "@ECHO OFF\r\n"
          "echo 3. Check \"close on exit\"  \r\n"
          "echo\r\n"
          "cls\r\n"
          "Echo On\r\n"
          "@echo 100%% done\r\n",
          {"arg"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  const std::string cwd = FDir.Str();
  EXPECT_EQ(r.Out, cwd + ">echo first arg\n" + "first arg\n" + "second\n" + cwd +
                       ">rem echo not this\n" + "3. Check \"close on exit\"  \n" +
                       "ECHO is off.\n" + "100% done\n");
}

TEST_F(BatchInterpreterTest, TheFrontEndsBatchFileCutsToFiveWords) {
  WriteRecorder(FDir.Path() / "Velk.Exe", FRecord);
  FDir.Write("batch.bat", BatchFileText());
  const TRunResult r = RunInterpreter(
      {"batch.bat", "mygame", "-v", "-n", "-d320x240", "-r", "-s", "-a", "-j", "-f"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ReadRecord(FRecord).Args,
            (std::vector<std::string>{"mygame", "-v", "-n", "-d320x240", "-r"}));
  EXPECT_EQ(ReadFileBytes(FDir.Path() / "VELKStart.txt"), "output of Velk.Exe\n");
  EXPECT_EQ(r.Out,
            "Starting VELK with romset mygame .....\n"
            "VELK has finished.\n"
            "If this window does not disappear:\n"
            "1. Right-click on the title-bar\n"
            "2. Click properties\n"
            "3. Check \"close on exit\"\n");

  const TRunResult empty = RunInterpreter({"batch.bat"});
  EXPECT_EQ(empty.Status, 0) << empty.Err;
  const TRecord record = ReadRecord(FRecord);
  EXPECT_TRUE(record.Args.empty());
}

TEST_F(BatchInterpreterTest, ArgumentsStayPlainWords) {
  WriteRecorder(FDir.Path() / "velk.exe", FRecord);
  FDir.Write("x", "keep me");
  const TRunResult r =
      Run("@velk.exe %1 %2 %3 \"%4\" %9 >%0.log\r\n", {"-d1&rm x", "$(touch y)", ">z", ""});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ReadRecord(FRecord).Args,
            (std::vector<std::string>{"-d1&rm x", "$(touch y)", ">z", ""}));
  EXPECT_TRUE(fs::exists(FDir.Path() / "x"));
  EXPECT_FALSE(fs::exists(FDir.Path() / "y"));
  EXPECT_FALSE(fs::exists(FDir.Path() / "z"));
  EXPECT_EQ(ReadFileBytes(FDir.Path() / "test.bat.log"), "output of velk.exe\n");
}

TEST_F(BatchInterpreterTest, RedirectionReplacesOrAppends) {
  WriteRecorder(FDir.Path() / "velk.exe", FRecord);
  FDir.Write("VELKSTART.TXT", "old log that must go\n");
  TRunResult r =
      Run("@echo off\r\n"
          "velk.exe a > VELKStart.txt\r\n"
          "velk.exe b >> velkstart.txt\r\n"
          "velk.exe c>>VelkStart.txt\r\n");
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ReadFileBytes(FDir.Path() / "VELKSTART.TXT"),
            "output of velk.exe\noutput of velk.exe\noutput of velk.exe\n");
  EXPECT_FALSE(fs::exists(FDir.Path() / "VELKStart.txt") &&
               !fs::equivalent(FDir.Path() / "VELKStart.txt", FDir.Path() / "VELKSTART.TXT"));
  EXPECT_EQ(r.Out, "");  // everything went to the file

  r = Run("@velk.exe >\r\n");
  EXPECT_NE(r.Status, 0);
  EXPECT_NE(r.Err.find("file name"), std::string::npos);
}

TEST_F(BatchInterpreterTest, NativeProgramsRunAndTheRestIsExplained) {
  // A real ELF program under the emulator's name.
  fs::copy_file("/bin/echo", FDir.Path() / "velk.exe");
  TRunResult r = Run("@velk.exe %1 %2\r\n", {"hello", "world"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "hello world\n");

  // A script without its execute bit is not run.
  fs::remove(FDir.Path() / "velk.exe");
  FDir.Write("velk.exe", "#!/bin/sh\necho ran\n");
  r = Run("@velk.exe\r\n@echo after\r\n");
  EXPECT_NE(r.Status, 0);
  EXPECT_EQ(r.Out, "");
  EXPECT_NE(r.Err.find("execute permission"), std::string::npos) << r.Err;

  // A missing program ends the run with a reason.
  fs::remove(FDir.Path() / "velk.exe");
  r = Run("@velk.exe\r\n");
  EXPECT_EQ(r.Status, 127);
  EXPECT_NE(r.Err.find("cannot find velk.exe"), std::string::npos) << r.Err;

  // A missing batch file, too; the pause for a window of its own needs a terminal to read from.
  r = RunInterpreter({"--pause-on-error", "--", "nothing.bat"});
  EXPECT_NE(r.Status, 0);
  EXPECT_NE(r.Err.find("nothing.bat"), std::string::npos) << r.Err;
  EXPECT_EQ(r.Err.find("Press Enter"), std::string::npos) << r.Err;
}

TEST_F(BatchInterpreterTest, WindowsProgramsGoThroughWine) {
  FDir.Write("velk.exe", std::string("MZ\x90\0\3\0\0\0", 8) + "rest of a Windows program");
  const fs::path bin = FDir.MakeDir("bin");

  {
    ScopedPath path(bin.string());  // no wine anywhere
    const TRunResult r = Run("@velk.exe mygame\r\n");
    EXPECT_NE(r.Status, 0);
    EXPECT_NE(r.Err.find("wine"), std::string::npos) << r.Err;
  }

  WriteRecorder(bin / "wine", FRecord);
  ScopedPath path(bin.string() + ":/usr/bin:/bin");
  const TRunResult r = Run("@velk.exe mygame -v\r\n");
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ReadRecord(FRecord).Args, (std::vector<std::string>{"velk.exe", "mygame", "-v"}));
}

TEST_F(BatchInterpreterTest, EndsWithTheLastProgramsStatus) {
  WriteRecorder(FDir.Path() / "fails.sh", FRecord, 5);
  const TRunResult r = Run("@fails.sh\r\n@echo still here\r\n");
  EXPECT_EQ(r.Status, 5);
  EXPECT_EQ(r.Out, "output of fails.sh\nstill here\n");
}
