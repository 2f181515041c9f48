// Built into every Qt program and test of a sanitizer build, nowhere else.
//
// The leak check runs as the process ends. Qt paints large areas on a pool of threads of its own,
// and a pooled thread that is still on its way out at that moment holds the last reference to its
// thread data, which the check then reports as a leak now and then. So the process waits, briefly
// and with a bound, until the threads other than its own have ended: the check then sees a settled
// process, and a leak it reports is a real one.

#include <dirent.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

int ThreadCount() {
  DIR* tasks = ::opendir("/proc/self/task");
  if (!tasks) return 1;
  int count = 0;
  while (const dirent* entry = ::readdir(tasks))
    if (entry->d_name[0] != '.') ++count;
  ::closedir(tasks);
  return count;
}

void WaitForTheOtherThreads() {
  // Registered before main, so it runs after the static destructors that end Qt's pool.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  while (ThreadCount() > 1 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

const int kRegistered = std::atexit(WaitForTheOtherThreads);

}  // namespace
