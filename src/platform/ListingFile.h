#pragma once

// A large directory's listing kept in a file between runs, so that a start in an emulator folder
// of tens of thousands of entries that has not changed since takes them from one small file
// instead of reading the folder again. The file is a cache and may have been written by anyone:
// it is taken only when it is whole (its checksum), names the directory, carries the stamp the
// directory has now, and says it was read a settle time after that stamp (Unchanged.h).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "DirListingData.h"
#include "Unchanged.h"

namespace platform {

/// The bytes of a listing file for entries of dir, read no earlier than readNs and after its
/// stamp was taken. The entries go in byte order of their names, the order in which a start then
/// asks about the folders: the order in which their remembered counts are kept too.
std::string EncodeListing(std::string_view dir, const TDirStamp& stamp, std::int64_t readNs,
                          const TDirListing::TData& entries);

/// The entries, indexed, that bytes hold for dir as it is with stamp; nothing when they are not
/// a whole listing file of that directory and stamp, or when the stamp does not vouch for them.
std::shared_ptr<TDirListing::TData> DecodeListing(std::string_view bytes, std::string_view dir,
                                                  const TDirStamp& stamp);

/// Larger files are not a listing of ours and are not read.
inline constexpr std::uint64_t kMaxListingFileBytes = std::uint64_t{64} << 20;

}  // namespace platform
