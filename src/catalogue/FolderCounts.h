#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"

// Whether each game folder held enough entries to count as installed, remembered between starts,
// so that an unchanged start of tens of thousands of games looks each folder up once instead of
// reading it: a folder whose stamp is the one it had when it was counted holds the same entries.
// The file is a cache in the user's cache folder; when it is missing, damaged or of another
// folder, every folder is read as if there were none.

/// The remembered answers for the game folders of one emulator directory.
class TFolderCounts {
 public:
  /// Nothing remembered; Save does nothing.
  TFolderCounts() = default;
  /// The answers the file holds for gameDir.
  TFolderCounts(std::string file, std::string gameDir);

  /// The answer for the folder of that name (as spelled on disk) when it had this stamp.
  std::optional<bool> Find(std::string_view name, const platform::TDirStamp& stamp) const;

  /// Remembers the answer for a folder as it was just found. A folder that changed at or after
  /// settledBeforeNs is left out: a change in the same tick of the file system's clock would not
  /// have moved its times, so its stamp does not yet vouch for its entries.
  void Keep(std::string_view name, const platform::TDirStamp& stamp, bool filled,
            std::int64_t settledBeforeNs);

  /// Replaces the file by the answers kept since loading, with the file's answers for other
  /// folders that are stillThere, when that differs from the file. False when the file had to be
  /// written and could not be; the next start then reads the folders.
  bool Save(const std::function<bool(const std::string&)>& stillThere);

 private:
  struct TEntry {
    std::string Name;
    platform::TDirStamp Stamp;
    bool Filled = false;
    bool operator==(const TEntry&) const = default;
  };
  bool Load();

  std::string FFile;
  std::string FGameDir;
  std::vector<TEntry> FLoaded;  // sorted by name, one entry a name
  std::vector<TEntry> FKept;    // in the order kept
};

/// The cache file for the game folders of gameDir in the user's cache folder; empty when the user
/// has none.
std::string FolderCountsFile(const std::string& gameDir);
