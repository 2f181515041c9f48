// A run is every process its first process began: the watch sees a child the first process left
// behind, wakes when it ends, and a run's processes can be ended together.

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>

#include "platform/RunSession.h"
#include "platform/Spawn_posix.h"

using namespace platform;

namespace {

// A first process in a session of its own that leaves a child behind and ends at once.
TChildProcess StartRun(const char* childSeconds) {
  TSpawnOptions options;
  options.NewSession = true;
  std::string error;
  TChildProcess leader = SpawnArgv(
      {"/bin/sh", "-c", std::string("sleep ") + childSeconds + " </dev/null >/dev/null 2>&1 &"},
      options, &error);
  EXPECT_TRUE(leader.Valid()) << error;
  leader.WaitForEnd();
  return leader;
}

TEST(RunSession, TheRunLastsUntilTheChildItsFirstProcessLeftHasEnded) {
  TChildProcess leader = StartRun("0.4");
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(RunProcesses(leader.Id()).size(), 1u);
  EXPECT_TRUE(RunStillActive(leader.Id(), "", BootId()));
  EXPECT_FALSE(RunStillActive(leader.Id(), "", "another boot"));

  TRunWatch watch(leader.Id());
  int wakes = 0;
  while (!watch.Ended()) {
    pollfd p{static_cast<int>(watch.WaitHandle()), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    ++wakes;
  }
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
  EXPECT_LE(wakes, 3);  // woken by the end, not by a timer
  EXPECT_FALSE(RunStillActive(leader.Id(), "", BootId()));
}

TEST(RunSession, EndingARunEndsEveryProcessInIt) {
  TChildProcess leader = StartRun("30");
  ASSERT_EQ(RunProcesses(leader.Id()).size(), 1u);
  EndRunProcesses(leader.Id(), false);
  TRunWatch watch(leader.Id());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!watch.Ended() && std::chrono::steady_clock::now() < deadline) {
    pollfd p{static_cast<int>(watch.WaitHandle()), POLLIN, 0};
    ::poll(&p, 1, 1000);
  }
  EXPECT_TRUE(RunProcesses(leader.Id()).empty());
}

}  // namespace
