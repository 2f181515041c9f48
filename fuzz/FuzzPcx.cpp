// The PCX decoder: any bytes as a picture. A picture it accepts is a complete, consistent BMP.

#include <cstdint>
#include <cstring>

#include "FuzzSupport.h"
#include "screenshots/PcxDecoder.h"

namespace {

std::uint32_t Le32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  std::memcpy(&v, s.data() + at, 4);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::optional<std::string> bmp = ConvertPcxToBmp(fuzz::AsText(data, size));
  if (!bmp) return 0;
  fuzz::Check(bmp->size() >= 54 && bmp->substr(0, 2) == "BM", "no BMP header");
  fuzz::Check(Le32(*bmp, 2) == bmp->size(), "BMP file size disagrees");
  fuzz::Check(Le32(*bmp, 10) <= bmp->size(), "pixel data outside the file");
  const auto width = static_cast<std::int32_t>(Le32(*bmp, 18));
  const auto height = static_cast<std::int32_t>(Le32(*bmp, 22));
  fuzz::Check(width > 0 && height > 0, "a picture of no size");
  fuzz::Check(static_cast<std::int64_t>(bmp->size()) <= PcxMaxImageSize + 54 + 1024,
              "more pixels than the bound");
  return 0;
}
