#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "SharedFile.h"

namespace platform {
namespace {

std::string Why(const std::string& path, int code) {
  if (code == ELOOP) return path + ": a link, not a file";
  if (code == EILSEQ) return path + ": another program has put a different file there";
  return path + ": " + std::strerror(code);
}

class TFd {
 public:
  explicit TFd(int fd = -1) : FFd(fd) {}
  ~TFd() {
    if (FFd >= 0) ::close(FFd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return FFd; }
  void Reset(int fd) {
    if (FFd >= 0) ::close(FFd);
    FFd = fd;
  }

 private:
  int FFd;
};

int Lock(int fd, int how) {
  int rc;
  do rc = ::flock(fd, how);
  while (rc != 0 && errno == EINTR);
  return rc;
}

// Opens path and takes its lock. A writer that renamed a new file over the name while this one
// waited for the lock leaves the old file locked: the name is opened again until the lock is
// held on the file the name stands for. -1 with errno when it cannot be opened.
int OpenLocked(const std::string& path, int flags, int lock) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) return -1;
    struct stat held, named;
    if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
      ::close(fd);
      errno = EINVAL;
      return -1;
    }
    if (Lock(fd, lock) != 0) {
      const int code = errno;
      ::close(fd);
      errno = code;
      return -1;
    }
    if (::fstat(fd, &held) == 0 && held.st_nlink > 0 && ::lstat(path.c_str(), &named) == 0 &&
        named.st_dev == held.st_dev && named.st_ino == held.st_ino)
      return fd;
    ::close(fd);
  }
  errno = EAGAIN;
  return -1;
}

bool ReadAt(int fd, char* to, std::size_t count, off_t at) {
  while (count > 0) {
    const ssize_t n = ::pread(fd, to, count, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    to += n;
    count -= static_cast<std::size_t>(n);
    at += n;
  }
  return true;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const std::size_t cut = path.find_last_of('/');
  return cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
}

void SyncFolder(const std::string& path) {
  const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::optional<std::string> ReadWhole(int fd, std::uint64_t maxBytes, bool* tooLarge) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return std::nullopt;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (size > maxBytes) {
    *tooLarge = true;
    return std::nullopt;
  }
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (!ReadAt(fd, bytes.data(), bytes.size(), 0)) return std::nullopt;
  return bytes;
}

// The length the file keeps when its last line has no end: up to the last line end, within the
// last megabyte (a longer line is no line of such a file).
std::optional<off_t> WholeLinesLength(int fd, off_t size) {
  const off_t window = std::min<off_t>(size, 1 << 20);
  std::string tail(static_cast<std::size_t>(window), '\0');
  if (!ReadAt(fd, tail.data(), tail.size(), size - window)) return std::nullopt;
  const std::size_t end = tail.find_last_of('\n');
  if (end == std::string::npos) return std::nullopt;
  return size - window + static_cast<off_t>(end) + 1;
}

}  // namespace

TSharedContent ReadShared(const std::string& path, std::uint64_t maxBytes) {
  TSharedContent content;
  const TFd fd(OpenLocked(path, O_RDONLY, LOCK_SH));
  if (fd.Get() < 0) {
    content.Error = errno;
    content.Result = errno == ENOENT ? TSharedRead::srMissing : TSharedRead::srUnusable;
    return content;
  }
  bool tooLarge = false;
  std::optional<std::string> bytes = ReadWhole(fd.Get(), maxBytes, &tooLarge);
  if (!bytes) {
    content.Error = errno;
    content.Result = tooLarge ? TSharedRead::srTooLarge : TSharedRead::srUnusable;
    return content;
  }
  content.Bytes = std::move(*bytes);
  content.Result = TSharedRead::srRead;
  return content;
}

bool AppendShared(const std::string& path, std::string_view header, std::string_view bytes,
                  std::string* error) {
  const auto fail = [&](int code) {
    if (error) *error = Why(path, code);
    return false;
  };
  const TFd fd(OpenLocked(path, O_RDWR | O_CREAT | O_APPEND, LOCK_EX));
  if (fd.Get() < 0) return fail(errno);
  struct stat st;
  if (::fstat(fd.Get(), &st) != 0) return fail(errno);
  off_t size = st.st_size;
  if (size > 0 && static_cast<std::uint64_t>(size) < header.size()) {
    // The header of a first write that a crash cut short is written again.
    std::string first(static_cast<std::size_t>(size), '\0');
    if (!ReadAt(fd.Get(), first.data(), first.size(), 0) || !header.starts_with(first))
      return fail(EILSEQ);
    if (::ftruncate(fd.Get(), 0) != 0) return fail(errno);
    size = 0;
  }
  const bool created = size == 0;
  if (!created) {
    std::string first(header.size(), '\0');
    if (!ReadAt(fd.Get(), first.data(), first.size(), 0) || first != header) return fail(EILSEQ);
    char last = '\n';
    if (!ReadAt(fd.Get(), &last, 1, size - 1)) return fail(errno);
    if (last != '\n') {
      const std::optional<off_t> whole = WholeLinesLength(fd.Get(), size);
      if (!whole || *whole < static_cast<off_t>(header.size()) ||
          ::ftruncate(fd.Get(), *whole) != 0)
        return fail(whole ? errno : EILSEQ);
      size = *whole;
    }
  }
  std::string all;
  if (created) all.append(header);
  all.append(bytes);
  if (!WriteAll(fd.Get(), all)) {
    const int code = errno;
    // Nothing half written stays: the lines before are as they were.
    [[maybe_unused]] const int undone = ::ftruncate(fd.Get(), size);
    return fail(code);
  }
  if (::fdatasync(fd.Get()) != 0) return fail(errno);
  if (created) SyncFolder(path);
  return true;
}

bool RewriteShared(const std::string& path, std::uint64_t maxBytes,
                   const std::function<std::optional<std::string>(std::string_view)>& make,
                   std::string* error) {
  const auto fail = [&](int code) {
    if (error) *error = Why(path, code);
    return false;
  };
  const TFd fd(OpenLocked(path, O_RDONLY, LOCK_EX));
  if (fd.Get() < 0) return errno == ENOENT ? true : fail(errno);
  bool tooLarge = false;
  const std::optional<std::string> current = ReadWhole(fd.Get(), maxBytes, &tooLarge);
  if (!current) return fail(tooLarge ? EFBIG : errno);
  const std::optional<std::string> next = make(*current);
  if (!next) return true;
  struct stat st;
  const mode_t mode = ::fstat(fd.Get(), &st) == 0 ? (st.st_mode & 0777) : 0644;
  const std::string temp = path + ".new-" + std::to_string(::getpid());
  TFd out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
  if (out.Get() < 0) return fail(errno);
  if (!WriteAll(out.Get(), *next) || ::fsync(out.Get()) != 0) {
    const int code = errno;
    out.Reset(-1);
    ::unlink(temp.c_str());
    return fail(code);
  }
  out.Reset(-1);
  // Still holding the old file's lock: a writer waiting for it finds the name moved on.
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int code = errno;
    ::unlink(temp.c_str());
    return fail(code);
  }
  SyncFolder(path);
  return true;
}

std::optional<std::string> ReadFileTail(const std::string& path, std::uint64_t maxBytes) {
  const TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st;
  if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  const std::uint64_t count = std::min(size, maxBytes);
  std::string bytes(static_cast<std::size_t>(count), '\0');
  // A file that shrinks meanwhile gives what could be read.
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::pread(fd.Get(), bytes.data() + got, bytes.size() - got,
                              static_cast<off_t>(size - count + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

}  // namespace platform
