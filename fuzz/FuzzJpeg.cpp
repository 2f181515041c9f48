// The JPEG decoding wrapper: any bytes as a screenshot, at full size and at a reduced scale.

#include <cstdint>

#include "FuzzSupport.h"
#include "screenshots/JpegCodec.h"

namespace {

void CheckPicture(const std::optional<TJpegPicture>& picture, const std::string& error) {
  if (!picture) {
    fuzz::Check(!error.empty(), "a failure without a reason");
    return;
  }
  const TRgbImage& image = picture->Image;
  fuzz::Check(image.Width > 0 && image.Height > 0, "an image of no size");
  fuzz::Check(image.Width <= picture->Width && image.Height <= picture->Height,
              "decoded larger than the picture");
  fuzz::Check(image.Pixels.size() == std::size_t(image.Width) * image.Height * 3,
              "pixels do not match the size");
  fuzz::Check(image.Pixels.size() <= JpegMaxPixelBytes, "more pixels than the bound");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = fuzz::AsText(data, size);
  std::string error;
  CheckPicture(DecodeJpeg(bytes, {}, &error), error);
  error.clear();
  CheckPicture(DecodeJpeg(bytes, {16, 16}, &error), error);
  return 0;
}
