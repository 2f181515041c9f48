// One instance per emulator folder: the lock, its note, and a holder that dies.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "TempDir.h"
#include "platform/InstanceLock.h"

using namespace platform;

namespace {

// A process of its own holding the lock of path with note, until it is killed.
pid_t HoldInChild(const std::string& path, const std::string& note) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    TInstanceLock lock;
    const char ok = lock.Acquire(path) && lock.WriteNote(note) ? 1 : 0;
    [[maybe_unused]] auto written = ::write(ready[1], &ok, 1);
    for (;;) ::pause();
  }
  ::close(ready[1]);  // a child that dies before it answers ends the read
  char ok = 0;
  [[maybe_unused]] auto got = ::read(ready[0], &ok, 1);
  ::close(ready[0]);
  return ok ? child : -1;
}

TEST(InstanceLockTest, OneHolderAtATimeAndAKilledHolderBlocksNothing) {
  TempDir dir;
  const std::string path = (dir.Path() / "emu.lock").string();
  const pid_t holder = HoldInChild(path, "waiting\nMr. X");
  ASSERT_GT(holder, 0);

  TInstanceLock second;
  std::string error = "unchanged";
  EXPECT_FALSE(second.Acquire(path, &error));
  EXPECT_EQ(error, "") << "held is no error";
  EXPECT_EQ(ReadInstanceNote(path), "waiting\nMr. X");
  TInstanceLock other;  // another folder's lock is not blocked
  EXPECT_TRUE(other.Acquire((dir.Path() / "other.lock").string()));

  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  ASSERT_TRUE(second.Acquire(path, &error)) << error;
  EXPECT_EQ(ReadInstanceNote(path), "") << "a dead holder's note is gone";
  ASSERT_TRUE(second.WriteNote(std::string(InstanceNoteSize + 100, 'n')));
  EXPECT_EQ(ReadInstanceNote(path).size(), InstanceNoteSize);

  TInstanceLock third;  // within one process, too
  EXPECT_FALSE(third.Acquire(path));
  second.Release();
  EXPECT_TRUE(third.Acquire(path));
}

TEST(InstanceLockTest, EverySpellingOfAFolderMeetsTheSameLockInAPrivatePlace) {
  TempDir dir;
  const auto a = dir.MakeDir("emu"), b = dir.MakeDir("other");
  std::filesystem::create_directory_symlink(a, dir.Path() / "link");
  const char* old = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = old ? old : "";
  setenv("XDG_RUNTIME_DIR", dir.Str().c_str(), 1);
  const std::string lockA = InstanceLockPath(a.string());
  EXPECT_FALSE(lockA.empty());
  EXPECT_EQ(InstanceLockPath((dir.Path() / "link").string()), lockA);
  EXPECT_EQ(InstanceLockPath((dir.Path() / "emu" / ".." / "emu").string()), lockA);
  EXPECT_NE(InstanceLockPath(b.string()), lockA);
  EXPECT_EQ(InstanceLockPath((dir.Path() / "missing").string()), "");
  const auto place = std::filesystem::status(std::filesystem::path(lockA).parent_path());
  EXPECT_EQ(place.permissions() & std::filesystem::perms::all, std::filesystem::perms::owner_all);
  if (old)
    setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  else
    unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
