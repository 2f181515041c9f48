#include <windows.h>

#include <algorithm>

#include "SharedFile.h"

namespace platform {
namespace {

std::string Why(const std::string& path, DWORD code) {
  switch (code) {
    case ERROR_INVALID_DATA:
      return path + ": another program has put a different file there";
    case ERROR_CANT_ACCESS_FILE:
      return path + ": a link or device, not a file";
    default:
      return path + ": system error " + std::to_string(code);
  }
}

class THandle {
 public:
  explicit THandle(HANDLE handle = INVALID_HANDLE_VALUE) : FHandle(handle) {}
  ~THandle() { Reset(); }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  HANDLE Get() const { return FHandle; }
  bool Valid() const { return FHandle != INVALID_HANDLE_VALUE; }
  void Reset() {
    if (Valid()) CloseHandle(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE FHandle;
};

// Opens a regular file (no link, no device) and locks all of it; the lock goes with the handle.
HANDLE OpenLocked(const std::string& path, DWORD access, DWORD disposition, bool exclusive) {
  HANDLE file =
      CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
    CloseHandle(file);
    SetLastError(ERROR_CANT_ACCESS_FILE);
    return INVALID_HANDLE_VALUE;
  }
  OVERLAPPED whole{};
  if (!LockFileEx(file, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, MAXDWORD, MAXDWORD, &whole)) {
    const DWORD code = GetLastError();
    CloseHandle(file);
    SetLastError(code);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

std::uint64_t SizeOf(HANDLE file) {
  LARGE_INTEGER size{};
  return GetFileSizeEx(file, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

bool ReadAt(HANDLE file, char* to, std::size_t count, std::uint64_t at) {
  while (count > 0) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    if (!ReadFile(file, to, want, &got, &where) || got == 0) return false;
    to += got;
    count -= got;
    at += got;
  }
  return true;
}

bool WriteAt(HANDLE file, std::string_view bytes, std::uint64_t at) {
  while (!bytes.empty()) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    if (!WriteFile(file, bytes.data(), want, &put, &where) || put == 0) return false;
    bytes.remove_prefix(put);
    at += put;
  }
  return true;
}

bool Truncate(HANDLE file, std::uint64_t size) {
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size);
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

}  // namespace

TSharedContent ReadShared(const std::string& path, std::uint64_t maxBytes) {
  TSharedContent content;
  const THandle file(OpenLocked(path, GENERIC_READ, OPEN_EXISTING, false));
  if (!file.Valid()) {
    const DWORD code = GetLastError();
    content.Error = static_cast<int>(code);
    content.Result = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                         ? TSharedRead::srMissing
                         : TSharedRead::srUnusable;
    return content;
  }
  const std::uint64_t size = SizeOf(file.Get());
  if (size > maxBytes) {
    content.Result = TSharedRead::srTooLarge;
    return content;
  }
  content.Bytes.assign(static_cast<std::size_t>(size), '\0');
  if (!ReadAt(file.Get(), content.Bytes.data(), content.Bytes.size(), 0)) {
    content.Bytes.clear();
    content.Error = static_cast<int>(GetLastError());
    content.Result = TSharedRead::srUnusable;
    return content;
  }
  content.Result = TSharedRead::srRead;
  return content;
}

bool AppendShared(const std::string& path, std::string_view header, std::string_view bytes,
                  std::string* error) {
  const auto fail = [&](DWORD code) {
    if (error) *error = Why(path, code);
    return false;
  };
  const THandle file(OpenLocked(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, true));
  if (!file.Valid()) return fail(GetLastError());
  std::uint64_t size = SizeOf(file.Get());
  if (size > 0 && size < header.size()) {
    // The header of a first write that a crash cut short is written again.
    std::string first(static_cast<std::size_t>(size), '\0');
    if (!ReadAt(file.Get(), first.data(), first.size(), 0) || !header.starts_with(first))
      return fail(ERROR_INVALID_DATA);
    if (!Truncate(file.Get(), 0)) return fail(GetLastError());
    size = 0;
  }
  const bool created = size == 0;
  if (!created) {
    std::string first(header.size(), '\0');
    if (!ReadAt(file.Get(), first.data(), first.size(), 0) || first != header)
      return fail(ERROR_INVALID_DATA);
    char last = '\n';
    if (!ReadAt(file.Get(), &last, 1, size - 1)) return fail(GetLastError());
    if (last != '\n') {
      const std::uint64_t window = std::min<std::uint64_t>(size, 1 << 20);
      std::string tail(static_cast<std::size_t>(window), '\0');
      if (!ReadAt(file.Get(), tail.data(), tail.size(), size - window)) return fail(GetLastError());
      const std::size_t end = tail.find_last_of('\n');
      if (end == std::string::npos || size - window + end + 1 < header.size())
        return fail(ERROR_INVALID_DATA);
      size = size - window + end + 1;
      if (!Truncate(file.Get(), size)) return fail(GetLastError());
    }
  }
  std::string all;
  if (created) all.append(header);
  all.append(bytes);
  if (!WriteAt(file.Get(), all, size)) {
    const DWORD code = GetLastError();
    Truncate(file.Get(), size);
    return fail(code);
  }
  if (!FlushFileBuffers(file.Get())) return fail(GetLastError());
  return true;
}

bool RewriteShared(const std::string& path, std::uint64_t maxBytes,
                   const std::function<std::optional<std::string>(std::string_view)>& make,
                   std::string* error) {
  const auto fail = [&](DWORD code) {
    if (error) *error = Why(path, code);
    return false;
  };
  THandle file(OpenLocked(path, GENERIC_READ, OPEN_EXISTING, true));
  if (!file.Valid()) {
    const DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? true : fail(code);
  }
  const std::uint64_t size = SizeOf(file.Get());
  if (size > maxBytes) return fail(ERROR_FILE_TOO_LARGE);
  std::string current(static_cast<std::size_t>(size), '\0');
  if (!ReadAt(file.Get(), current.data(), current.size(), 0)) return fail(GetLastError());
  const std::optional<std::string> next = make(current);
  if (!next) return true;
  const std::string temp = path + ".new-" + std::to_string(GetCurrentProcessId());
  {
    const THandle out(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.Valid()) return fail(GetLastError());
    if (!WriteAt(out.Get(), *next, 0) || !FlushFileBuffers(out.Get())) {
      const DWORD code = GetLastError();
      DeleteFileA(temp.c_str());
      return fail(code);
    }
  }
  // Windows replaces no file that is open; a writer may slip in between the two steps, and its
  // lines are then in the old file only.
  file.Reset();
  if (!MoveFileExA(temp.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = GetLastError();
    DeleteFileA(temp.c_str());
    return fail(code);
  }
  return true;
}

std::optional<std::string> ReadFileTail(const std::string& path, std::uint64_t maxBytes) {
  const THandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid() || GetFileType(file.Get()) != FILE_TYPE_DISK) return std::nullopt;
  const std::uint64_t size = SizeOf(file.Get());
  const std::uint64_t count = std::min(size, maxBytes);
  std::string bytes(static_cast<std::size_t>(count), '\0');
  std::size_t got = 0;
  while (got < bytes.size()) {
    OVERLAPPED where{};
    const std::uint64_t at = size - count + got;
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD n = 0;
    if (!ReadFile(file.Get(), bytes.data() + got, static_cast<DWORD>(bytes.size() - got), &n,
                  &where) ||
        n == 0)
      break;
    got += n;
  }
  bytes.resize(got);
  return bytes;
}

}  // namespace platform
