#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Files.h"
#include "InstanceLock.h"

namespace platform {

namespace {

// A folder of this user's own, not writable by others: a shared /tmp must not let anyone else
// put a link or a file of theirs where the lock is looked for.
bool PrivateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
         (st.st_mode & 022) == 0;
}

bool WriteNoteAt(int fd, std::string_view note) {
  char record[InstanceNoteSize] = {};
  if (!note.empty()) std::memcpy(record, note.data(), std::min(note.size(), InstanceNoteSize));
  // One write of the whole record, so a reader finds the old note or the new one.
  return ::pwrite(fd, record, sizeof record, 0) == static_cast<ssize_t>(sizeof record);
}

}  // namespace

TInstanceLock::~TInstanceLock() {
  Release();
}

bool TInstanceLock::Acquire(const std::string& path, std::string* error) {
  Release();
  if (error) error->clear();
  // Not inherited by the emulator: a game that outlives the program must not keep the lock.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) {
    if (error) *error = "Cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (error) *error = "Cannot use " + path + ": not a regular file";
    ::close(fd);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int code = errno;
    if (code != EWOULDBLOCK && error) *error = "Cannot lock " + path + ": " + std::strerror(code);
    ::close(fd);
    return false;
  }
  FFd = fd;
  WriteNoteAt(FFd, {});
  return true;
}

bool TInstanceLock::Held() const {
  return FFd >= 0;
}

void TInstanceLock::Release() {
  if (FFd < 0) return;
  ::close(FFd);  // drops the lock
  FFd = -1;
}

bool TInstanceLock::WriteNote(std::string_view note) {
  return FFd >= 0 && WriteNoteAt(FFd, note);
}

std::string ReadInstanceNote(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return {};
  struct stat st;
  char record[InstanceNoteSize];
  ssize_t got = 0;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) got = ::pread(fd, record, sizeof record, 0);
  ::close(fd);
  if (got <= 0) return {};
  return std::string(record, strnlen(record, static_cast<std::size_t>(got)));
}

std::string InstanceLockPath(const std::string& folder) {
  struct stat st;
  if (folder.empty() || ::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  std::string base;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/' && DirectoryExists(runtime)) {
    base = JoinPath(runtime, "startvelk");
  } else {
    const char* tmp = std::getenv("TMPDIR");
    base = JoinPath(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp",
                    "startvelk-" + std::to_string(::getuid()));
  }
  if (!PrivateFolder(base)) return {};
  char name[64];
  std::snprintf(name, sizeof name, "emu-%llx-%llx.lock", static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  return JoinPath(base, name);
}

}  // namespace platform
