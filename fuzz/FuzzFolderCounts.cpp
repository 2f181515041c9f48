// The remembered game folders: any bytes as the cache file. A file that is not whole and ours
// answers nothing; whatever it held, what is kept and saved is what the next start reads.

#include <cstdint>
#include <fstream>
#include <string>

#include "FuzzSupport.h"
#include "catalogue/FolderCounts.h"
#include "platform/Unchanged.h"

namespace {

const char* const kGameDir = "/emu";
const platform::TDirStamp kStamp{1, 2, 3, 4};
// Folders on a volume whose times step finely, read long after they changed: kept answers count.
const platform::TScopedChangeClock kFineVolume({nullptr, [](const platform::TDirStamp&) {
                                                  return std::int64_t{1000};
                                                }});
constexpr std::int64_t kReadNs = std::int64_t{1} << 62;

std::string CacheFile() {
  return (fuzz::ScratchDir() / "folders").string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    std::ofstream out(CacheFile(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) fuzz::Fail("cannot write the scratch cache file");
  }
  TFolderCounts counts(CacheFile(), kGameDir);
  // The names a damaged file may hold, looked up under any stamp, must not upset the reader.
  for (const char* name : {"g0", "G0", "game", "", "abcdefghijklmno"}) counts.Find(name, kStamp);
  counts.Keep("fresh", kStamp, true, kReadNs);
  counts.Keep("bare", kStamp, false, kReadNs);
  fuzz::Check(counts.Save([](const std::string& name) { return name.size() % 2 == 0; }),
              "a cache that could be written was not");

  const TFolderCounts again(CacheFile(), kGameDir);
  fuzz::Check(again.Find("fresh", kStamp) == true, "a kept answer was lost");
  fuzz::Check(again.Find("bare", kStamp) == false, "a kept answer changed");
  fuzz::Check(!again.Find("fresh", platform::TDirStamp{1, 2, 3, 5}), "a changed folder answered");
  return 0;
}
