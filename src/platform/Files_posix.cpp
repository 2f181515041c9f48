#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "DirListingData.h"
#include "Files.h"
#include "ListingFile.h"
#include "Text.h"

namespace platform {
namespace {

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

using TData = TDirListing::TData;

bool LStat(const std::string& path, struct stat& st) { return ::lstat(path.c_str(), &st) == 0; }

// The kind of file system an open file lies on; 0 when unknown.
std::uint64_t VolumeOf(int fd) {
#ifdef __linux__
  struct statfs fs;
  if (::fstatfs(fd, &fs) == 0) return static_cast<std::uint64_t>(fs.f_type);
#else
  (void)fd;
#endif
  return 0;
}

std::uint64_t VolumeOf(const std::string& path) {
#ifdef __linux__
  struct statfs fs;
  if (::statfs(path.c_str(), &fs) == 0) return static_cast<std::uint64_t>(fs.f_type);
#else
  (void)path;
#endif
  return 0;
}

TDirStamp StampOf(const struct stat& st, std::uint64_t volume) {
  constexpr std::int64_t kNs = 1000000000;
  TDirStamp stamp;
  stamp.Device = static_cast<std::uint64_t>(st.st_dev);
  stamp.Inode = static_cast<std::uint64_t>(st.st_ino);
  stamp.ModifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * kNs + st.st_mtim.tv_nsec;
  stamp.ChangedNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * kNs + st.st_ctim.tv_nsec;
  stamp.Volume = volume;
  return stamp;
}

std::optional<TDirStamp> OpenDirStamp(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  return StampOf(st, VolumeOf(fd));
}

struct FdCloser {
  int Fd;
  ~FdCloser() {
    if (Fd >= 0) ::close(Fd);
  }
};

int OpenDirectory(const std::string& where) {
  return ::open(where.empty() ? "." : where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// The last listing of a large directory, kept so that the case-insensitive look-ups of a
// start-up (the batch file, the clean-up records, the unzip library, the screenshot folder) and
// the scan of the game folders do not each read tens of thousands of entries again. It is given
// while the directory has the stamp it had when read, and kept only when that stamp vouches for
// it. Nothing is added to it: a write of the program's own moves the stamp like any other, and a
// change of someone else's in the same moment could not be told apart from it.
class TListingMemo {
 public:
  static constexpr std::size_t kFromEntries = 512;

  void Keep(const TDirStamp& stamp, std::shared_ptr<const TData> entries) {
    const std::lock_guard<std::mutex> lock(FLock);
    FStamp = stamp;
    FEntries = std::move(entries);
  }

  // The entries, when the memo holds those of the directory with this stamp.
  std::shared_ptr<const TData> For(const TDirStamp& stamp) {
    const std::lock_guard<std::mutex> lock(FLock);
    return FEntries && stamp == FStamp ? FEntries : nullptr;
  }

  // The directory was written: its memory is let go at once.
  void Forget(const struct stat& dir) {
    const std::lock_guard<std::mutex> lock(FLock);
    if (FStamp.Device == static_cast<std::uint64_t>(dir.st_dev) &&
        FStamp.Inode == static_cast<std::uint64_t>(dir.st_ino))
      FEntries.reset();
  }

 private:
  std::mutex FLock;
  TDirStamp FStamp;
  std::shared_ptr<const TData> FEntries;
};

TListingMemo& ListingMemo() {
  static TListingMemo memo;
  return memo;
}

// The listing a start read of the emulator's folder, held for the look-ups of the rest of the
// start: the batch file, the clean-up records, the unzip library and the screenshot folder are
// each asked for ignoring case, and in a folder of tens of thousands of games every such look-up
// would read it all again once the program's own write has made the memo above let go. It serves
// only while the folder shows no change but the program's own writes, whose names it adds, and
// for a second at most; a file someone else makes meanwhile is seen by the first read after it.
class THeldListing {
 public:
  void Hold(const TDirStamp& stamp, std::shared_ptr<const TData> entries, std::int64_t untilNs) {
    const std::lock_guard<std::mutex> lock(FLock);
    FStamp = stamp;
    FEntries = std::move(entries);
    FWritten.clear();
    FUntilNs = untilNs;
  }

  void End() {
    const std::lock_guard<std::mutex> lock(FLock);
    FEntries.reset();
    FWritten.clear();
  }

  // The whole listing, while held and nothing was added to it.
  std::shared_ptr<const TData> Entries(const TDirStamp& now) {
    const std::lock_guard<std::mutex> lock(FLock);
    return Serves(now) && FWritten.empty() ? FEntries : nullptr;
  }

  // The entry the look-up of name ignoring case finds, by the rule of TDirListing::Find; the
  // outer nothing when the listing is not held.
  std::optional<std::optional<std::string>> Variant(const TDirStamp& now, std::string_view name) {
    const std::lock_guard<std::mutex> lock(FLock);
    if (!Serves(now)) return std::nullopt;
    const TDirListing listing = TData::Listing(FEntries, {});
    std::optional<std::string> found;
    if (const auto at = listing.Find(name)) found.emplace(listing.Name(*at));
    for (const std::string& written : FWritten)
      if (SameTextAscii(written, name) && (!found || written == name || (*found != name &&
                                                                          written < *found)))
        found = written;
    return found;
  }

  // The program wrote name into the directory whose stamp was before just before and is after
  // now: a held listing of it takes the name, unless the directory had changed meanwhile.
  void Wrote(const TDirStamp& before, const TDirStamp& after, std::string name) {
    const std::lock_guard<std::mutex> lock(FLock);
    if (!FEntries || FStamp.Device != after.Device || FStamp.Inode != after.Inode) return;
    if (before != FStamp) {
      FEntries.reset();
      FWritten.clear();
      return;
    }
    FStamp = after;
    FWritten.push_back(std::move(name));
  }

 private:
  bool Serves(const TDirStamp& now) const {
    return FEntries && now == FStamp && NowNs() < FUntilNs;
  }

  std::mutex FLock;
  TDirStamp FStamp;
  std::shared_ptr<const TData> FEntries;
  std::vector<std::string> FWritten;
  std::int64_t FUntilNs = 0;
};

THeldListing& HeldListing() {
  static THeldListing held;
  return held;
}

TData::TKind KindOf(unsigned char type) {
  switch (type) {
    case DT_DIR:
      return TData::kDirectory;
    case DT_LNK:
    case DT_UNKNOWN:
      return TData::kLookUp;
    default:
      return TData::kOther;
  }
}

// Every entry of the open directory fd, read from its start; the descriptor stays open.
bool ReadEntries(int fd, TData& data) {
#ifdef __linux__
  // The raw entries, a buffer at a time: no stream to allocate around them.
  alignas(8) char buffer[32768];
  for (;;) {
    const ssize_t got = ::getdents64(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
      if (entry->d_reclen == 0) return false;  // never from a sane kernel
      at += entry->d_reclen;
      data.Add(entry->d_name, KindOf(entry->d_type));
    }
  }
#else
  const int own = ::dup(fd);
  DirHandle d(own >= 0 ? ::fdopendir(own) : nullptr);
  if (!d) {
    if (own >= 0) ::close(own);
    return false;
  }
  while (const dirent* e = ::readdir(d.get())) data.Add(e->d_name, KindOf(e->d_type));
  return true;
#endif
}

// The entries of the open directory fd: remembered ones while its stamp says they still are.
std::shared_ptr<const TData> EntriesOf(int fd) {
  const std::int64_t readNs = NowNs();  // before the stamp: the moment of the read at the latest
  const auto before = OpenDirStamp(fd);
  if (!before) return nullptr;
  if (auto remembered = ListingMemo().For(*before)) return remembered;
  if (auto held = HeldListing().Entries(*before)) return held;
  auto data = std::make_shared<TData>();
  if (!ReadEntries(fd, *data)) return nullptr;
  data->MakeIndex();
  const auto after = OpenDirStamp(fd);
  if (data->Items.size() >= TListingMemo::kFromEntries && after == before &&
      StampVouches(*before, readNs))
    ListingMemo().Keep(*before, data);
  return data;
}

// The listing of entries of the open directory fd, its links looked up now.
TDirListing WithLinks(int fd, std::shared_ptr<const TData> data) {
  if (!data) return {};
  std::vector<std::uint32_t> linked;
  for (std::size_t i = 0; i < data->Items.size(); ++i) {
    struct stat st;
    if (data->Items[i].Kind == TData::kLookUp &&
        ::fstatat(fd, std::string(data->Name(i)).c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode))
      linked.push_back(static_cast<std::uint32_t>(i));
  }
  return TData::Listing(std::move(data), std::move(linked));
}

// The listing of the open directory fd, its links looked up now.
TDirListing ListOpenDirectory(int fd) {
  return WithLinks(fd, EntriesOf(fd));
}

// The entries file holds for the directory dir as it is with stamp; a file that served is dated
// anew once a day, so that the clean-up of unused caches leaves it.
std::shared_ptr<const TData> EntriesFromFile(const std::string& file, const std::string& dir,
                                             const TDirStamp& stamp) {
  const auto bytes = ReadWholeFile(file, kMaxListingFileBytes);
  std::shared_ptr<const TData> entries = bytes ? DecodeListing(*bytes, dir, stamp) : nullptr;
  struct stat st;
  if (entries && ::stat(file.c_str(), &st) == 0 && st.st_mtime < ::time(nullptr) - 24 * 3600)
    ::utimensat(AT_FDCWD, file.c_str(), nullptr, 0);
  return entries;
}

// The entry of dir whose name equals name ignoring ASCII case; the smallest in byte order when
// several do, so the choice never depends on the listing order. dir is resolved already.
std::optional<std::string> FindCaseVariant(const std::string& dir, std::string_view name) {
  const int fd = OpenDirectory(dir);
  if (fd < 0) return std::nullopt;
  const FdCloser closer{fd};
  if (const auto stamp = OpenDirStamp(fd))
    if (auto held = HeldListing().Variant(*stamp, name)) return *held;
  const TDirListing listing = ListOpenDirectory(fd);
  const auto at = listing.Find(name);
  if (!at) return std::nullopt;
  return std::string(listing.Name(*at));
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
  const int fd = OpenDirectory(dir.empty() ? std::string(".") : ResolvePath(dir));
  if (fd < 0) return false;
  const FdCloser closer{fd};
  const TDirListing listing = ListOpenDirectory(fd);
  if (!listing.Listed()) return false;
  TSearchRec rec;
  for (std::size_t i = 0; i < listing.Size(); ++i) {
    const std::string_view name = listing.Name(i);
    if (!MatchesMask(name, mask)) continue;
    rec.Name.assign(name);
    rec.IsHidden = name[0] == '.';
    rec.IsDirectory = listing.IsDirectory(i);
    rec.Size = 0;
    rec.Time = 0;
    struct stat st;
    // Follow links so a linked game directory counts as a directory, as a shortcut would not.
    if (detail == TListDetail::ldAll &&
        (::fstatat(fd, rec.Name.c_str(), &st, 0) == 0 ||
         ::fstatat(fd, rec.Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)) {
      rec.IsDirectory = S_ISDIR(st.st_mode);
      rec.Size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
      rec.Time = st.st_mtime;
    }
    if (!visit(rec)) break;
  }
  return true;
}

TDirListing ListDirectory(const std::string& dir) {
  const int fd = OpenDirectory(dir.empty() ? std::string(".") : ResolvePath(dir));
  if (fd < 0) return {};
  const FdCloser closer{fd};
  return ListOpenDirectory(fd);
}

TDirListing ListAndHold(const std::string& dir, const std::string& memoFile) {
  const std::string path = dir.empty() ? std::string(".") : ResolvePath(dir);
  const int fd = OpenDirectory(path);
  if (fd < 0) return {};
  const FdCloser closer{fd};
  const std::int64_t readNs = NowNs();
  const auto before = OpenDirStamp(fd);
  std::shared_ptr<const TData> entries;
  if (before && !memoFile.empty() && StampCanTell(*before))
    entries = EntriesFromFile(memoFile, path, *before);
  if (entries)
    ListingMemo().Keep(*before, entries);  // it vouches as a read of this run would
  else
    entries = EntriesOf(fd);
  if (!entries) return {};
  if (before && OpenDirStamp(fd) == before)
    HeldListing().Hold(*before, entries, readNs + kHeldListingNs);
  return WithLinks(fd, std::move(entries));
}

void KeepListing(const std::string& dir, const std::string& memoFile) {
  if (memoFile.empty()) return;
  const std::string path = dir.empty() ? std::string(".") : ResolvePath(dir);
  const int fd = OpenDirectory(path);
  if (fd < 0) return;
  const FdCloser closer{fd};
  const auto before = OpenDirStamp(fd);
  if (!before || !StampCanTell(*before)) return;
  // A read in the moment of the last change could miss a change in the same tick.
  const std::int64_t wait = VouchedFromNs(*before) - NowNs();
  if (wait > kMaxKeepWaitNs) return;
  if (wait > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(wait));
  const std::int64_t readNs = NowNs();
  if (OpenDirStamp(fd) != before) return;  // changed meanwhile: the next start reads it
  TData entries;
  if (!ReadEntries(fd, entries) || entries.Items.size() < TListingMemo::kFromEntries ||
      OpenDirStamp(fd) != before || !StampVouches(*before, readNs))
    return;
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(memoFile).parent_path(), ignored);
  std::string error;
  WriteFileAtomically(memoFile, EncodeListing(path, *before, readNs, entries), &error,
                      TLinkWrite::lwReplaceLink, TDurability::dRewrittenEachStart);
}

void EndHeldListing() {
  HeldListing().End();
}

bool ListingRemembered(const std::string& dir) {
  const auto stamp = FolderStamp(dir);
  return stamp && ListingMemo().For(*stamp) != nullptr;
}

std::optional<TDirStamp> FolderStamp(const std::string& dir) {
  const int fd = OpenDirectory(dir.empty() ? std::string(".") : ResolvePath(dir));
  if (fd < 0) return std::nullopt;
  const FdCloser closer{fd};
  return OpenDirStamp(fd);
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
  FFd = OpenDirectory(FPath);
  struct stat st;
  if (FFd >= 0 && ::fstat(FFd, &st) == 0) {
    FDevice = static_cast<std::uint64_t>(st.st_dev);
    FVolume = VolumeOf(FFd);
  }
}

TOpenDir::~TOpenDir() {
  if (FFd >= 0) ::close(FFd);
}

std::optional<TDirStamp> TOpenDir::Stamp(const std::string& name) const {
  struct stat st;
  if (name.empty() || FFd < 0 || ::fstatat(FFd, name.c_str(), &st, 0) != 0 || !S_ISDIR(st.st_mode))
    return std::nullopt;
  // A folder on a volume of its own (a mount point) is asked which it is.
  const auto device = static_cast<std::uint64_t>(st.st_dev);
  return StampOf(st, device == FDevice ? FVolume : VolumeOf(JoinPath(FPath, name)));
}

bool TOpenDir::HasFile(const std::string& relative) const {
  struct stat st;
  if (FFd < 0) return ::stat(JoinPath(FPath, relative).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
  return !relative.empty() && ::fstatat(FFd, relative.c_str(), &st, 0) == 0 && !S_ISDIR(st.st_mode);
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
  // The folder as it was before the temporary file: the change up to the rename is the write's.
  const std::string where = folder.empty() ? "." : folder;
  struct stat st;
  const TDirStamp before =
      ::stat(where.c_str(), &st) == 0 ? StampOf(st, VolumeOf(where)) : TDirStamp{};
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
  if (::stat(where.c_str(), &st) == 0) {
    ListingMemo().Forget(st);
    HeldListing().Wrote(before, StampOf(st, before.Volume), target.substr(slash + 1));
  }
  return true;
}

}  // namespace platform
