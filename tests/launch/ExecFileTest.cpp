#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include "ExecTestSupport.h"
#include "FakeUserInteraction.h"
#include "TempDir.h"
#include "launch/BatchFile.h"
#include "launch/ExecFile.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/Spawn_posix.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Keeps an environment variable as it was around a test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : FName(name) {
    if (const char* old = std::getenv(name)) FOld = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (FOld) {
      ::setenv(FName, FOld->c_str(), 1);
    } else {
      ::unsetenv(FName);
    }
  }

 private:
  const char* FName;
  std::optional<std::string> FOld;
};

bool Readable(TWaitHandle handle, int timeoutMs) {
  pollfd p{static_cast<int>(handle), POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

class ExecFileTest : public ::testing::Test {
 protected:
  TempDir FDir;
  ScopedCurrentDir FCd{FDir.Path()};
  // No display: batch files run without a terminal window unless a test sets one up.
  ScopedEnv FDisplay{"DISPLAY", nullptr};
  ScopedEnv FWayland{"WAYLAND_DISPLAY", nullptr};
  ScopedEnv FWindowId{"WINDOWID", nullptr};
  fs::path FRecord = FDir.Path() / "record.txt";
  FakeUserInteraction FUi;
  TExecFile FExec{&FUi};
  int FFails = 0;
  TExecFile* FFailSender = nullptr;

  void SetUp() override {
    FExec.OnFail = [this](TExecFile* sender) {
      ++FFails;
      FFailSender = sender;
    };
  }
  void TearDown() override { EXPECT_EQ(ZombieChildrenAfterSettling(), 0); }
};

}  // namespace

TEST(ExecFileProperties, DefaultsAndPlatformValues) {
  TExecFile exec;
  EXPECT_FALSE(exec.Associate);
  EXPECT_TRUE(exec.CommandLine.empty());
  EXPECT_TRUE(exec.Parameters.empty());
  EXPECT_EQ(exec.Priority, pcNormal);
  EXPECT_FALSE(exec.Wait);
  EXPECT_EQ(exec.WaitStyle, wRegular);
  EXPECT_EQ(exec.WindowStyle, wsNorm);
  EXPECT_FALSE(exec.OnFail);

  EXPECT_EQ(static_cast<int>(wsShowNoActivate), 5);
  EXPECT_EQ(static_cast<int>(pcRealTime), 3);
  EXPECT_EQ(static_cast<int>(wSuspend), 1);
  const int shows[] = {1, 2, 3, 0, 7, 8};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(ShowCommandOf(static_cast<TWindowStyle>(i)), shows[i]);
  const std::uint32_t classes[] = {0x20, 0x40, 0x80, 0x100};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(PriorityClassOf(static_cast<TPriorityClass>(i)), classes[i]);

  ConfigureExecEmu(exec);
  EXPECT_EQ(exec.CommandLine.str(), "batch.bat");
  EXPECT_EQ(exec.Priority, pcRealTime);
  EXPECT_TRUE(exec.Wait);
  EXPECT_EQ(exec.WaitStyle, wRegular);
  EXPECT_EQ(exec.WindowStyle, wsNorm);
}

TEST(ExecFileProperties, LongParametersKeepTheirFirst255Bytes) {
  TExecFile exec;
  exec.Parameters = std::string(300, 'p');
  EXPECT_EQ(exec.Parameters.size(), 255u);
  EXPECT_EQ(exec.Parameters.str(), std::string(255, 'p'));
}

TEST_F(ExecFileTest, StartsProgramWithItsWordsHereAndWaits) {
  WriteRecorder(FDir.Path() / "prog.sh", FRecord, 3);
  FExec.CommandLine = "PROG.SH";  // found without regard to case
  FExec.Parameters = "a  b\t$(touch y) -d1&rm";
  FExec.Wait = true;
  FExec.WaitStyle = wSuspend;
  EXPECT_TRUE(FExec.Execute());
  const TRecord record = ReadRecord(FRecord);
  ASSERT_TRUE(record.Found);
  EXPECT_EQ(record.Args, (std::vector<std::string>{"a", "b", "$(touch", "y)", "-d1&rm"}));
  EXPECT_EQ(fs::path(record.Cwd), FDir.Path());
  EXPECT_EQ(FExec.LastExitCode(), 3);  // the exit code is kept but not treated as a failure
  EXPECT_FALSE(fs::exists(FDir.Path() / "y"));
  EXPECT_EQ(FFails, 0);
}

TEST_F(ExecFileTest, CombinedCommandLineIsCutTo255) {
  WriteRecorder(FDir.Path() / "prog.sh", FRecord);
  std::string params;
  while (params.size() < 300) params += "abcd ";
  FExec.CommandLine = "prog.sh";
  FExec.Parameters = params;
  FExec.Wait = true;
  ASSERT_TRUE(FExec.Execute());
  std::string joined;
  for (const std::string& a : ReadRecord(FRecord).Args) joined += (joined.empty() ? "" : " ") + a;
  // "prog.sh" and a blank leave 247 bytes of the parameters.
  std::string expected = params.substr(0, 255 - 8);
  while (!expected.empty() && expected.back() == ' ') expected.pop_back();
  EXPECT_EQ(joined, expected);
}

TEST_F(ExecFileTest, PriorityClassesBecomeNiceValues) {
  WriteRecorder(FDir.Path() / "prog.sh", FRecord);
  FExec.CommandLine = "prog.sh";
  FExec.Wait = true;
  const int own = ::getpriority(PRIO_PROCESS, 0);

  FExec.Priority = pcIdle;
  ASSERT_TRUE(FExec.Execute());
  EXPECT_EQ(ReadRecord(FRecord).Nice, 19);

  FExec.Priority = pcNormal;
  ASSERT_TRUE(FExec.Execute());
  EXPECT_EQ(ReadRecord(FRecord).Nice, own);

  // Raising needs privilege; without it the start goes on at the front-end's own value.
  FExec.Priority = pcRealTime;
  ASSERT_TRUE(FExec.Execute());
  EXPECT_EQ(ReadRecord(FRecord).Nice, ::geteuid() == 0 ? -20 : own);
  FExec.Priority = pcHigh;
  ASSERT_TRUE(FExec.Execute());
  EXPECT_EQ(ReadRecord(FRecord).Nice, ::geteuid() == 0 ? -10 : own);
  EXPECT_EQ(FFails, 0);
}

TEST_F(ExecFileTest, NothingStartedRaisesOnFailOnce) {
  FExec.Wait = true;
  FExec.CommandLine = "missing.exe";
  EXPECT_FALSE(FExec.Execute());
  EXPECT_EQ(FFails, 1);
  EXPECT_EQ(FFailSender, &FExec);
  EXPECT_NE(FExec.LastError().find("missing.exe"), std::string::npos);

  // Without an execute bit, and with one but no content the system can run (exec fails in the
  // child, which must still be reaped).
  FDir.Write("data.txt", "just text\n");
  FExec.CommandLine = "data.txt";
  EXPECT_FALSE(FExec.Execute());
  const fs::path junk = FDir.Write("junk.exe", "\x01\x02\x03 not a program");
  fs::permissions(junk, fs::perms::owner_all);
  FExec.CommandLine = "junk.exe";
  EXPECT_FALSE(FExec.Execute());
  EXPECT_EQ(FFails, 3);
  EXPECT_EQ(ZombieChildren(), 0);

  // Linux has no associations, so the retry finds nothing and the failure stands.
  FExec.Associate = true;
  FExec.CommandLine = "missing.doc";
  EXPECT_FALSE(FExec.Execute());
  EXPECT_EQ(FFails, 4);
  EXPECT_TRUE(FExec.AssociatedProgram().empty());
}

TEST_F(ExecFileTest, DeletedBatchFileIsAFailedStart) {
  WriteRecorder(FDir.Path() / "velk.exe", FRecord);
  WriteBatchFile();
  fs::remove(FDir.Path() / "batch.bat");
  ConfigureExecEmu(FExec);
  FExec.Parameters = "mygame -v -n";
  EXPECT_FALSE(FExec.Execute());
  EXPECT_EQ(FFails, 1);
  EXPECT_FALSE(ReadRecord(FRecord).Found);
  EXPECT_EQ(FUi.Waits, 0);

  // A folder of that name cannot be run either.
  FDir.MakeDir("Batch.bat");
  EXPECT_FALSE(FExec.Execute());
  EXPECT_EQ(FFails, 2);
  fs::remove(FDir.Path() / "Batch.bat");

  // The next start tries again.
  WriteBatchFile();
  EXPECT_TRUE(FExec.Execute());
  EXPECT_TRUE(ReadRecord(FRecord).Found);
  EXPECT_EQ(FFails, 2);
}

TEST_F(ExecFileTest, BatchFileHandsFiveWordsToTheEmulator) {
  WriteRecorder(FDir.Path() / "VELK.EXE", FRecord);
  WriteBatchFile();
  ConfigureExecEmu(FExec);
  FExec.Parameters = "mygame -v -n -d320x240 -r -s -a -j -f";
  // A display whose server is not running gets no terminal window, which would end at once.
  ScopedEnv deadDisplay("DISPLAY", ":977");
  ASSERT_TRUE(FExec.Execute());
  TRecord record = ReadRecord(FRecord);
  ASSERT_TRUE(record.Found);
  EXPECT_EQ(record.Args, (std::vector<std::string>{"mygame", "-v", "-n", "-d320x240", "-r"}));
  EXPECT_EQ(fs::path(record.Cwd), FDir.Path());
  EXPECT_TRUE(record.WindowId.empty());  // no display: no terminal window
  EXPECT_EQ(ReadFileBytes(FDir.Path() / "VELKStart.txt"), "output of VELK.EXE\n");

  FExec.Parameters = "";
  ASSERT_TRUE(FExec.Execute());
  record = ReadRecord(FRecord);
  EXPECT_TRUE(record.Args.empty());
  EXPECT_EQ(FFails, 0);
}

TEST_F(ExecFileTest, RegularWaitDispatchesEventsUntilTheEnd) {
  WriteRecorder(FDir.Path() / "prog.sh", FRecord, 0, 0.4);
  FExec.CommandLine = "prog.sh";
  FExec.Wait = true;
  int events = 0;
  bool nestedStart = true;
  FUi.OnWait = [&](TWaitHandle handle) {
    EXPECT_TRUE(FExec.Running());
    // An event arrives every 20 ms; a start from inside the wait is refused.
    if (events == 0) nestedStart = FExec.Execute();
    const bool ended = Readable(handle, 20);
    if (!ended) ++events;
    return ended;
  };
  const auto begin = std::chrono::steady_clock::now();
  ASSERT_TRUE(FExec.Execute());
  EXPECT_GE(std::chrono::steady_clock::now() - begin, 350ms);
  EXPECT_GE(events, 5);
  EXPECT_GE(FUi.ProcessMessagesCalls, 1);  // pending events once more after the end
  EXPECT_FALSE(nestedStart);
  EXPECT_FALSE(FExec.Running());
  EXPECT_EQ(FFails, 0);
}

TEST_F(ExecFileTest, QuitRequestEndsTheWait) {
  WriteRecorder(FDir.Path() / "prog.sh", FRecord, 0, 30);
  FExec.CommandLine = "prog.sh";
  FExec.Wait = true;
  FUi.OnWait = [&](TWaitHandle) {
    for (int i = 0; i < 200 && !fs::exists(FRecord); ++i) std::this_thread::sleep_for(10ms);
    FUi.Quit = true;  // the main window was closed meanwhile
    return false;
  };
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_TRUE(FExec.Execute());
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 10s);
  EXPECT_FALSE(FExec.Running());
  const TRecord record = ReadRecord(FRecord);
  ASSERT_TRUE(record.Found);
  // The process left behind (a session of its own) is still reaped (TearDown).
  ::kill(-std::stoi(record.Pid), SIGTERM);
}

