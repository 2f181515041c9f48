#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Files the program keeps to clean up after itself, and the folders such a file may name: the
// file is locked by its writer for as long as the writer runs, and what it names is looked at and
// removed only as plain entries of one folder, never through a link.

namespace platform {

/// What the file system says of a file: which file it is, its size, and its times in nanoseconds
/// since the epoch. Changed is the status change, which no program can set back; Born is the
/// creation where the file system keeps one, else 0.
struct TFileStamp {
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::uint64_t Size = 0;
  std::int64_t ModifiedNs = 0;
  std::int64_t ChangedNs = 0;
  std::int64_t BornNs = 0;
};

/// A record file of the program's own, locked while this object holds it open. The lock goes with
/// the process, so another process tells a live record (locked) from one a crash left behind.
class TLockedRecord {
 public:
  TLockedRecord() = default;
  ~TLockedRecord();  ///< closes: the lock goes, the file stays
  TLockedRecord(const TLockedRecord&) = delete;
  TLockedRecord& operator=(const TLockedRecord&) = delete;

  /// Creates dir/name holding first, complete and on the disk before the name appears, locked;
  /// never replaces a file: false with *error EEXIST when the name is taken.
  bool Create(const std::string& dir, const std::string& name, std::string_view first, int* error);

  enum class TOpen { oLocked, oHeldElsewhere, oUnusable };
  /// Opens an existing record for reading and takes its lock without waiting: oHeldElsewhere when
  /// another process holds it (the record can still be read). A link, or anything but a regular
  /// file, is oUnusable, as is a missing file.
  TOpen OpenExisting(const std::string& path, int* error);

  /// The whole content; nothing when it holds more than maxBytes or cannot be read.
  std::optional<std::string> ReadAll(std::uint64_t maxBytes) const;
  std::optional<TFileStamp> Stamp() const;

  bool Append(std::string_view bytes);
  /// Flushes what is written to the disk.
  void Sync();
  /// Deletes the record (still locked meanwhile), then closes it.
  bool Remove(int* error);
  /// Renames the record to its name + suffix (+ ".2", ".3", ... when taken), never replacing a
  /// file, and closes it; the new path, or nothing when it could not be renamed.
  std::optional<std::string> SetAside(const std::string& suffix);
  void Close();

  bool IsOpen() const { return FHandle != -1; }
  const std::string& Path() const { return FPath; }

 private:
  std::intptr_t FHandle = -1;  // a descriptor on POSIX, a HANDLE on Windows
  std::string FPath;
};

/// A folder opened as one plain entry of its parent: the files in it are looked at and removed by
/// their names directly inside it, never through a link and never anywhere else.
class TConfinedFolder {
 public:
  TConfinedFolder() = default;
  ~TConfinedFolder();
  TConfinedFolder(const TConfinedFolder&) = delete;
  TConfinedFolder& operator=(const TConfinedFolder&) = delete;

  /// Opens parent/name when name is one plain name (no separator, not "." or "..") whose entry is
  /// a folder and not a link. *error: ENOENT when there is no such entry, ELOOP when it is a link,
  /// ENOTDIR when it is no folder, EINVAL for a name that is not plain.
  bool Open(const std::string& parent, const std::string& name, int* error);

  /// The stamp of the folder itself.
  std::optional<TFileStamp> Stamp() const;
  /// The stamp of the regular file name directly inside; nothing for a missing name, a link, a
  /// folder or any other kind, or a name that is not plain.
  std::optional<TFileStamp> RegularFile(const std::string& name) const;
  /// Removes the file name directly inside; a missing one counts as removed.
  bool RemoveFile(const std::string& name, int* error);
  /// Removes the folder when it is empty; false (and the folder kept) otherwise.
  bool RemoveIfEmpty(int* error);

 private:
  std::intptr_t FParent = -1;  // descriptors on POSIX; on Windows the folder's path is kept
  std::intptr_t FFolder = -1;
  std::string FName;
  std::string FPath;
};

/// Renames path to path + suffix (+ ".2", ".3", ... when taken), never replacing a file: the new
/// path, or nothing when it could not be renamed. A link is renamed, not what it leads to.
std::optional<std::string> RenameAside(const std::string& path, const std::string& suffix);

/// Whether name is one plain file name: not empty, no separator, not "." or "..", no control
/// character.
bool IsPlainEntryName(std::string_view name);

}  // namespace platform
