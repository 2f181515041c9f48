#pragma once

#include <cstdint>
#include <string>

struct TCatalogue;

/// Why a game has its availability mark, in words, from its folder and archive as they are now:
/// "Installed: folder spcrcr2 holds 12 files", "Zipped: /home/me/roms/spcrcr2.zip",
/// "Not available: no folder spcrcr2 with its files, no spcrcr2.zip in /home/me/roms". When the
/// folder or archive has changed since the mark was set, it says so.
std::string AvailabilityReason(const TCatalogue& cat, std::int32_t index);