TEST_F(ExecFileTest, UnwaitedStartReturnsAtOnceAndIsReaped) {
  WriteRecorder(FDir.Path() / "prog.sh", FRecord, 0, 0.3);
  FExec.CommandLine = "prog.sh";
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_TRUE(FExec.Execute());
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 250ms);
  EXPECT_EQ(FUi.Waits, 0);
  std::this_thread::sleep_for(600ms);
  EXPECT_TRUE(ReadRecord(FRecord).Found);
}

TEST(ProcessSeam, WaitHandleBecomesReadableOnlyAtTheEnd) {
  TempDir dir;
  const fs::path record = dir.Path() / "record.txt";
  WriteRecorder(dir.Path() / "prog.sh", record, 0, 0.3);
  std::string error;
  platform::TChildProcess child = platform::StartProcess(
      {(dir.Path() / "prog.sh").string(), platform::swHide, platform::NormalPriorityClass}, &error);
  ASSERT_TRUE(child.Valid()) << error;
  EXPECT_FALSE(Readable(child.WaitHandle(), 100));
  EXPECT_FALSE(child.HasEnded());
  EXPECT_TRUE(Readable(child.WaitHandle(), 5000));
  child.WaitForEnd();
  EXPECT_EQ(child.ExitCode(), 0);
  EXPECT_EQ(ZombieChildren(), 0);
}

