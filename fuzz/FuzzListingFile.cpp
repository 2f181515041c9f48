// The remembered listing of an emulator folder: any bytes as the cache file. What is taken from
// a file is a listing a directory could give: names found again by their own look-up, and the
// same listing once written and read back.

#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "platform/ListingFile.h"

namespace {

const char* const kDir = "/emu";
const platform::TDirStamp kStamp{1, 2, 3, 4};
// A volume whose times step finely, long after the folder changed.
const platform::TScopedChangeClock kFineVolume({[] { return std::int64_t{1} << 62; },
                                                [](const platform::TDirStamp&) {
                                                  return std::int64_t{1000};
                                                }});

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto entries = platform::DecodeListing(fuzz::AsText(data, size), kDir, kStamp);
  if (!entries) return 0;
  const platform::TDirListing listing = platform::TDirListing::TData::Listing(entries, {});
  for (std::size_t i = 0; i < listing.Size(); ++i) {
    const auto found = listing.Find(listing.Name(i));
    fuzz::Check(found && listing.Name(*found) == listing.Name(i), "a name is not found again");
  }
  const std::string again = platform::EncodeListing(kDir, kStamp, std::int64_t{1} << 61, *entries);
  const auto read = platform::DecodeListing(again, kDir, kStamp);
  fuzz::Check(read && read->Items.size() == entries->Items.size() &&
                  read->Names.size() == entries->Names.size() &&
                  platform::EncodeListing(kDir, kStamp, std::int64_t{1} << 61, *read) == again,
              "a listing written is not read back");
  fuzz::Check(!platform::DecodeListing(again, kDir, {1, 2, 3, 5}), "a changed folder answered");
  return 0;
}
