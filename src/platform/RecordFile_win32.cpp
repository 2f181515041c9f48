#include <windows.h>

#include <cerrno>

#include "Files.h"
#include "RecordFile.h"

#undef DeleteFile  // the platform seam's, not the Windows macro

namespace platform {
namespace {

HANDLE AsHandle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// 100 ns steps since 1601 to nanoseconds since 1970.
std::int64_t Ns(LARGE_INTEGER time) {
  return (time.QuadPart - 116444736000000000LL) * 100;
}

std::optional<TFileStamp> StampOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandle(file, &info) ||
      !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic))
    return std::nullopt;
  TFileStamp stamp;
  stamp.Device = info.dwVolumeSerialNumber;
  stamp.Inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  stamp.Size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  stamp.ModifiedNs = Ns(basic.LastWriteTime);
  stamp.ChangedNs = Ns(basic.ChangeTime);
  stamp.BornNs = Ns(basic.CreationTime);
  return stamp;
}

int ErrnoOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

bool IsLinkOrDevice(DWORD attributes) {
  return attributes == INVALID_FILE_ATTRIBUTES ||
         (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0;
}

}  // namespace

bool IsPlainEntryName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F || c == '/' || c == '\\' || c == ':') return false;
  }
  return true;
}

TLockedRecord::~TLockedRecord() {
  Close();
}

void TLockedRecord::Close() {
  if (FHandle != -1) CloseHandle(AsHandle(FHandle));
  FHandle = -1;
}

bool TLockedRecord::Create(const std::string& dir, const std::string& name, std::string_view first,
                           int* error) {
  Close();
  const std::string temp =
      JoinPath(dir, "." + name + "." + std::to_string(GetCurrentProcessId()) + "-" +
                        std::to_string(GetTickCount64()));
  HANDLE file = CreateFileA(temp.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (error) *error = ErrnoOf(GetLastError());
    return false;
  }
  OVERLAPPED whole{};
  LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole);
  DWORD written = 0;
  const bool ok = WriteFile(file, first.data(), static_cast<DWORD>(first.size()), &written,
                            nullptr) &&
                  written == first.size() && FlushFileBuffers(file);
  FPath = JoinPath(dir, name);
  // Without MOVEFILE_REPLACE_EXISTING the move refuses a name that is taken.
  if (!ok || !MoveFileExA(temp.c_str(), FPath.c_str(), MOVEFILE_WRITE_THROUGH)) {
    if (error) *error = ErrnoOf(GetLastError());
    CloseHandle(file);
    DeleteFileA(temp.c_str());
    return false;
  }
  FHandle = reinterpret_cast<std::intptr_t>(file);
  return true;
}

TLockedRecord::TOpen TLockedRecord::OpenExisting(const std::string& path, int* error) {
  Close();
  if (IsLinkOrDevice(GetFileAttributesA(path.c_str()))) {
    if (error) *error = EINVAL;
    return TOpen::oUnusable;
  }
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (error) *error = ErrnoOf(GetLastError());
    return TOpen::oUnusable;
  }
  FHandle = reinterpret_cast<std::intptr_t>(file);
  FPath = path;
  OVERLAPPED whole{};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole))
    return TOpen::oHeldElsewhere;
  return TOpen::oLocked;
}

std::optional<std::string> TLockedRecord::ReadAll(std::uint64_t maxBytes) const {
  if (FHandle == -1) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(AsHandle(FHandle), &size) || static_cast<std::uint64_t>(size.QuadPart) > maxBytes)
    return std::nullopt;
  std::string text(static_cast<std::size_t>(size.QuadPart), '\0');
  OVERLAPPED at{};
  DWORD got = 0;
  if (!text.empty() &&
      !ReadFile(AsHandle(FHandle), text.data(), static_cast<DWORD>(text.size()), &got, &at))
    return std::nullopt;
  text.resize(got);
  return text;
}

std::optional<TFileStamp> TLockedRecord::Stamp() const {
  if (FHandle == -1) return std::nullopt;
  return StampOf(AsHandle(FHandle));
}

bool TLockedRecord::Append(std::string_view bytes) {
  if (FHandle == -1) return false;
  SetFilePointer(AsHandle(FHandle), 0, nullptr, FILE_END);
  DWORD written = 0;
  return WriteFile(AsHandle(FHandle), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr) &&
         written == bytes.size();
}

void TLockedRecord::Sync() {
  if (FHandle != -1) FlushFileBuffers(AsHandle(FHandle));
}

bool TLockedRecord::Remove(int* error) {
  if (FHandle == -1) return true;
  const bool removed = DeleteFileA(FPath.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
  if (!removed && error) *error = ErrnoOf(GetLastError());
  Close();
  return removed;
}

std::optional<std::string> RenameAside(const std::string& path, const std::string& suffix) {
  for (int n = 1; n < 100; ++n) {
    const std::string to = path + suffix + (n == 1 ? "" : "." + std::to_string(n));
    if (MoveFileExA(path.c_str(), to.c_str(), 0)) return to;
    const DWORD code = GetLastError();
    if (code != ERROR_ALREADY_EXISTS && code != ERROR_FILE_EXISTS) break;
  }
  return std::nullopt;
}

std::optional<std::string> TLockedRecord::SetAside(const std::string& suffix) {
  if (FHandle == -1) return std::nullopt;
  Close();  // Windows renames no file that is open without sharing its deletion
  return RenameAside(FPath, suffix);
}

TConfinedFolder::~TConfinedFolder() = default;

bool TConfinedFolder::Open(const std::string& parent, const std::string& name, int* error) {
  const auto fail = [&](int code) {
    if (error) *error = code;
    return false;
  };
  if (!IsPlainEntryName(name)) return fail(EINVAL);
  const std::string path = JoinPath(parent.empty() ? "." : parent, name);
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return fail(ENOENT);
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return fail(ELOOP);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return fail(ENOTDIR);
  FPath = path;
  FName = name;
  FFolder = 0;
  return true;
}

std::optional<TFileStamp> TConfinedFolder::Stamp() const {
  if (FPath.empty()) return std::nullopt;
  HANDLE folder = CreateFileA(FPath.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr);
  if (folder == INVALID_HANDLE_VALUE) return std::nullopt;
  const auto stamp = StampOf(folder);
  CloseHandle(folder);
  return stamp;
}

std::optional<TFileStamp> TConfinedFolder::RegularFile(const std::string& name) const {
  if (FPath.empty() || !IsPlainEntryName(name)) return std::nullopt;
  const std::string path = JoinPath(FPath, name);
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (IsLinkOrDevice(attributes) || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
  HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  const auto stamp = StampOf(file);
  CloseHandle(file);
  return stamp;
}

bool TConfinedFolder::RemoveFile(const std::string& name, int* error) {
  if (FPath.empty() || !IsPlainEntryName(name)) {
    if (error) *error = EINVAL;
    return false;
  }
  if (DeleteFileA(JoinPath(FPath, name).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND)
    return true;
  if (error) *error = ErrnoOf(GetLastError());
  return false;
}

bool TConfinedFolder::RemoveIfEmpty(int* error) {
  if (FPath.empty()) return false;
  if (RemoveDirectoryA(FPath.c_str())) return true;
  if (error) *error = ErrnoOf(GetLastError());
  return false;
}

}  // namespace platform
