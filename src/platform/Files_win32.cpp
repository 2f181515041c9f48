#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "DirListingData.h"
#include "Files.h"

// Windows names are matched without regard to case by the file system itself, so paths are used
// as given.

namespace platform {
namespace {

std::time_t ToTimeT(const FILETIME& ft) {
  ULARGE_INTEGER t;
  t.LowPart = ft.dwLowDateTime;
  t.HighPart = ft.dwHighDateTime;
  return static_cast<std::time_t>((t.QuadPart - 116444736000000000ULL) / 10000000ULL);
}

DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

}  // namespace

std::string ResolvePath(const std::string& path) { return path; }

bool ForEachEntry(const std::string& dir, std::string_view mask,
                  const std::function<bool(const TSearchRec&)>& visit, TListDetail) {
  const std::string pattern = JoinPath(dir.empty() ? "." : dir, "*");
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(pattern.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    if (!MatchesMask(data.cFileName, mask)) continue;
    TSearchRec rec;
    rec.Name = data.cFileName;
    rec.IsDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    rec.IsHidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    rec.Size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    rec.Time = ToTimeT(data.ftLastWriteTime);
    if (!visit(rec)) break;
  } while (FindNextFileA(h, &data));
  FindClose(h);
  return true;
}

std::size_t CountEntries(const std::string& dir, std::size_t limit) {
  std::size_t count = 0;
  if (limit == 0) return 0;
  ForEachEntry(dir, "*", [&](const TSearchRec&) { return ++count < limit; });
  return count;
}

// Windows looks names up without walking the path again; the open directory is its path.
TOpenDir::TOpenDir(std::string path) : FPath(std::move(path)) {}

TOpenDir::~TOpenDir() = default;

bool TOpenDir::HasFile(const std::string& relative) const {
  const DWORD a = Attributes(JoinPath(FPath.empty() ? "." : FPath, relative));
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::size_t TOpenDir::CountEntries(const std::string& name, std::size_t limit) const {
  return platform::CountEntries(JoinPath(FPath, name), limit);
}

namespace {

std::optional<TDirStamp> StampOfPath(const std::string& path) {
  // Reading attributes needs no access to the contents; the folder stays free for others.
  HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO basic;
  const bool ok =
      GetFileInformationByHandle(h, &info) != 0 &&
      GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) != 0 &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  CloseHandle(h);
  if (!ok) return std::nullopt;
  // File times count 100 ns steps from 1601.
  auto unixNs = [](const LARGE_INTEGER& t) {
    return (static_cast<std::int64_t>(t.QuadPart) - 116444736000000000LL) * 100;
  };
  TDirStamp stamp;
  stamp.Device = info.dwVolumeSerialNumber;
  stamp.Inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  stamp.ModifiedNs = unixNs(basic.LastWriteTime);
  stamp.ChangedNs = unixNs(basic.ChangeTime);
  return stamp;
}

}  // namespace

std::optional<TDirStamp> TOpenDir::Stamp(const std::string& name) const {
  if (name.empty()) return std::nullopt;
  return StampOfPath(JoinPath(FPath.empty() ? "." : FPath, name));
}

std::optional<TDirStamp> FolderStamp(const std::string& dir) {
  return StampOfPath(dir.empty() ? std::string(".") : dir);
}

// Listings are not remembered on Windows.
bool ListingRemembered(const std::string&) {
  return false;
}

TDirListing ListDirectory(const std::string& dir) {
  auto data = std::make_shared<TDirListing::TData>();
  if (!ForEachEntry(dir, "*", [&](const TSearchRec& rec) {
        data->Add(rec.Name,
                  rec.IsDirectory ? TDirListing::TData::kDirectory : TDirListing::TData::kOther);
        return true;
      }))
    return {};
  data->MakeIndex();
  return TDirListing::TData::Listing(std::move(data), {});
}

// The system finds names ignoring case itself: no look-up reads a directory, so none is held;
// and no stamp here vouches for a listing (SystemTimeStep), so none is kept in a file either.
TDirListing ListAndHold(const std::string& dir, const std::string&) {
  return ListDirectory(dir);
}

void KeepListing(const std::string&, const std::string&) {}

void EndHeldListing() {}

std::string UserCacheDir() {
  const char* local = std::getenv("LOCALAPPDATA");
  return local != nullptr && local[0] != '\0' ? std::string(local) : std::string();
}

std::string UserConfigDir() {
  const char* roaming = std::getenv("APPDATA");
  return roaming != nullptr && roaming[0] != '\0' ? std::string(roaming) : std::string();
}

bool FileExists(const std::string& path) {
  const DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  const DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::time_t> FileAge(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return ToTimeT(data.ftLastWriteTime);
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return std::nullopt;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool DeleteFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool CreateDir(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0 || DirectoryExists(path);
}

bool RenameFile(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

std::string GetCurrentDir() {
  char buffer[MAX_PATH];
  const DWORD n = GetCurrentDirectoryA(MAX_PATH, buffer);
  return n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
}

bool SetCurrentDir(const std::string& path) { return SetCurrentDirectoryA(path.c_str()) != 0; }

std::string ProgramDir() {
  char buffer[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  const std::string file(buffer, n);
  return file.substr(0, file.find_last_of("\\/") + 1);
}

std::optional<std::uint64_t> FreeDiskSpace(const std::string& path) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExA(path.empty() ? "." : path.c_str(), &available, nullptr, nullptr))
    return std::nullopt;
  return available.QuadPart;
}

bool IsRegularFile(const std::string& path) {
  struct _stat64 st;
  return !path.empty() && ::_stat64(path.c_str(), &st) == 0 && (st.st_mode & _S_IFREG) != 0;
}

int OpenRegularFile(const std::string& path) {
  struct _stat64 named;
  if (path.empty() || ::_stat64(path.c_str(), &named) != 0) return -1;
  if ((named.st_mode & _S_IFREG) == 0) {
    errno = (named.st_mode & _S_IFDIR) ? EISDIR : EINVAL;
    return -1;
  }
  const int fd = ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) return -1;
  struct _stat64 st;
  if (::_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFREG) == 0) {
    ::_close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error,
                         TLinkWrite /*links: the rename replaces what the name is*/,
                         TDurability durability) {
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      out.close();
      DeleteFileA(temp.c_str());
      if (error) *error = "Cannot write " + path;
      return false;
    }
  }
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durability == TDurability::dOnDisk
                                                       ? MOVEFILE_WRITE_THROUGH
                                                       : 0);
  if (!MoveFileExA(temp.c_str(), path.c_str(), flags)) {
    DeleteFileA(temp.c_str());
    if (error) *error = "Cannot replace " + path;
    return false;
  }
  return true;
}

}  // namespace platform
