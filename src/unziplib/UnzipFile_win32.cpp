#include <windows.h>

#include "UnzipFile.h"

namespace unziplib {
namespace {

std::string LastError() {
  return "system error " + std::to_string(::GetLastError());
}

}  // namespace

TInputMap::~TInputMap() {
  if (FData) ::UnmapViewOfFile(FData);
  if (FMapping) ::CloseHandle(FMapping);
  if (FFile) ::CloseHandle(FFile);
}

bool TInputMap::Open(const std::string& path, std::string* error) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = LastError();
    return false;
  }
  FFile = file;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file, &size)) {
    *error = LastError();
    return false;
  }
  FSize = static_cast<std::uint64_t>(size.QuadPart);
  if (FSize == 0) return true;
  FMapping = ::CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!FMapping) {
    *error = LastError();
    FSize = 0;
    return false;
  }
  FData = static_cast<const unsigned char*>(::MapViewOfFile(FMapping, FILE_MAP_READ, 0, 0, 0));
  if (!FData) {
    *error = LastError();
    FSize = 0;
    return false;
  }
  return true;
}

void TInputMap::Done(const unsigned char*, std::uint64_t) const {
  // The system trims a view's pages from the working set as memory is needed.
}

namespace {

TFileError Failure(DWORD code) {
  const bool recurs = code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL ||
                      code == ERROR_ACCESS_DENIED || code == ERROR_WRITE_PROTECT ||
                      code == ERROR_NOT_ENOUGH_QUOTA || code == ERROR_FILE_TOO_LARGE;
  return {"system error " + std::to_string(code), recurs};
}

}  // namespace

TOutputFile::~TOutputFile() {
  Discard();
}

bool TOutputFile::Create(const std::string& path, bool* exists, TFileError* error) {
  *exists = false;
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    *exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
    *error = Failure(code);
    return false;
  }
  FPath = path;
  FHandle = reinterpret_cast<std::intptr_t>(file);
  return true;
}

bool TOutputFile::Reserve(std::uint64_t size, TFileError* error) {
  HANDLE file = reinterpret_cast<HANDLE>(FHandle);
  LARGE_INTEGER end, start;
  end.QuadPart = static_cast<LONGLONG>(size);
  start.QuadPart = 0;
  if (!::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) || !::SetEndOfFile(file) ||
      !::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
    *error = Failure(::GetLastError());
    return false;
  }
  return true;
}

bool TOutputFile::Write(const unsigned char* data, std::size_t size, TFileError* error) {
  HANDLE file = reinterpret_cast<HANDLE>(FHandle);
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0) {
      const DWORD code = ::GetLastError();
      *error = Failure(code == ERROR_SUCCESS ? ERROR_DISK_FULL : code);
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

bool TOutputFile::Finish(std::time_t mtime, TFileError* error) {
  HANDLE file = reinterpret_cast<HANDLE>(FHandle);
  // Seconds since 1970 to 100-nanosecond ticks since 1601.
  const ULONGLONG ticks = (static_cast<ULONGLONG>(mtime) + 11644473600ULL) * 10000000ULL;
  FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  ::SetFileTime(file, nullptr, nullptr, &ft);
  const bool ok = ::CloseHandle(file) != 0;
  FHandle = -1;
  if (!ok) {
    *error = Failure(::GetLastError());
    ::DeleteFileA(FPath.c_str());
  }
  return ok;
}

void TOutputFile::Discard() {
  if (FHandle == -1) return;
  ::CloseHandle(reinterpret_cast<HANDLE>(FHandle));
  FHandle = -1;
  ::DeleteFileA(FPath.c_str());
}

}  // namespace unziplib
