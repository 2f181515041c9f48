#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "UnzipFile.h"
#include "platform/Files.h"

namespace unziplib {

TInputMap::~TInputMap() {
  if (FData && FSize) ::munmap(const_cast<unsigned char*>(FData), FSize);
}

bool TInputMap::Open(const std::string& path, std::string* error) {
  // A pipe under the archive's name would block the open until a writer comes.
  const int fd = platform::OpenRegularFile(path);
  if (fd < 0) {
    *error = platform::OpenFailureText(errno);
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = "not a regular file";
    ::close(fd);
    return false;
  }
  FSize = static_cast<std::uint64_t>(st.st_size);
  if (FSize == 0) {
    ::close(fd);
    return true;
  }
  void* view = ::mmap(nullptr, FSize, PROT_READ, MAP_PRIVATE, fd, 0);
  const int mapErrno = errno;
  ::close(fd);
  if (view == MAP_FAILED) {
    *error = std::strerror(mapErrno);
    FSize = 0;
    return false;
  }
  ::madvise(view, FSize, MADV_SEQUENTIAL);
  FData = static_cast<const unsigned char*>(view);
  return true;
}

void TInputMap::Done(const unsigned char* data, std::uint64_t size) const {
  static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + page - 1) / page * page,
                       last = (begin + size) / page * page;
  // Only pages of these bytes alone: the neighbouring entries' pages stay.
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

namespace {

TFileError Failure(int code) {
  const bool recurs = code == ENOSPC || code == EDQUOT || code == EROFS || code == EACCES ||
                      code == EPERM || code == EFBIG;
  return {std::strerror(code), recurs};
}

}  // namespace

TOutputFile::~TOutputFile() {
  Discard();
}

bool TOutputFile::Create(const std::string& path, bool* exists, TFileError* error) {
  *exists = false;
  // O_EXCL also refuses a dangling symbolic link, so nothing outside is ever written through one.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) {
    *exists = errno == EEXIST;
    *error = Failure(errno);
    return false;
  }
  FPath = path;
  FHandle = fd;
  return true;
}

bool TOutputFile::Reserve(std::uint64_t size, TFileError* error) {
  const int rc = ::posix_fallocate(static_cast<int>(FHandle), 0, static_cast<off_t>(size));
  if (rc == 0 || rc == EOPNOTSUPP || rc == EINVAL) return true;  // the writing will tell
  *error = Failure(rc);
  return false;
}

bool TOutputFile::Write(const unsigned char* data, std::size_t size, TFileError* error) {
  while (size > 0) {
    const ssize_t n = ::write(static_cast<int>(FHandle), data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A write that takes nothing without an error has met a full disk.
      *error = Failure(n < 0 ? errno : ENOSPC);
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool TOutputFile::Finish(std::time_t mtime, TFileError* error) {
  const int fd = static_cast<int>(FHandle);
  const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
  ::futimens(fd, times);
  FHandle = -1;
  if (::close(fd) != 0) {
    *error = Failure(errno);
    ::unlink(FPath.c_str());
    return false;
  }
  return true;
}

void TOutputFile::Discard() {
  if (FHandle < 0) return;
  ::close(static_cast<int>(FHandle));
  FHandle = -1;
  ::unlink(FPath.c_str());
}

}  // namespace unziplib
