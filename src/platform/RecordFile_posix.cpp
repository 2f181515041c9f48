#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "Files.h"
#include "RecordFile.h"

namespace platform {
namespace {

std::int64_t Ns(const struct statx_timestamp& t) {
  return t.tv_sec * std::int64_t{1000000000} + t.tv_nsec;
}

// statx gives the creation time where the file system keeps one; fstat is the fallback.
std::optional<TFileStamp> StampAt(int dirFd, const char* name, int flags) {
  struct statx sx {};
  if (::statx(dirFd, name, flags | AT_STATX_SYNC_AS_STAT,
              STATX_TYPE | STATX_INO | STATX_SIZE | STATX_MTIME | STATX_CTIME | STATX_BTIME,
              &sx) != 0)
    return std::nullopt;
  TFileStamp stamp;
  stamp.Device = (static_cast<std::uint64_t>(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
  stamp.Inode = sx.stx_ino;
  stamp.Size = sx.stx_size;
  stamp.ModifiedNs = Ns(sx.stx_mtime);
  stamp.ChangedNs = Ns(sx.stx_ctime);
  stamp.BornNs = (sx.stx_mask & STATX_BTIME) ? Ns(sx.stx_btime) : 0;
  return stamp;
}

bool IsKind(int dirFd, const char* name, int flags, mode_t kind) {
  struct stat st;
  return ::fstatat(dirFd, name, &st, flags) == 0 && (st.st_mode & S_IFMT) == kind;
}

void SyncDir(const std::string& dir) {
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Gives from the name to, failing with EEXIST rather than replacing a file there. A hard link
// does it where the file system has them; renameat2 or a check first where it has not.
bool MoveNoReplace(const std::string& from, const std::string& to) {
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return true;
  }
  if (errno == EEXIST) return false;
#ifdef SYS_renameat2
  if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 1 /*NOREPLACE*/) ==
      0)
    return true;
  if (errno == EEXIST) return false;
#endif
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

bool IsPlainEntryName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F || c == '/' || c == '\\') return false;
  }
  return true;
}

TLockedRecord::~TLockedRecord() {
  Close();
}

void TLockedRecord::Close() {
  if (FHandle >= 0) ::close(static_cast<int>(FHandle));
  FHandle = -1;
}

bool TLockedRecord::Create(const std::string& dir, const std::string& name, std::string_view first,
                           int* error) {
  Close();
  const auto fail = [&] {
    if (error) *error = errno;
    return false;
  };
  // Written under a hidden name first, so that nobody ever reads it half written.
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  const std::string temp =
      JoinPath(dir, "." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(now));
  const int fd = ::open(temp.c_str(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        0644);
  if (fd < 0) return fail();
  // Where the file system has no locks, the record's owner line tells whether it is live.
  ::flock(fd, LOCK_EX | LOCK_NB);
  if (!WriteAll(fd, first) || ::fsync(fd) != 0) {
    const int code = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    errno = code;
    return fail();
  }
  FPath = JoinPath(dir, name);
  if (!MoveNoReplace(temp, FPath)) {
    const int code = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    errno = code;
    return fail();
  }
  SyncDir(dir);
  FHandle = fd;
  return true;
}

TLockedRecord::TOpen TLockedRecord::OpenExisting(const std::string& path, int* error) {
  Close();
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (error) *error = fd < 0 ? errno : EINVAL;
    if (fd >= 0) ::close(fd);
    return TOpen::oUnusable;
  }
  FHandle = fd;
  FPath = path;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return TOpen::oHeldElsewhere;
  return TOpen::oLocked;
}

std::optional<std::string> TLockedRecord::ReadAll(std::uint64_t maxBytes) const {
  if (FHandle < 0) return std::nullopt;
  const int fd = static_cast<int>(FHandle);
  std::string text;
  char buffer[65536];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    if (text.size() + static_cast<std::size_t>(n) > maxBytes) return std::nullopt;
    text.append(buffer, static_cast<std::size_t>(n));
    at += n;
  }
  return text;
}

std::optional<TFileStamp> TLockedRecord::Stamp() const {
  if (FHandle < 0) return std::nullopt;
  return StampAt(static_cast<int>(FHandle), "", AT_EMPTY_PATH);
}

bool TLockedRecord::Append(std::string_view bytes) {
  return FHandle >= 0 && WriteAll(static_cast<int>(FHandle), bytes);
}

void TLockedRecord::Sync() {
  if (FHandle >= 0) ::fsync(static_cast<int>(FHandle));
}

bool TLockedRecord::Remove(int* error) {
  if (FHandle < 0) return true;
  const bool removed = ::unlink(FPath.c_str()) == 0 || errno == ENOENT;
  if (!removed && error) *error = errno;
  Close();
  return removed;
}

std::optional<std::string> RenameAside(const std::string& path, const std::string& suffix) {
  for (int n = 1; n < 100; ++n) {
    const std::string to = path + suffix + (n == 1 ? "" : "." + std::to_string(n));
    if (MoveNoReplace(path, to)) return to;
    if (errno != EEXIST) break;
  }
  return std::nullopt;
}

std::optional<std::string> TLockedRecord::SetAside(const std::string& suffix) {
  if (FHandle < 0) return std::nullopt;
  auto to = RenameAside(FPath, suffix);
  Close();
  return to;
}

TConfinedFolder::~TConfinedFolder() {
  if (FFolder >= 0) ::close(static_cast<int>(FFolder));
  if (FParent >= 0) ::close(static_cast<int>(FParent));
}

bool TConfinedFolder::Open(const std::string& parent, const std::string& name, int* error) {
  const auto fail = [&](int code) {
    if (error) *error = code;
    return false;
  };
  if (!IsPlainEntryName(name)) return fail(EINVAL);
  const int parentFd =
      ::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parentFd < 0) return fail(errno);
  // O_NOFOLLOW refuses a link as the last component, which is the only one.
  const int fd =
      ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    int code = errno;
    if (IsKind(parentFd, name.c_str(), AT_SYMLINK_NOFOLLOW, S_IFLNK)) code = ELOOP;
    ::close(parentFd);
    return fail(code);
  }
  FParent = parentFd;
  FFolder = fd;
  FName = name;
  return true;
}

std::optional<TFileStamp> TConfinedFolder::Stamp() const {
  if (FFolder < 0) return std::nullopt;
  return StampAt(static_cast<int>(FFolder), "", AT_EMPTY_PATH);
}

std::optional<TFileStamp> TConfinedFolder::RegularFile(const std::string& name) const {
  if (FFolder < 0 || !IsPlainEntryName(name)) return std::nullopt;
  const int fd = static_cast<int>(FFolder);
  if (!IsKind(fd, name.c_str(), AT_SYMLINK_NOFOLLOW, S_IFREG)) return std::nullopt;
  return StampAt(fd, name.c_str(), AT_SYMLINK_NOFOLLOW);
}

bool TConfinedFolder::RemoveFile(const std::string& name, int* error) {
  if (FFolder < 0 || !IsPlainEntryName(name)) {
    if (error) *error = EINVAL;
    return false;
  }
  if (::unlinkat(static_cast<int>(FFolder), name.c_str(), 0) == 0 || errno == ENOENT) return true;
  if (error) *error = errno;
  return false;
}

bool TConfinedFolder::RemoveIfEmpty(int* error) {
  if (FParent < 0) return false;
  // Removes only an empty folder, and only the entry under this name: a link there is refused.
  if (::unlinkat(static_cast<int>(FParent), FName.c_str(), AT_REMOVEDIR) == 0) return true;
  if (error) *error = errno;
  return false;
}

}  // namespace platform
