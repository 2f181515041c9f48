#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct TCatalogue;
class TNewGames;

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
/// folders on it does: a few thousand folders are read in less time than the file takes.
struct TScanMemory {
  std::string File;  ///< empty: nothing remembered
  std::size_t FromFolders = 2000;
  /// How long a folder's times must lie back before what it holds is remembered: a change within
  /// one tick of the file system's clock leaves them as they were.
  std::int64_t SettledNs = std::int64_t{2} * 1000 * 1000 * 1000;
};

/// Sizes cat.GameStatus to cat.Games (new elements 0, element 0 never written) and sets every
/// game's status: installed when its directory has six entries, else zip-available when
/// <AltRomPath><ZipName>.zip exists, else not available; always not available for a ZipName that
/// is no plain name. A game folder unchanged since a scan remembered it in memory.File is looked
/// up, not read.
void ScanGameAvailability(TCatalogue& cat, const TScanMemory& memory);

/// The same, remembering in the user's cache folder (FolderCountsFile).
void ScanGameAvailability(TCatalogue& cat);
