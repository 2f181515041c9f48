#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// One StartVELK per emulator folder: a lock that one process at a time holds, which the system
// drops when the holder ends however it ends (a killed instance never blocks the next start).

namespace platform {

/// The most a holder's note keeps; a longer one is cut.
inline constexpr std::size_t InstanceNoteSize = 512;

/// The lock of one key, held for as long as the object lives or until Release.
class TInstanceLock {
 public:
  TInstanceLock() = default;
  ~TInstanceLock();
  TInstanceLock(const TInstanceLock&) = delete;
  TInstanceLock& operator=(const TInstanceLock&) = delete;

  /// Takes the lock kept in the file path (made when missing) and clears the note a former holder
  /// left. False when another process holds it, or when the file cannot be made (error says why;
  /// it stays empty when the lock is merely held).
  bool Acquire(const std::string& path, std::string* error = nullptr);
  bool Held() const;
  void Release();

  /// Leaves a short text for the processes that find the lock held (ReadInstanceNote).
  bool WriteNote(std::string_view note);

 private:
#ifdef _WIN32
  void* FHandle = nullptr;
#else
  int FFd = -1;
#endif
};

/// The note that the holder of the lock in path left; empty when there is none. The text comes
/// from another process: it is at most InstanceNoteSize bytes and is input, never an order.
std::string ReadInstanceNote(const std::string& path);

/// The lock file of an emulator folder, named after the folder's identity so that every spelling
/// of it (a link, another letter case) meets the same lock; in the user's runtime folder, made
/// private to the user when missing. Empty when the folder cannot be looked up or no private place
/// can be had.
std::string InstanceLockPath(const std::string& folder);

}  // namespace platform
