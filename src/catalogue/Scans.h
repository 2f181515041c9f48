#pragma once

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

/// True when the listing of dir (every kind of entry, "." and ".." included) yields at least
/// minCount entries; a directory that does not exist yields none. Stops counting at minCount.
bool DirHasEntries(const std::string& dir, int minCount);

/// Sizes cat.GameStatus to cat.Games (new elements 0, element 0 never written) and sets every
/// game's status: installed when its directory has six entries, else zip-available when
/// <AltRomPath><ZipName>.zip exists, else not available; always not available for a ZipName that
/// is no plain name.
void ScanGameAvailability(TCatalogue& cat);
