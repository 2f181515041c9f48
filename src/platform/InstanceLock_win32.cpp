#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Files.h"
#include "InstanceLock.h"
#include "Text.h"

namespace platform {

namespace {

// The lock is one byte past the note, so that others can still read the note.
constexpr DWORD kLockOffset = 4096;

bool WriteNoteAt(HANDLE file, std::string_view note) {
  char record[InstanceNoteSize] = {};
  if (!note.empty())
    std::memcpy(record, note.data(), note.size() < InstanceNoteSize ? note.size() : InstanceNoteSize);
  OVERLAPPED at{};
  DWORD written = 0;
  return WriteFile(file, record, sizeof record, &written, &at) && written == sizeof record;
}

std::string LastErrorText() {
  return "error " + std::to_string(GetLastError());
}

}  // namespace

TInstanceLock::~TInstanceLock() {
  Release();
}

bool TInstanceLock::Acquire(const std::string& path, std::string* error) {
  Release();
  if (error) error->clear();
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (error) *error = "Cannot open " + path + ": " + LastErrorText();
    return false;
  }
  // Locks are dropped by the system when the process ends, however it ends.
  OVERLAPPED at{};
  at.Offset = kLockOffset;
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    if (GetLastError() != ERROR_LOCK_VIOLATION && error)
      *error = "Cannot lock " + path + ": " + LastErrorText();
    CloseHandle(file);
    return false;
  }
  FHandle = file;
  WriteNoteAt(file, {});
  return true;
}

bool TInstanceLock::Held() const {
  return FHandle != nullptr;
}

void TInstanceLock::Release() {
  if (FHandle == nullptr) return;
  CloseHandle(static_cast<HANDLE>(FHandle));
  FHandle = nullptr;
}

bool TInstanceLock::WriteNote(std::string_view note) {
  return FHandle != nullptr && WriteNoteAt(static_cast<HANDLE>(FHandle), note);
}

std::string ReadInstanceNote(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  char record[InstanceNoteSize];
  DWORD got = 0;
  OVERLAPPED at{};
  const BOOL read = ReadFile(file, record, sizeof record, &got, &at);
  CloseHandle(file);
  if (!read || got == 0) return {};
  return std::string(record, strnlen(record, got));
}

std::string InstanceLockPath(const std::string& folder) {
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(folder.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH || !DirectoryExists(full)) return {};
  // Windows names ignore case: the folder is known by its full path in one letter case.
  std::string key = LowerAscii(full);
  for (char& c : key)
    if (c == '/') c = '\\';
  const std::uint64_t hash = HashBytes(key);
  char temp[MAX_PATH];
  const DWORD tempLength = GetTempPathA(MAX_PATH, temp);
  if (tempLength == 0 || tempLength >= MAX_PATH) return {};
  char name[64];
  std::snprintf(name, sizeof name, "startvelk-%016llx.lock", static_cast<unsigned long long>(hash));
  return JoinPath(temp, name);
}

}  // namespace platform
