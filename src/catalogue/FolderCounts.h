#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"
#include "platform/FoldedIndex.h"

// Whether each game folder held enough entries to count as installed, remembered between starts,
// so that an unchanged start of tens of thousands of games looks each folder up once instead of
// reading it: a folder whose stamp is the one it had when it was counted holds the same entries.
// The file is a cache in the user's cache folder, of this machine's byte order; when it is
// missing, damaged (its checksum tells), of another folder or another machine, every folder is
// read as if there were none.

/// The remembered answers for the game folders of one emulator directory.
class TFolderCounts {
 public:
  /// Nothing remembered; Save does nothing.
  TFolderCounts() = default;
  /// The answers the file holds for gameDir.
  TFolderCounts(std::string file, std::string gameDir);

  /// The answer for the folder of that name (as spelled on disk) when it had this stamp, and
  /// only where such a stamp can tell a change (platform::StampCanTell). Safe to call from
  /// several threads at once. hint: where the name is likely to be among the file's names in
  /// byte order, as when the folders are asked in that order; it is looked at first.
  std::optional<bool> Find(std::string_view name, const platform::TDirStamp& stamp,
                           std::size_t hint = kNoHint) const;
  static constexpr std::size_t kNoHint = ~std::size_t{0};

  /// Remembers the answer for a folder that Find had none for, as it was just found, its stamp
  /// taken before it was read and no earlier than readNs: only when that stamp vouches for it
  /// (platform::StampVouches). Not a name of more than kMaxName bytes, which no game folder has.
  void Keep(std::string_view name, const platform::TDirStamp& stamp, bool filled,
            std::int64_t readNs);

  /// Replaces the file by the answers kept since loading, with the file's answers for other
  /// folders that are stillThere, when that differs from the file: not when Find answered for
  /// every folder the file holds and nothing was kept. False when the file had to be
  /// written and could not be; the next start then reads the folders.
  bool Save(const std::function<bool(const std::string&)>& stillThere);

  static constexpr std::size_t kMaxName = 15;

 private:
  // One folder as the file holds it: fixed size, so the file is read without parsing.
  struct TEntry {
    char Name[kMaxName + 1] = {};  // zero-padded, so byte order of names is that of the arrays
    std::uint64_t Device = 0;      // the stamp, without what it says of the volume
    std::uint64_t Inode = 0;
    std::int64_t ModifiedNs = 0;
    std::int64_t ChangedNs = 0;
    std::uint64_t Filled = 0;
    std::string_view NameView() const { return std::string_view(Name); }
    bool operator==(const TEntry&) const = default;
  };
  // Takes the bytes of a file as what is remembered, when they are a whole file of gameDir's.
  bool Take(std::string bytes);
  TEntry Loaded(std::size_t i) const;
  std::vector<TEntry> AllLoaded() const;

  std::string FFile;
  std::string FGameDir;
  // The file as read; its entries are sorted by name, one a name, and found through FIndex.
  std::string FBytes;
  std::size_t FEntriesAt = 0;
  std::size_t FCount = 0;
  const TFoldedIndex& Index() const;  // FIndex, made when first needed
  mutable TFoldedIndex FIndex;        // the entries by name
  mutable std::mutex FIndexLock;
  mutable std::atomic<bool> FIndexed{false};
  std::vector<TEntry> FKept;    // in the order kept
  mutable std::atomic<std::size_t> FFound{0};  // answers Find gave
};

/// The cache file for the game folders of gameDir in the user's cache folder; empty when the user
/// has none.
std::string FolderCountsFile(const std::string& gameDir);

/// The cache file for the listing of gameDir itself (platform::ListAndHold), beside the other;
/// empty when the user has none. Both are deleted once unused for long.
std::string FolderListingFile(const std::string& gameDir);
