#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

TOutputFile::~TOutputFile() {
  Discard();
}

bool TOutputFile::Create(const std::string& path, bool* exists, std::string* error) {
  *exists = false;
  // Read and write for the mapping. O_EXCL also refuses a dangling symbolic link, so nothing
  // outside is ever written through one.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) {
    *exists = errno == EEXIST;
    *error = std::strerror(errno);
    return false;
  }
  FPath = path;
  FHandle = fd;
  return true;
}

bool TOutputFile::Write(const unsigned char* data, std::size_t size, std::string* error) {
  while (size > 0) {
    const ssize_t n = ::write(static_cast<int>(FHandle), data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = n < 0 ? std::strerror(errno) : "nothing written";
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

unsigned char* TOutputFile::Map(std::uint64_t size, std::string* error) {
  const int fd = static_cast<int>(FHandle);
  // Reserve the blocks now: a full disk shows here, not as a fault while writing the mapping.
  int rc = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
  if (rc == EOPNOTSUPP || rc == EINVAL) rc = ::ftruncate(fd, static_cast<off_t>(size)) ? errno : 0;
  if (rc != 0) {
    *error = std::strerror(rc);
    return nullptr;
  }
  void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) {
    *error = std::strerror(errno);
    return nullptr;
  }
  FView = static_cast<unsigned char*>(view);
  FViewSize = size;
  return FView;
}

void TOutputFile::Unmap() {
  if (FView) ::munmap(FView, FViewSize);
  FView = nullptr;
  FViewSize = 0;
}

bool TOutputFile::Finish(std::time_t mtime, std::string* error) {
  Unmap();
  const int fd = static_cast<int>(FHandle);
  const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
  ::futimens(fd, times);
  if (::close(fd) != 0) {
    *error = std::strerror(errno);
    FHandle = -1;
    ::unlink(FPath.c_str());
    return false;
  }
  FHandle = -1;
  return true;
}

void TOutputFile::Discard() {
  Unmap();
  if (FHandle < 0) return;
  ::close(static_cast<int>(FHandle));
  FHandle = -1;
  ::unlink(FPath.c_str());
}

}  // namespace unziplib
