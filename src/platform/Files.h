#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Unchanged.h"

// The file-system seam. On Linux every name the program asks for is found without regard to ASCII
// letter case, as on the emulator's home file system: the exact name first, else the one directory
// entry that matches ignoring case (the first in byte order when several do).

namespace platform {

#ifdef _WIN32
inline constexpr char PathDelim = '\\';
#else
inline constexpr char PathDelim = '/';
#endif

/// One entry of a directory listing.
struct TSearchRec {
  std::string Name;        ///< as the file system spells it
  bool IsDirectory = false;
  bool IsHidden = false;   ///< dot files on POSIX, the hidden attribute on Windows
  std::uint64_t Size = 0;
  std::time_t Time = 0;    ///< modification time, seconds since the epoch
};

/// Wildcard match of a name against a mask with `*` and `?`, ignoring ASCII case. A mask of
/// `*.*` or `*` matches every name, as the original listing calls expect.
bool MatchesMask(std::string_view name, std::string_view mask);

/// How much a listing tells of each entry: everything, or its name and whether it is a directory.
/// Most file systems give the kind with the name, so the second costs no look-up per entry; Size
/// and Time are then 0 wherever the kind came without a look-up.
enum class TListDetail { ldAll, ldKind };

/// Calls visit for every entry of dir whose name matches mask, "." and ".." included, entries of
/// every kind (hidden files, directories, links). visit returns false to stop early. Returns false
/// when the directory cannot be listed; an empty dir means the working directory.
bool ForEachEntry(const std::string& dir, std::string_view mask,
                  const std::function<bool(const TSearchRec&)>& visit,
                  TListDetail detail = TListDetail::ldAll);

/// Counts the entries of dir, "." and ".." included, stopping at limit; nothing is looked up per
/// entry, so it costs one listing. 0 when the directory cannot be listed.
std::size_t CountEntries(const std::string& dir, std::size_t limit);

/// Every entry of a directory as one listing gave it, "." and ".." included, with the names in
/// one block and found by name ignoring ASCII case in constant time. Copies share the entries.
class TDirListing {
 public:
  /// Nothing listed.
  TDirListing() = default;

  /// False when the directory could not be listed.
  bool Listed() const { return FData != nullptr; }
  std::size_t Size() const;
  /// The name as the file system spells it.
  std::string_view Name(std::size_t i) const;
  /// Whether the entry is a directory, a link followed, as of the listing.
  bool IsDirectory(std::size_t i) const;
  /// The entry a case-insensitive look-up of name finds: the exact name first, else the smallest
  /// case variant in byte order, so the choice never depends on the listing order.
  std::optional<std::size_t> Find(std::string_view name) const;

  struct TData;  ///< the entries, shared by copies and by the remembered listing

 private:
  std::shared_ptr<const TData> FData;
  std::vector<std::uint32_t> FLinkedDirs;  // sorted: entries that are links to directories
};

/// The entries of dir (empty: the working directory), found as ForEachEntry finds it. The last
/// listing of a large directory is remembered, and given again while the directory is unchanged
/// by the rule of Unchanged.h; a link's kind is looked up at every call.
TDirListing ListDirectory(const std::string& dir);

/// ListDirectory, its listing then held for the look-ups of a start in dir (names found ignoring
/// case, listings): one read serves them all while dir shows no change but the program's own
/// writes (WriteFileAtomically), whose names it adds, until EndHeldListing and for
/// kHeldListingNs at most. A file someone else makes meanwhile is seen by the first read after.
/// Where memoFile holds the listing KeepListing kept of dir as it is now, that is taken without
/// reading dir.
TDirListing ListAndHold(const std::string& dir, const std::string& memoFile = {});
/// Keeps the listing of a large directory in memoFile for a later ListAndHold, as the directory
/// is once its last change has settled (Unchanged.h): it waits for that, kMaxKeepWaitNs at most.
/// Nothing is kept where the directory's stamp cannot tell a change, or it changes meanwhile.
void KeepListing(const std::string& dir, const std::string& memoFile);
inline constexpr std::int64_t kMaxKeepWaitNs = 1'000'000'000;
void EndHeldListing();
inline constexpr std::int64_t kHeldListingNs = 1'000'000'000;

/// Whether a listing of dir as it is now is remembered, so that ListDirectory gives it again
/// without reading the directory.
bool ListingRemembered(const std::string& dir);

/// The stamp of the directory dir, found ignoring case; nothing when it is no directory.
std::optional<TDirStamp> FolderStamp(const std::string& dir);

/// A directory opened once, whose entries are then looked up by their exact names without
/// walking its path again: tens of thousands of look-ups in one directory cost a good part less.
/// Safe to use from several threads at once.
class TOpenDir {
 public:
  explicit TOpenDir(std::string path);
  ~TOpenDir();
  TOpenDir(const TOpenDir&) = delete;
  TOpenDir& operator=(const TOpenDir&) = delete;

