#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "Files.h"
#include "FoldedIndex.h"
#include "Text.h"

namespace platform {
namespace {

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

bool LStat(const std::string& path, struct stat& st) { return ::lstat(path.c_str(), &st) == 0; }

TDirStamp StampOf(const struct stat& st) {
  constexpr std::int64_t kNs = 1000000000;
  TDirStamp stamp;
  stamp.Device = static_cast<std::uint64_t>(st.st_dev);
  stamp.Inode = static_cast<std::uint64_t>(st.st_ino);
  stamp.ModifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * kNs + st.st_mtim.tv_nsec;
  stamp.ChangedNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * kNs + st.st_ctim.tv_nsec;
  return stamp;
}

std::optional<TDirStamp> DirStamp(const std::string& dir) {
  struct stat st;
  if (::stat(dir.empty() ? "." : dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return std::nullopt;
  return StampOf(st);
}

struct TListed {
  std::string Name;
  unsigned char Type;  // as the listing gives it
};

// Whether the directory's times come from this machine's clock in steps of at most one timer
// tick: local Linux file systems with nanosecond times. FAT keeps two-second steps, and a network
// file system takes the server's clock.
bool HasFineLocalTimes(int dirFd) {
#ifdef __linux__
  struct statfs fs;
  if (::fstatfs(dirFd, &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // xfs
    case 0x9123683E:  // btrfs
    case 0x01021994:  // tmpfs
    case 0xF2F52010:  // f2fs
      return true;
    default:
      return false;
  }
#else
  (void)dirFd;
  return false;
#endif
}

// The last full listing of a large directory, kept so that the case-insensitive look-ups of a
// start-up (the batch file, the clean-up records, the unzip library, the screenshot folder) do
// not each read tens of thousands of entries again. It answers while the directory has the stamp
// it had when listed. A listing is kept only when the directory had not changed for longer than
// a tick of the file system's clock before it: a change in the same tick would leave the stamp
// as it was. A file the program itself writes there is added to it.
class TListingMemo {
 public:
  static constexpr std::size_t kFromEntries = 512;
  static constexpr std::int64_t kSettledNs =
      std::int64_t{50} * 1000 * 1000;  // five ticks at 100 Hz

  void Keep(const TDirStamp& stamp, std::int64_t listedNs, std::vector<TListed> entries) {
    if (std::max(stamp.ModifiedNs, stamp.ChangedNs) > listedNs - kSettledNs) return;
    TFoldedIndex index(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
      index.Add(entries[i].Name, static_cast<std::uint32_t>(i));
    const std::lock_guard<std::mutex> lock(FLock);
    FStamp = stamp;
    FEntries = std::move(entries);
    FIndex = std::move(index);
  }

  // Calls use(entries, index) under the lock when the memo describes dir as it is now.
  template <typename Use>
  bool With(const std::string& dir, Use use) {
    const std::lock_guard<std::mutex> lock(FLock);
    if (FEntries.empty() || DirStamp(dir) != FStamp) return false;
    use(FEntries, FIndex);
    return true;
  }

  // name was just written in dir, whose stamp was before until then.
  void Added(const std::string& dir, const TDirStamp& before, std::string_view name) {
    const std::lock_guard<std::mutex> lock(FLock);
    if (FEntries.empty() || !(before == FStamp)) return;
    const auto now = DirStamp(dir);
    if (!now) return Forget();
    FStamp = *now;
    if (FIndex.Probe(name, [&](std::size_t i) { return FEntries[i].Name == name; })) return;
    FIndex.Add(name, static_cast<std::uint32_t>(FEntries.size()));
    FEntries.push_back({std::string(name), DT_REG});
  }

 private:
  void Forget() {
    FEntries.clear();
    FIndex = TFoldedIndex();
  }

  std::mutex FLock;
  TDirStamp FStamp;
  std::vector<TListed> FEntries;
  TFoldedIndex FIndex;
};

TListingMemo& ListingMemo() {
  static TListingMemo memo;
  return memo;
}

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Every entry of the open directory, in listing order; the memo keeps the listing of a large one.
std::vector<TListed> ListAll(DIR* d) {
  std::vector<TListed> entries;
  const std::int64_t listedNs = NowNs();
  struct stat before, after;
  const bool stamped = ::fstat(::dirfd(d), &before) == 0;
  while (const dirent* e = ::readdir(d)) entries.push_back({e->d_name, e->d_type});
  if (stamped && entries.size() >= TListingMemo::kFromEntries && ::fstat(::dirfd(d), &after) == 0 &&
      StampOf(before) == StampOf(after) && HasFineLocalTimes(::dirfd(d)))
    ListingMemo().Keep(StampOf(before), listedNs, entries);
  return entries;
}

// The entry of dir whose name equals name ignoring ASCII case; the smallest in byte order when
// several do, so the choice never depends on the listing order.
std::optional<std::string> FindCaseVariant(const std::string& dir, std::string_view name) {
  std::optional<std::string> best;
  const auto consider = [&](std::string_view entry) {
    if (SameTextAscii(entry, name) && (!best || entry < *best)) best = std::string(entry);
  };
  if (ListingMemo().With(dir, [&](const std::vector<TListed>& entries, const TFoldedIndex& index) {
        index.Probe(name, [&](std::size_t i) {
          consider(entries[i].Name);
          return false;
        });
      }))
    return best;
  DirHandle d(::opendir(dir.empty() ? "." : dir.c_str()));
  if (!d) return std::nullopt;
  for (const TListed& entry : ListAll(d.get())) consider(entry.Name);
  return best;
}

// Counts the entries of the open directory fd up to limit, and closes it.
std::size_t CountOpenDirectory(int fd, std::size_t limit) {
  std::size_t count = 0;
#ifdef __linux__
  // One read of the raw entries into a small buffer is all a count of a few entries takes: no
  // listing buffer to allocate and no look-up of the open directory, as a DIR stream would make.
  alignas(8) char buffer[2048];
  while (count < limit) {
    const ssize_t got = ::getdents64(fd, buffer, sizeof buffer);
    if (got <= 0) break;
    for (ssize_t at = 0; at < got && count < limit;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
      if (entry->d_reclen == 0) break;  // never from a sane kernel; no endless loop either way
      at += entry->d_reclen;
      ++count;
    }
  }
  ::close(fd);
#else
  DirHandle d(::fdopendir(fd));
  if (!d) {
    ::close(fd);
    return 0;
  }
  while (count < limit && ::readdir(d.get()) != nullptr) ++count;
#endif
  return count;
}

}  // namespace

std::string ResolvePath(const std::string& path) {
  if (path.empty()) return path;
  std::string resolved;
  std::size_t pos = 0;
  if (path[0] == '/') {
    resolved = "/";
    pos = 1;
  }
  bool missing = false;  // once a component is absent, the rest cannot exist either
  while (pos <= path.size()) {
    std::size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    const std::string_view component(path.data() + pos, slash - pos);
    const bool last = slash == path.size();
    if (!component.empty()) {
      std::string candidate = resolved + std::string(component);
      struct stat st;
      if (!missing && component != "." && component != ".." && !LStat(candidate, st)) {
        if (auto variant = FindCaseVariant(resolved.empty() ? "." : resolved, component))
          candidate = resolved + *variant;
        else
          missing = true;
      }
      resolved = std::move(candidate);
      if (!last) resolved += '/';
    } else if (!last && !resolved.empty() && resolved.back() != '/') {
      resolved += '/';
    }
    pos = slash + 1;
  }
  if (path.back() == '/' && !resolved.empty() && resolved.back() != '/') resolved += '/';
  return resolved;
}

bool ForEachEntry(const std::string& dir, std::string_view mask,
                  const std::function<bool(const TSearchRec&)>& visit, TListDetail detail) {
  const std::string where = dir.empty() ? std::string(".") : ResolvePath(dir);
  DirHandle d(::opendir(where.c_str()));
  if (!d) return false;
  // The entries the mask lets through, from the memo when it has the directory as it is.
  std::vector<TListed> matched;
  if (!ListingMemo().With(where, [&](const std::vector<TListed>& entries, const TFoldedIndex&) {
        for (const TListed& entry : entries)
          if (MatchesMask(entry.Name, mask)) matched.push_back(entry);
      })) {
    matched = ListAll(d.get());
    matched.erase(std::remove_if(matched.begin(), matched.end(),
                                 [&](const TListed& e) { return !MatchesMask(e.Name, mask); }),
                  matched.end());
  }
  const int fd = ::dirfd(d.get());
  for (TListed& entry : matched) {
    TSearchRec rec;
    rec.Name = std::move(entry.Name);
    rec.IsHidden = rec.Name[0] == '.';
    // A link or an unknown kind is looked up even then: a link to a directory is a directory.
    if (detail == TListDetail::ldKind && entry.Type != DT_UNKNOWN && entry.Type != DT_LNK) {
      rec.IsDirectory = entry.Type == DT_DIR;
      if (!visit(rec)) break;
      continue;
    }
    struct stat st;
    // Follow links so a linked game directory counts as a directory, as a shortcut would not.
    if (::fstatat(fd, rec.Name.c_str(), &st, 0) == 0 ||
        ::fstatat(fd, rec.Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      rec.IsDirectory = S_ISDIR(st.st_mode);
      rec.Size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
      rec.Time = st.st_mtime;
    }
    if (!visit(rec)) break;
  }
  return true;
}

std::size_t CountEntries(const std::string& dir, std::size_t limit) {
  if (limit == 0) return 0;
  // The exact name is what the case-insensitive look-up would pick first; names from a listing
  // are exact, so most counts cost no look-up.
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  int fd = ::open(dir.empty() ? "." : dir.c_str(), flags);
  if (fd < 0 && errno == ENOENT && !dir.empty()) fd = ::open(ResolvePath(dir).c_str(), flags);
  return fd < 0 ? 0 : CountOpenDirectory(fd, limit);
}

TOpenDir::TOpenDir(std::string path) : FPath(std::move(path)) {
  FFd = ::open(FPath.empty() ? "." : FPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

TOpenDir::~TOpenDir() {
  if (FFd >= 0) ::close(FFd);
}

std::optional<TDirStamp> TOpenDir::Stamp(const std::string& name) const {
  struct stat st;
  if (name.empty() || FFd < 0 || ::fstatat(FFd, name.c_str(), &st, 0) != 0 || !S_ISDIR(st.st_mode))
    return std::nullopt;
  return StampOf(st);
}

std::size_t TOpenDir::CountEntries(const std::string& name, std::size_t limit) const {
  if (FFd < 0 || name.empty()) return platform::CountEntries(JoinPath(FPath, name), limit);
  if (limit == 0) return 0;
  const int fd = ::openat(FFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return fd < 0 ? 0 : CountOpenDirectory(fd, limit);
}

std::string UserCacheDir() {
  // A relative XDG_CACHE_HOME is invalid and ignored, as the base directory rules say.
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return JoinPath(home, ".cache");
  return {};
}

std::string UserConfigDir() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return JoinPath(home, ".config");
  return {};
}

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(ResolvePath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(ResolvePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::time_t> FileAge(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(ResolvePath(path).c_str(), &st) != 0) return std::nullopt;
  return st.st_mtime;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(ResolvePath(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode))
    return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool DeleteFile(const std::string& path) {
  return !path.empty() && ::unlink(ResolvePath(path).c_str()) == 0;
}

bool CreateDir(const std::string& path) {
  if (path.empty()) return false;
  const std::string resolved = ResolvePath(path);
  if (::mkdir(resolved.c_str(), 0777) == 0) return true;
  struct stat st;
  return errno == EEXIST && ::stat(resolved.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RenameFile(const std::string& from, const std::string& to) {
  return ::rename(ResolvePath(from).c_str(), ResolvePath(to).c_str()) == 0;
}

std::string GetCurrentDir() {
  std::string buffer(PATH_MAX, '\0');
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::strlen(buffer.c_str()));
  return buffer;
}

bool SetCurrentDir(const std::string& path) {
  return !path.empty() && ::chdir(ResolvePath(path).c_str()) == 0;
}

std::string ProgramDir() {
  std::string buffer(PATH_MAX, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  buffer.resize(static_cast<std::size_t>(n));
  return buffer.substr(0, buffer.rfind('/') + 1);
}

std::optional<std::uint64_t> FreeDiskSpace(const std::string& path) {
  struct statvfs vfs;
  if (::statvfs(path.empty() ? "." : ResolvePath(path).c_str(), &vfs) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(ResolvePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int OpenRegularFile(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  const std::string resolved = ResolvePath(path);
  // A pipe blocks an open until a writer comes, and a device may do anything on open: neither is
  // opened at all when the name already shows it. O_NONBLOCK covers a swap between the two looks.
  struct stat st;
  if (::stat(resolved.c_str(), &st) != 0) return -1;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return -1;
  }
  const int fd = ::open(resolved.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

namespace {

// The file a chain of links ends at, each relative target taken from its link's folder; the path
// itself when it is no link (or names nothing yet). Nothing for a loop or an unreadable link.
std::optional<std::string> LinkTarget(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (!LStat(path, st) || !S_ISLNK(st.st_mode)) return path;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return std::nullopt;
    target.resize(static_cast<std::size_t>(n));
    if (target[0] != '/') {
      const std::size_t slash = path.rfind('/');
      if (slash != std::string::npos) target.insert(0, path, 0, slash + 1);
    }
    path = std::move(target);
  }
  errno = ELOOP;
  return std::nullopt;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error,
                         TLinkWrite links, TDurability durability) {
  const std::string named = ResolvePath(path);
  const auto fail = [&](const char* what) {
    if (error) *error = std::string(what) + " " + named + ": " + std::strerror(errno);
    return false;
  };
  // A rename onto a link replaces the link itself; through it, the temporary file is made in the
  // target's folder, as a rename works only within one file system.
  std::optional<std::string> linked = named;
  if (links == TLinkWrite::lwThroughLink) linked = LinkTarget(named);
  if (!linked) return fail("Cannot follow the link");
  const std::string& target = *linked;
  mode_t mode = 0644;
  if (struct stat st; LStat(target, st) && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
  const std::size_t slash = target.rfind('/');
  const std::string folder =
      slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const auto folderBefore = DirStamp(folder);
  std::string temp = target + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return fail("Cannot create a temporary file for");
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int saved = errno;
      ::close(fd);
      ::unlink(temp.c_str());
      errno = saved;
      return fail("Cannot write");
    }
    written += static_cast<std::size_t>(n);
  }
  ::fchmod(fd, mode);
  if ((durability == TDurability::dOnDisk && ::fsync(fd) != 0) || ::close(fd) != 0) {
    const int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    return fail("Cannot write");
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    return fail("Cannot replace");
  }
  if (folderBefore) ListingMemo().Added(folder, *folderBefore, target.substr(slash + 1));
  return true;
}

}  // namespace platform
