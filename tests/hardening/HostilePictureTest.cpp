// Screenshot folders and pictures that no capture made: very many files, and pictures whose
// headers promise more than they hold.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "PictureFixtures.h"
#include "TempDir.h"
#include "screenshots/Capture.h"
#include "screenshots/JpegCodec.h"
#include "screenshots/PcxDecoder.h"
#include "screenshots/ScreenShot.h"
#include "screenshots/ScreenShotOrder.h"

namespace {

void Touch(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path;
  ::close(fd);
}

}  // namespace

TEST(HostileScreenShotFolder, AHundredThousandFilesAreListedSortedAndNumberedOnce) {
  TempDir dir;
  const std::string folder = dir.MakeDir("ScreenShots").string();
  // 60,000 pictures of the game, with a gap at 777, and 40,000 files of other games.
  for (int i = 1; i <= 60000; ++i)
    if (i != 777) Touch(folder + "/mygame" + CaptureNumberText(i) + ".jpg");
  Touch(folder + "/MYGAME.JPG");
  for (int i = 0; i < 40000; ++i) Touch(folder + "/other" + std::to_string(i) + ".jpg");

  TCatalogue cat;
  cat.GameDir = dir.Str();
  for (const char* zip : {"Default", "mygame"}) {
    TGameRecord r;
    InitGameRecord(r);
    r.ZipName = zip;
    cat.Games.push_back(r);
  }
  cat.Games[1].CurrentSS = 2000000000;  // a hostile index from the settings file
  cat.CurrentGame = 1;
  TScreenShotSet set(cat);
  const TScreenShotView view = set.LoadScreenShots();
  ASSERT_EQ(set.Count(), 60000);
  EXPECT_TRUE(view.HasPicture);
  EXPECT_EQ(cat.Games[1].CurrentSS, 0);
  EXPECT_TRUE(std::is_sorted(set.Files().begin(), set.Files().end(), ScreenShotNameLess));
  EXPECT_EQ(set.PrevScreenShot()->Name, set.Files().back());  // wraps to the last of them
  EXPECT_EQ(NextCaptureName(folder, "mygame"), "mygame777.jpg");
}

TEST(HostilePictures, PcxSizesThatAreHugeNegativeOrLieAreRefused) {
  const std::string palette = std::string(1, '\x0C') + std::string(768, '\x7F');
  // Every corner of the 16-bit sizes, for both kinds of picture.
  for (const int bits : {1, 8}) {
    const int planes = bits == 1 ? 4 : 1;
    for (const auto& [xmin, xmax] : {std::pair{-32768, 32767}, {32767, -32768}, {0, -1}, {5, 4}})
      for (const int bytesPerLine : {-32768, -1, 0, 1, 32767}) {
        const std::string pcx = PcxHeader(bits, planes, xmin, 0, xmax, 32767, bytesPerLine) +
                                std::string(64, '\xC1') + palette;
        EXPECT_FALSE(ConvertPcxToBmp(pcx))
            << bits << " " << xmin << " " << xmax << " " << bytesPerLine;
      }
  }
  // A picture of sane size whose data ends after its header: rows of zero, no hang.
  const std::optional<std::string> cut =
      ConvertPcxToBmp(PcxHeader(8, 1, 0, 0, 639, 479, 640) + palette);
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->size(), 14u + 40u + 1024u + 640u * 480u);
}

TEST(HostilePictures, TruncatedAndLyingJpegsFailWithAReason) {
  TRgbImage image;
  image.Width = 64;
  image.Height = 48;
  image.Pixels.assign(64 * 48 * 3, 0x80);
  const std::string jpeg = EncodeJpeg(image).value();
  for (std::size_t keep :
       {std::size_t{0}, std::size_t{2}, std::size_t{20}, jpeg.size() / 2, jpeg.size() - 2}) {
    std::string error;
    EXPECT_FALSE(DecodeJpeg(jpeg.substr(0, keep), {}, &error)) << keep;
    EXPECT_FALSE(error.empty()) << keep;
  }
  // The frame header claims 65500 × 65500: refused before the pixels are allocated.
  std::string huge = jpeg;
  const std::size_t sof = huge.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  huge[sof + 5] = huge[sof + 7] = '\xFF';
  huge[sof + 6] = huge[sof + 8] = '\xDC';
  std::string error;
  EXPECT_FALSE(DecodeJpeg(huge, {}, &error));
  EXPECT_FALSE(error.empty());
}