  /// The stamp of the directory entry name, a link followed; nothing when it is no directory or
  /// cannot be looked up. One look-up, no listing.
  std::optional<TDirStamp> Stamp(const std::string& name) const;

  /// Whether relative, below the directory, names an entry that is no directory (a link
  /// followed); looked up by its exact name, with one look-up.
  bool HasFile(const std::string& relative) const;

  /// CountEntries of the directory entry name.
  std::size_t CountEntries(const std::string& name, std::size_t limit) const;

 private:
  std::string FPath;
  int FFd = -1;  // the open directory where the platform has one
  std::uint64_t FDevice = 0;  // where the open directory lies
  std::uint64_t FVolume = 0;
};

/// The folder for the user's caches ($XDG_CACHE_HOME, else ~/.cache; %LOCALAPPDATA% on Windows);
/// empty when there is none.
std::string UserCacheDir();

/// The folder for the user's own settings ($XDG_CONFIG_HOME, else ~/.config; %APPDATA% on
/// Windows); empty when there is none.
std::string UserConfigDir();

/// All matching entries of ForEachEntry, in the file system's order.
std::vector<TSearchRec> FindFiles(const std::string& dir, std::string_view mask);

/// The path as it exists on disk: each component resolved without regard to case. Components
/// that do not exist are kept as given, so the result names where such a file would be created.
std::string ResolvePath(const std::string& path);

bool FileExists(const std::string& path);       ///< an existing entry that is not a directory
bool DirectoryExists(const std::string& path);
bool PathExists(const std::string& path);       ///< either of the two

/// Modification time of a file, or nothing when it cannot be read.
std::optional<std::time_t> FileAge(const std::string& path);

/// Size of a file, or nothing when it cannot be read.
std::optional<std::uint64_t> FileSize(const std::string& path);

bool DeleteFile(const std::string& path);

/// Creates a directory; an existing directory of any letter case counts as success.
bool CreateDir(const std::string& path);

/// Renames, replacing an existing target atomically where the platform allows.
bool RenameFile(const std::string& from, const std::string& to);

std::string GetCurrentDir();
bool SetCurrentDir(const std::string& path);

/// Directory of the running program, with a trailing separator.
std::string ProgramDir();

/// Free bytes on the file system that holds path, or nothing when unknown.
std::optional<std::uint64_t> FreeDiskSpace(const std::string& path);

/// The path with one separator at its end (unchanged when empty or already ending in one).
std::string IncludeTrailingPathDelimiter(std::string path);

/// a and b joined by exactly one separator; b alone when a is empty.
std::string JoinPath(std::string_view a, std::string_view b);

/// Whether path names a regular file (a link to one counts); looked up without opening it.
bool IsRegularFile(const std::string& path);

/// Opens an existing file for reading only when it is a regular file (a link to one counts). A
/// pipe, device or directory under the name is refused without ever waiting on it (-1): a named
/// pipe would block the reader until a writer comes. The descriptor is the caller's to close.
int OpenRegularFile(const std::string& path);

/// Why OpenRegularFile failed, from the errno it left: "not a regular file" for what it refused.
std::string OpenFailureText(int code);

/// Whole file into a byte string; nothing when it cannot be read or is no regular file.
std::optional<std::string> ReadWholeFile(const std::string& path);

/// The same for files from outside, which may be of any size or never end (a link to a device):
/// nothing when the file holds more than maxBytes, found without reading more than that.
std::optional<std::string> ReadWholeFile(const std::string& path, std::uint64_t maxBytes);

/// What WriteFileAtomically does with a symbolic link under the name: replace the link by a
/// regular file (nothing outside the folder is touched), or replace the file the link leads to,
/// in its own folder, leaving the link (a user who keeps the file elsewhere on purpose).
enum class TLinkWrite { lwReplaceLink, lwThroughLink };

/// Whether WriteFileAtomically waits until the bytes are on the disk before the new file takes
/// the old one's place. A file that is written anew at every start, or checked when it is read,
/// can do without the wait: after a power cut it is at worst an old or a damaged one.
enum class TDurability { dOnDisk, dRewrittenEachStart };

/// Writes bytes to path through a temporary file beside it that replaces the old file only once
/// it is complete, so a failed write leaves the old file untouched. The replaced file's
/// permissions are kept (0644 for a new one).
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error,
                         TLinkWrite links = TLinkWrite::lwReplaceLink,
                         TDurability durability = TDurability::dOnDisk);

}  // namespace platform
