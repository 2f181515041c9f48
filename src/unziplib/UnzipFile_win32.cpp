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

TOutputFile::~TOutputFile() {
  Discard();
}

bool TOutputFile::Create(const std::string& path, bool* exists, std::string* error) {
  *exists = false;
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    *exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
    *error = "system error " + std::to_string(code);
    return false;
  }
  FPath = path;
  FHandle = reinterpret_cast<std::intptr_t>(file);
  return true;
}

bool TOutputFile::Write(const unsigned char* data, std::size_t size, std::string* error) {
  HANDLE file = reinterpret_cast<HANDLE>(FHandle);
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0) {
      *error = LastError();
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

unsigned char* TOutputFile::Map(std::uint64_t size, std::string* error) {
  HANDLE file = reinterpret_cast<HANDLE>(FHandle);
  FMapping = ::CreateFileMappingA(file, nullptr, PAGE_READWRITE, static_cast<DWORD>(size >> 32),
                                  static_cast<DWORD>(size), nullptr);
  if (!FMapping) {
    *error = LastError();
    return nullptr;
  }
  FView = static_cast<unsigned char*>(::MapViewOfFile(FMapping, FILE_MAP_WRITE, 0, 0, 0));
  if (!FView) {
    *error = LastError();
    ::CloseHandle(FMapping);
    FMapping = nullptr;
    return nullptr;
  }
  FViewSize = size;
  return FView;
}

void TOutputFile::Unmap() {
  if (FView) ::UnmapViewOfFile(FView);
  if (FMapping) ::CloseHandle(FMapping);
  FView = nullptr;
  FMapping = nullptr;
  FViewSize = 0;
}

bool TOutputFile::Finish(std::time_t mtime, std::string* error) {
  Unmap();
  HANDLE file = reinterpret_cast<HANDLE>(FHandle);
  // Seconds since 1970 to 100-nanosecond ticks since 1601.
  const ULONGLONG ticks = (static_cast<ULONGLONG>(mtime) + 11644473600ULL) * 10000000ULL;
  FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  ::SetFileTime(file, nullptr, nullptr, &ft);
  const bool ok = ::CloseHandle(file) != 0;
  FHandle = -1;
  if (!ok) {
    *error = LastError();
    ::DeleteFileA(FPath.c_str());
  }
  return ok;
}

void TOutputFile::Discard() {
  Unmap();
  if (FHandle == -1) return;
  ::CloseHandle(reinterpret_cast<HANDLE>(FHandle));
  FHandle = -1;
  ::DeleteFileA(FPath.c_str());
}

}  // namespace unziplib