TEST(ProcessSeam, SplitCommandLine) {
  using V = std::vector<std::string>;
  EXPECT_EQ(platform::SplitCommandLine(" batch.bat  mygame\t-v "),
            (V{"batch.bat", "mygame", "-v"}));
  EXPECT_EQ(platform::SplitCommandLine("\"my prog\" a\"b c\" \"\""), (V{"my prog", "ab c", ""}));
  EXPECT_EQ(platform::SplitCommandLine("batch.bat "), (V{"batch.bat"}));
  EXPECT_TRUE(platform::SplitCommandLine("  ").empty());
}

// The console window: the program's own console window beside it, or else a terminal that waits
// for its child, when a display is there. A private X server gives the test a display of its own.
TEST_F(ExecFileTest, BatchFileRunsInAConsoleWindowWhenADisplayIsThere) {
  const bool console = fs::exists(platform::ProgramDir() + "startvelk-console");
  const auto xterm = platform::FindOnPath("xterm");
  const auto xvfb = platform::FindOnPath("Xvfb");
  if ((!console && !xterm) || !xvfb) GTEST_SKIP() << "needs a console window or xterm, and Xvfb";
  ScopedEnv platformVar("QT_QPA_PLATFORM", nullptr);  // the console window on that display
  const int display = 100 + static_cast<int>(::getpid() % 400);
  const std::string socket = "/tmp/.X11-unix/X" + std::to_string(display);
  std::string error;
  platform::TSpawnOptions quiet;
  quiet.StdErr = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  platform::TChildProcess server = platform::SpawnArgv(
      {*xvfb, ":" + std::to_string(display), "-nolisten", "tcp", "-noreset"}, quiet, &error);
  ::close(quiet.StdErr);
  ASSERT_TRUE(server.Valid()) << error;
  for (int i = 0; i < 500 && !fs::exists(socket); ++i) std::this_thread::sleep_for(10ms);
  if (!fs::exists(socket)) {
    ::kill(static_cast<pid_t>(server.Id()), SIGTERM);
    server.WaitForEnd();
    GTEST_SKIP() << "Xvfb did not start";
  }
  ScopedEnv displayVar("DISPLAY", (":" + std::to_string(display)).c_str());

  WriteRecorder(FDir.Path() / "velk.exe", FRecord);
  WriteBatchFile();
  ConfigureExecEmu(FExec);
  FExec.Parameters = "mygame -v -n";
  EXPECT_TRUE(FExec.Execute());
  TRecord record = ReadRecord(FRecord);
  ASSERT_TRUE(record.Found);
  EXPECT_FALSE(record.WindowId.empty());  // the window is named to the programs inside
  EXPECT_EQ(record.Args, (std::vector<std::string>{"mygame", "-v", "-n"}));
  EXPECT_EQ(ReadFileBytes(FDir.Path() / "VELKStart.txt"), "output of velk.exe\n");

  // A hidden window style runs the batch file without a terminal even with a display.
  FExec.WindowStyle = wsHide;
  EXPECT_TRUE(FExec.Execute());
  record = ReadRecord(FRecord);
  EXPECT_TRUE(record.WindowId.empty());

  ::kill(static_cast<pid_t>(server.Id()), SIGTERM);
  server.WaitForEnd();
  EXPECT_EQ(FFails, 0);
}
