#include "FakeUserInteraction.h"

#ifdef _WIN32
#include <windows.h>
bool FakeUserInteraction::WaitForHandle(TWaitHandle handle) {
  return WaitForSingleObject(reinterpret_cast<HANDLE>(handle), INFINITE) == WAIT_OBJECT_0;
}
#else
#include <poll.h>

#include <cerrno>
bool FakeUserInteraction::WaitForHandle(TWaitHandle handle) {
  pollfd p{static_cast<int>(handle), POLLIN, 0};
  int n;
  do n = ::poll(&p, 1, -1);
  while (n < 0 && errno == EINTR);
  return n > 0;
}
#endif
