#include <gtest/gtest.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "PictureFixtures.h"
#include "TempDir.h"
#include "screenshots/Capture.h"
#include "screenshots/JpegCodec.h"
#include "screenshots/ScreenShot.h"

namespace {

namespace fs = std::filesystem;

TRgbImage Gradient(int w, int h) {
  TRgbImage img{w, h, std::vector<std::uint8_t>(std::size_t(w) * h * 3)};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = &img.Pixels[(std::size_t(y) * w + x) * 3];
      p[0] = static_cast<std::uint8_t>(x * 255 / std::max(1, w - 1));
      p[1] = static_cast<std::uint8_t>(y * 255 / std::max(1, h - 1));
      p[2] = static_cast<std::uint8_t>(128 + ((x / 8 + y / 8) % 2) * 64);
    }
  return img;
}

// What a reader sees in a JPEG: read with libjpeg itself, independently of the codec under test.
struct TJpegFacts {
  int Width = 0, Height = 0, Components = 0;
  bool Progressive = false, Baseline = false;
  J_COLOR_SPACE ColorSpace = JCS_UNKNOWN;
  std::vector<unsigned> LumaTable, ChromaTable;
};

struct TTestError {
  jpeg_error_mgr Pub;
  std::jmp_buf Jump;
};

bool ReadFacts(const std::string& bytes, TJpegFacts& facts) {
  jpeg_decompress_struct cinfo;
  TTestError err;
  cinfo.err = jpeg_std_error(&err.Pub);
  err.Pub.error_exit = [](j_common_ptr c) {
    std::longjmp(reinterpret_cast<TTestError*>(c->err)->Jump, 1);
  };
  if (setjmp(err.Jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&cinfo, TRUE);
  facts.Width = static_cast<int>(cinfo.image_width);
  facts.Height = static_cast<int>(cinfo.image_height);
  facts.Components = cinfo.num_components;
  facts.Progressive = cinfo.progressive_mode;
  facts.ColorSpace = cinfo.jpeg_color_space;
  for (int i = 0; i < DCTSIZE2; ++i) {
    facts.LumaTable.push_back(cinfo.quant_tbl_ptrs[0]->quantval[i]);
    facts.ChromaTable.push_back(cinfo.quant_tbl_ptrs[1]->quantval[i]);
  }
  jpeg_destroy_decompress(&cinfo);
  facts.Baseline = bytes.find("\xFF\xC0", 0, 2) != std::string::npos &&
                   bytes.find("\xFF\xC2", 0, 2) == std::string::npos;
  return true;
}

// The libjpeg quality that scales the standard tables to the ones found (0 when none does).
int EstimateQuality(const std::vector<unsigned>& luma, const std::vector<unsigned>& chroma) {
  static const unsigned stdLuma[64] = {
      16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
      14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
      18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
      49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
  static const unsigned stdChroma[64] = {
      17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
      99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
      99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
  for (int q = 1; q <= 100; ++q) {
    const unsigned scale = q < 50 ? 5000 / q : 200 - 2 * q;
    bool all = true;
    for (int i = 0; i < 64 && all; ++i) {
      const auto expect = [&](unsigned base) {
        return std::clamp<unsigned>((base * scale + 50) / 100, 1, 255);
      };
      all = luma[i] == expect(stdLuma[i]) && chroma[i] == expect(stdChroma[i]);
    }
    if (all) return q;
  }
  return 0;
}

TEST(JpegCodecTest, EncodedCaptureReadsBackAsQuality90BaselineColour) {
  const TRgbImage img = Gradient(37, 23);  // odd sizes, not multiples of the block size
  std::string error;
  const std::optional<std::string> jpeg = EncodeJpeg(img, CaptureJpegQuality, &error);
  ASSERT_TRUE(jpeg) << error;
  TJpegFacts facts;
  ASSERT_TRUE(ReadFacts(*jpeg, facts));
  EXPECT_EQ(facts.Width, 37);
  EXPECT_EQ(facts.Height, 23);
  EXPECT_EQ(facts.Components, 3);
  EXPECT_EQ(facts.ColorSpace, JCS_YCbCr);
  EXPECT_FALSE(facts.Progressive);
  EXPECT_TRUE(facts.Baseline);
  EXPECT_EQ(EstimateQuality(facts.LumaTable, facts.ChromaTable), 90);

  const std::optional<TJpegPicture> back = DecodeJpeg(*jpeg, {}, &error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->Width, 37);
  EXPECT_EQ(back->Height, 23);
  ASSERT_EQ(back->Image.Width, 37);
  ASSERT_EQ(back->Image.Height, 23);
  ASSERT_EQ(back->Image.Pixels.size(), img.Pixels.size());
  long total = 0;
  for (std::size_t i = 0; i < img.Pixels.size(); ++i)
    total += std::abs(back->Image.Pixels[i] - img.Pixels[i]);
  EXPECT_LT(static_cast<double>(total) / img.Pixels.size(), 6.0);  // quality 90 is close
}

TEST(JpegCodecTest, GreyAndCmykPicturesComeOutAsRgb) {
  const std::optional<TJpegPicture> grey = DecodeJpeg(FlatJpeg(JCS_GRAYSCALE, {100}));
  ASSERT_TRUE(grey);
  EXPECT_NEAR(grey->Image.Pixels[0], 100, 2);
  EXPECT_EQ(grey->Image.Pixels[0], grey->Image.Pixels[1]);
  EXPECT_EQ(grey->Image.Pixels[0], grey->Image.Pixels[2]);
  // Adobe CMYK is stored inverted: 255 is no ink. Full cyan on no black reads as (0, 255, 255).
  const std::optional<TJpegPicture> cmyk = DecodeJpeg(FlatJpeg(JCS_CMYK, {0, 255, 255, 255}));
  ASSERT_TRUE(cmyk);
  EXPECT_EQ(cmyk->Image.Pixels.size(), 16u * 16u * 3u);
  EXPECT_NEAR(cmyk->Image.Pixels[0], 0, 3);
  EXPECT_NEAR(cmyk->Image.Pixels[1], 255, 3);
  EXPECT_NEAR(cmyk->Image.Pixels[2], 255, 3);
}

TEST(JpegCodecTest, ReducedScaleKeepsThePicturesFullSize) {
  const std::optional<std::string> jpeg = EncodeJpeg(Gradient(640, 480));
  ASSERT_TRUE(jpeg);
  const std::optional<TJpegPicture> small = DecodeJpeg(*jpeg, {150, 100});
  ASSERT_TRUE(small);
  EXPECT_EQ(small->Width, 640);
  EXPECT_EQ(small->Height, 480);
  EXPECT_EQ(small->Image.Width, 160);  // 1/4 still covers 150 × 100; 1/8 would not
  EXPECT_EQ(small->Image.Height, 120);
  EXPECT_EQ(small->Image.Pixels.size(), 160u * 120u * 3u);
  const std::optional<TJpegPicture> full = DecodeJpeg(*jpeg, {700, 100});
  ASSERT_TRUE(full);
  EXPECT_EQ(full->Image.Width, 640);
}

TEST(JpegCodecTest, CorruptTruncatedAndEmptyDataFailWithoutEndingTheProcess) {
  const std::optional<std::string> jpeg = EncodeJpeg(Gradient(64, 64));
  ASSERT_TRUE(jpeg);
  std::string error;
  EXPECT_FALSE(DecodeJpeg(jpeg->substr(0, jpeg->size() / 2), {}, &error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(DecodeJpeg("this is not a picture at all", {}, &error));
  EXPECT_FALSE(error.empty());
  std::string broken = *jpeg;
  for (std::size_t i = 20; i < 200; ++i) broken[i] = static_cast<char>(0xFF);  // the headers
  EXPECT_FALSE(DecodeJpeg(broken));
  EXPECT_FALSE(DecodeJpeg(""));
  EXPECT_FALSE(DecodeJpeg(jpeg->substr(0, 2)));
  EXPECT_FALSE(DecodeJpegFile("/nonexistent/picture.jpg", {}, &error));
  // The codec is still usable after a failure.
  EXPECT_TRUE(DecodeJpeg(*jpeg));
}

TEST(JpegCodecTest, HugeClaimedSizeIsRefusedBeforeAllocating) {
  std::string jpeg = EncodeJpeg(Gradient(16, 16)).value();
  const std::size_t sof = jpeg.find("\xFF\xC0", 0, 2);
  ASSERT_NE(sof, std::string::npos);
  for (std::size_t at : {sof + 5, sof + 7}) {  // height, width: 60000 each
    jpeg[at] = static_cast<char>(0xEA);
    jpeg[at + 1] = static_cast<char>(0x60);
  }
  std::string error;
  EXPECT_FALSE(DecodeJpeg(jpeg, {}, &error));
  EXPECT_FALSE(error.empty());
}

TEST(JpegCodecTest, EncodingRefusesWhatTheLibraryCannotTake) {
  std::string error;
  EXPECT_FALSE(EncodeJpeg(TRgbImage{}, 90, &error));
  TRgbImage mismatch = Gradient(4, 4);
  mismatch.Pixels.pop_back();
  EXPECT_FALSE(EncodeJpeg(mismatch));
  TRgbImage wide{70000, 1, std::vector<std::uint8_t>(70000u * 3u)};
  error.clear();
  EXPECT_FALSE(EncodeJpeg(wide, 90, &error));  // the library's own limit, caught
  EXPECT_FALSE(error.empty());
}

class CaptureTest : public ::testing::Test {
 protected:
  void Touch(const std::string& name) { Dir.Write("ScreenShots/" + name, "x"); }
  std::string Next() { return NextCaptureName(ScreenShotFolder(Dir.Str()), "mygame"); }
  TempDir Dir;
};

TEST_F(CaptureTest, NumberingFillsGapsAndGrowsPastTwoDigits) {
  EXPECT_EQ(CaptureNumberText(1), "01");
  EXPECT_EQ(CaptureNumberText(9), "09");
  EXPECT_EQ(CaptureNumberText(10), "10");
  EXPECT_EQ(CaptureNumberText(100), "100");
  EXPECT_EQ(Next(), "mygame01.jpg");  // no folder yet
  Touch("mygame01.jpg");
  EXPECT_EQ(Next(), "mygame02.jpg");
  for (int n = 2; n <= 9; ++n) Touch("mygame0" + std::to_string(n) + ".jpg");
  Touch("mygame201.jpg");  // mygame2's first capture takes no number of mygame
  EXPECT_EQ(Next(), "mygame10.jpg");
  for (int n = 10; n <= 99; ++n) Touch("mygame" + std::to_string(n) + ".jpg");
  EXPECT_EQ(Next(), "mygame100.jpg");
  fs::remove(Dir.Path() / "ScreenShots" / "mygame01.jpg");
  EXPECT_EQ(Next(), "mygame01.jpg");
}

TEST_F(CaptureTest, TakenInAnyCaseOrByADirectory) {
  Touch("MYGAME01.JPG");
  Dir.MakeDir("ScreenShots/mygame02.jpg");
  EXPECT_EQ(Next(), "mygame03.jpg");
}

TEST_F(CaptureTest, SavedCapturesDecodeAndTakeTheNextNumbers) {
  EnsureScreenShotFolder(Dir.Str());
  ASSERT_TRUE(fs::is_directory(Dir.Path() / "ScreenShots"));
  const TRgbImage img = Gradient(48, 32);
  const std::string first = SaveCaptureScreenShot(Dir.Str(), "mygame", img);
  const std::string second = SaveCaptureScreenShot(Dir.Str(), "mygame", img);  // same picture
  EXPECT_EQ(fs::path(first).filename(), "mygame01.jpg");
  EXPECT_EQ(fs::path(second).filename(), "mygame02.jpg");
  const std::optional<TJpegPicture> back = DecodeJpegFile(second);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Width, 48);
  EXPECT_EQ(back->Height, 32);
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(Dir.Path() / "ScreenShots"))
    ++entries;
  EXPECT_EQ(entries, 2u);  // no temporary files left behind
}

TEST_F(CaptureTest, ExistingFolderInOtherCaseIsReused) {
  Dir.MakeDir("screenshots");
  EnsureScreenShotFolder(Dir.Str());
  EXPECT_FALSE(fs::exists(Dir.Path() / "ScreenShots"));
  const std::string path = SaveCaptureScreenShot(Dir.Str(), "mygame", Gradient(8, 8));
  EXPECT_EQ(fs::path(path).parent_path().filename(), "screenshots");
}

TEST_F(CaptureTest, FailuresThrowAndNoGameSavesNothing) {
  Dir.Write("ScreenShots", "a file where the folder should be");
  EXPECT_THROW(EnsureScreenShotFolder(Dir.Str()), ECaptureError);
  EXPECT_THROW(SaveCaptureScreenShot(Dir.Str(), "mygame", Gradient(8, 8)), ECaptureError);
  TempDir other;
  EXPECT_THROW(SaveCaptureScreenShot(other.Str(), "mygame", TRgbImage{}), ECaptureError);

  TCatalogue cat;
  cat.GameDir = other.Str();
  TGameRecord record;
  InitGameRecord(record);
  cat.Games = {record, record};
  cat.Games[1].ZipName = "mygame";
  cat.CurrentGame = -1;
  EnsureScreenShotFolder(other.Str());
  EXPECT_EQ(SaveClipboardScreenShot(cat, Gradient(8, 8)), std::nullopt);
  EXPECT_TRUE(fs::is_empty(other.Path() / "ScreenShots"));
  cat.CurrentGame = 1;
  const std::optional<std::string> saved = SaveClipboardScreenShot(cat, Gradient(8, 8));
  ASSERT_TRUE(saved);
  EXPECT_EQ(fs::path(*saved).filename(), "mygame01.jpg");
}

}  // namespace
