#pragma once

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

struct TCatalogue;
class TNewGames;
namespace platform {
class TDirListing;
}

/// Entries a game directory needs to count as installed, "." and ".." included.
inline constexpr int InstalledMinEntries = 6;

/// Appends to names, in listing order, every directory of the working directory that holds its
/// driver file <name>/<name>.vlk (found ignoring letter case), spelled as the listing gives it.
void ScanDriverDirs(TNewGames& names, const std::string& dir = "");

/// Whether a short name can stand for a folder of the emulator's directory and its archive: one
/// plain name of at most eight bytes, neither "." nor "..", without a separator, a drive prefix
/// (no ':' at all) or a control character. Any other name is never installed nor zip-available,
/// and no start builds a path from it.
bool IsPlainZipName(std::string_view name);

/// Where the availability scan remembers what it found in the game folders, and from how many
/// folders on it does: a few thousand folders are read in less time than the file takes. What
/// is remembered of a folder follows the rule of platform/Unchanged.h.
struct TScanMemory {
  std::string File;  ///< empty: nothing remembered
  std::size_t FromFolders = 2000;
  /// Where a survey finds the listing of the emulator directory itself, as the last run left it
  /// (TFolderSurvey::KeepListingForNextStart); empty: nowhere.
  std::string ListingFile;
};

/// Both kept in the user's cache folder (FolderCountsFile, FolderListingFile).
TScanMemory UserScanMemory(const std::string& gameDir);

/// The folders of an emulator directory, read on other threads while the program starts up: its
/// listing, and for every folder in it whether it holds enough entries to count as installed.
/// The first scan of that directory takes these answers instead of reading the folders itself.
class TFolderSurvey {
 public:
  /// Starts reading dir at once; memory as for ScanGameAvailability.
  TFolderSurvey(std::string dir, TScanMemory memory);
  ~TFolderSurvey();  ///< waits for the reading to end
  TFolderSurvey(const TFolderSurvey&) = delete;
  TFolderSurvey& operator=(const TFolderSurvey&) = delete;

  /// Waits for the reading to end.
  void Wait();

  /// Keeps the listing of a directory of many folders for the next start's survey, as this run
  /// leaves it (platform::KeepListing): to be called once the program has written its last file
  /// there. It may wait for a moment, so the window should be gone by then.
  void KeepListingForNextStart();

  /// The folders may have changed since the reading began (files left by a killed start were
  /// deleted, or a report box kept the start waiting on the user): the scan reads them itself.
  void Discard();

 private:
  friend void ScanGameAvailability(TCatalogue&, const TScanMemory&, TFolderSurvey*);
  struct TResult;
  // The answers for dir, once read; nothing when discarded, failed or of another directory.
  std::unique_ptr<TResult> Take(const std::string& dir);
  // The listing of dir, when the thread has it already and its answers may still be taken.
  const platform::TDirListing* ListingSoFar(const std::string& dir) const;

  std::string FDir;
  TScanMemory FMemory;
  std::unique_ptr<TResult> FResult;  // once FReady, the thread changes only its answers
  std::atomic<bool> FReady{false};
  bool FFailed = false;  // written by the thread before it ends
  std::size_t FFolders = 0;  // the same
  bool FDiscarded = false;
  std::thread FThread;
};

/// Sizes cat.GameStatus to cat.Games (new elements 0, element 0 never written) and sets every
/// game's status: installed when its directory has six entries, else zip-available when
/// <AltRomPath><ZipName>.zip exists, else not available; always not available for a ZipName that
/// is no plain name. A game folder unchanged since a scan remembered it in memory.File is looked
/// up, not read; the answers of a survey of cat.GameDir are taken when it has them.
void ScanGameAvailability(TCatalogue& cat, const TScanMemory& memory,
                          TFolderSurvey* survey = nullptr);

/// The same, remembering in the user's cache folder (UserScanMemory).
void ScanGameAvailability(TCatalogue& cat);
