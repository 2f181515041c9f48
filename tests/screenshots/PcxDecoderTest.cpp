#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "PictureFixtures.h"
#include "screenshots/PcxDecoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(std::string_view s) {
  return Bytes(s.begin(), s.end());
}
std::string ToString(const Bytes& b) {
  return std::string(b.begin(), b.end());
}

void Le16(Bytes& b, std::size_t at, int v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

Bytes Header(int bitsPerPixel, int planes, int xmin, int ymin, int xmax, int ymax,
             int bytesPerLine) {
  return ToBytes(PcxHeader(bitsPerPixel, planes, xmin, ymin, xmax, ymax, bytesPerLine));
}

void Append(Bytes& to, const Bytes& more) {
  to.insert(to.end(), more.begin(), more.end());
}

Bytes Palette256(std::uint8_t marker) {
  Bytes p{marker};
  for (int i = 0; i < 256; ++i)
    Append(p, {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
               static_cast<std::uint8_t>(i / 2)});
  return p;
}

Bytes Convert(const Bytes& pcx) {
  const std::optional<std::string> bmp = ConvertPcxToBmp(ToString(pcx));
  EXPECT_TRUE(bmp.has_value());
  return bmp ? ToBytes(*bmp) : Bytes{};
}

bool Refused(const Bytes& pcx) {
  return !ConvertPcxToBmp(ToString(pcx)).has_value();
}

TEST(PcxDecodeLineTest, RunLengthCases) {
  TDecoder256 decoder;
  TByteStream stream(std::string_view("\xC3\x05\x3F\xC0\x77\x3F\xC5\x09\x01", 9));
  std::uint8_t out[128] = {};
  EXPECT_EQ(decoder.DecodeLine(stream, 3, out), 3);
  EXPECT_EQ(Bytes(out, out + 3), (Bytes{0x05, 0x05, 0x05}));
  EXPECT_EQ(decoder.DecodeLine(stream, 1, out), 1);
  EXPECT_EQ(out[0], 0x3F);  // below 192: the pixel itself
  std::fill(std::begin(out), std::end(out), 0);
  EXPECT_EQ(decoder.DecodeLine(stream, 1, out), 1);  // 0xC0 0x77 writes nothing, then 0x3F
  EXPECT_EQ(out[0], 0x3F);
  EXPECT_EQ(out[1], 0x00);
  // A run past the count is written whole and not carried into the next line.
  EXPECT_EQ(decoder.DecodeLine(stream, 2, out), 5);
  EXPECT_EQ(Bytes(out, out + 5), Bytes(5, 0x09));
  EXPECT_EQ(decoder.DecodeLine(stream, 1, out), 1);
  EXPECT_EQ(out[0], 0x01);
  EXPECT_EQ(decoder.DecodeLine(stream, 4, out), 0);  // input used up
}

TEST(PcxDecodeLineTest, PositionCarriesAcrossLinesAndBufferRefills) {
  std::string data(1023, '\x01');
  data += "\xC4\x22\x33";  // the run's value byte is the first of the second block
  TByteStream stream(data);
  TDecoder16 decoder;
  std::vector<std::uint8_t> out(2048);
  EXPECT_EQ(decoder.DecodeLine(stream, 1000, out.data()), 1000);
  EXPECT_EQ(decoder.DecodeLine(stream, 23, out.data()), 23);
  EXPECT_EQ(decoder.DecodeLine(stream, 4, out.data()), 4);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), Bytes(4, 0x22));
  EXPECT_EQ(decoder.DecodeLine(stream, 1, out.data()), 1);
  EXPECT_EQ(out[0], 0x33);
}

TEST(PcxPlanesTest, PlanesPackIntoNibblesLeftPixelHigh) {
  const std::uint8_t planes[4] = {0x80, 0x80, 0x00, 0x40};
  std::uint8_t out[4] = {};
  TDecoder16::PlanesToNibbles(planes, 1, out);
  EXPECT_EQ(out[0], 0x38);
  EXPECT_EQ(out[1], 0x00);
}

TEST(PcxConvertTest, ThreePixel256ColourImage) {
  Bytes pcx = Header(8, 1, 0, 0, 2, 1, 4);  // 3 × 2, 4 bytes per line
  Append(pcx, {0x01, 0x02, 0x03, 0x00});    // first line, stored last in the BMP
  Append(pcx, {0xC3, 0x05, 0x3F});          // second line: 05 05 05 3F
  Append(pcx, Palette256(12));
  TPCXBitmap bitmap;
  const std::optional<std::string> out = bitmap.ConvertPCX(ToString(pcx));
  ASSERT_TRUE(out);
  EXPECT_TRUE(bitmap.Is256());
  EXPECT_EQ(bitmap.Header()[0], 10);
  const Bytes bmp = ToBytes(*out);

  Bytes expected = {
      'B', 'M', 0x3E, 0x04, 0, 0, 0, 0, 0, 0, 0x36, 0x04, 0, 0,  // 1086 bytes, pixels at 1078
      40,  0,   0,    0,    3, 0, 0, 0, 2, 0, 0,    0,    1, 0,
      8,   0,  // size, width, height, planes, bits
      0,   0,   0,    0,    8, 0, 0, 0, 0, 0, 0,    0,    0, 0,
      0,   0,                             // no compression, 8 bytes of pixels
      0,   1,   0,    0,    0, 0, 0, 0};  // 256 colours used, 0 important
  for (int i = 0; i < 256; ++i)
    Append(expected, {static_cast<std::uint8_t>(i / 2), static_cast<std::uint8_t>(255 - i),
                      static_cast<std::uint8_t>(i), 0});
  Append(expected, {0x05, 0x05, 0x05, 0x3F, 0x01, 0x02, 0x03, 0x00});
  EXPECT_EQ(bmp, expected);
}

TEST(PcxConvertTest, SixteenPixel16ColourImage) {
  Bytes pcx = Header(1, 4, 0, 0, 15, 0, 2);  // 16 × 1, 2 bytes per plane
  for (int i = 0; i < 16; ++i) {
    pcx[16 + 3 * i] = static_cast<std::uint8_t>(16 * i);   // red
    pcx[17 + 3 * i] = static_cast<std::uint8_t>(i);        // green
    pcx[18 + 3 * i] = static_cast<std::uint8_t>(200 + i);  // blue
  }
  const Bytes planes = {0x80, 0xFF, 0x80, 0x00, 0x00, 0x0F, 0x40, 0xF0};
  Append(pcx, {0x80, 0xC1, 0xFF, 0x80, 0x00, 0x00, 0x0F, 0x40, 0xC1, 0xF0});
  const Bytes bmp = Convert(pcx);

  Bytes expected = {'B', 'M', 126, 0, 0, 0, 0, 0, 0, 0, 118, 0, 0, 0, 40, 0, 0, 0,
                    16,  0,   0,   0, 1, 0, 0, 0, 1, 0, 4,   0, 0, 0, 0,  0, 8, 0,
                    0,   0,   0,   0, 0, 0, 0, 0, 0, 0, 0,   0, 0, 0, 0,  0, 0, 0};
  for (int i = 0; i < 16; ++i)
    Append(expected, {static_cast<std::uint8_t>(200 + i), static_cast<std::uint8_t>(i),
                      static_cast<std::uint8_t>(16 * i), 0});
  // Pixel x takes bit (7 − x mod 8) of byte x div 8 of plane k as its bit k.
  for (int x = 0; x < 16; x += 2) {
    int pair[2];
    for (int d = 0; d < 2; ++d) {
      pair[d] = 0;
      for (int k = 0; k < 4; ++k)
        pair[d] |= ((planes[2 * k + (x + d) / 8] >> (7 - (x + d) % 8)) & 1) << k;
    }
    expected.push_back(static_cast<std::uint8_t>(pair[0] << 4 | pair[1]));
  }
  EXPECT_EQ(bmp, expected);
  EXPECT_EQ(expected[118], 0x38);  // the plane-packing example: pixels 3 and 8
}

TEST(PcxConvertTest, WithoutPaletteMarkerStillConvertsWithGreyTable) {
  Bytes pcx = Header(8, 1, 0, 0, 2, 1, 4);
  Append(pcx, {0x01, 0x02, 0x03, 0x00, 0x04, 0x05, 0x06, 0x00});
  Append(pcx, Palette256(11));
  const Bytes bmp = Convert(pcx);
  ASSERT_EQ(bmp.size(), 1086u);
  EXPECT_EQ(Bytes(bmp.begin() + 54 + 4 * 200, bmp.begin() + 54 + 4 * 201),
            (Bytes{200, 200, 200, 0}));
  EXPECT_EQ(Bytes(bmp.end() - 8, bmp.end()), (Bytes{4, 5, 6, 0, 1, 2, 3, 0}));
}

TEST(PcxConvertTest, HostileHeadersAreRefused) {
  Bytes good = Header(1, 4, 0, 0, 15, 0, 2);
  Append(good, Bytes(8, 0));
  ASSERT_FALSE(Refused(good));
  const auto with = [&](auto change) {
    Bytes b = good;
    change(b);
    return b;
  };
  EXPECT_TRUE(Refused(with([](Bytes& b) { b[0] = 11; })));  // not PCX
  EXPECT_TRUE(Refused(with([](Bytes& b) {
    b[3] = 4;
    b[65] = 1;
  })));  // 16 colours packed
  EXPECT_TRUE(Refused(with([](Bytes& b) {
    b[3] = 8;
    b[65] = 3;
  })));                                                           // 24-bit
  EXPECT_TRUE(Refused(with([](Bytes& b) { Le16(b, 4, 16); })));   // width 0
  EXPECT_TRUE(Refused(with([](Bytes& b) { Le16(b, 8, -10); })));  // negative width
  EXPECT_TRUE(Refused(with([](Bytes& b) { Le16(b, 6, 5); })));    // negative height
  EXPECT_TRUE(Refused(with([](Bytes& b) { Le16(b, 66, 1); })));   // 8 pixels of 16
  EXPECT_TRUE(Refused(with([](Bytes& b) { Le16(b, 66, -2); })));
  EXPECT_TRUE(Refused(with([](Bytes& b) { Le16(b, 66, 0); })));
  EXPECT_TRUE(Refused(with([](Bytes& b) {  // 65536 × 65536: far above the bound
    Le16(b, 4, -32768);
    Le16(b, 8, 32767);
    Le16(b, 6, -32768);
    Le16(b, 10, 32767);
    Le16(b, 66, 8192);
  })));
  EXPECT_TRUE(Refused(with([](Bytes& b) {  // one pixel wide, but 8 GiB of lines to decode
    Le16(b, 8, 0);
    Le16(b, 6, -32768);
    Le16(b, 10, 32767);
    Le16(b, 66, 32767);
  })));
  EXPECT_TRUE(Refused(with([](Bytes& b) { b.resize(100); })));  // shorter than its header

  Bytes small256 = Header(8, 1, 0, 0, 2, 1, 2);  // 3 wide but 2 bytes per line
  Append(small256, Bytes(8, 0));
  Append(small256, Palette256(12));
  EXPECT_TRUE(Refused(small256));
  Bytes big256 = Header(8, 1, 0, 0, 29999, 29999, 30000);
  Append(big256, Palette256(12));
  EXPECT_TRUE(Refused(big256));
  Bytes short256 = Header(8, 1, 0, 0, 2, 1, 4);  // palette would overlap the header
  Append(short256, Bytes(8, 0));
  EXPECT_TRUE(Refused(short256));
}

TEST(PcxConvertTest, DataEndingEarlyLeavesZeroRowsAndNeverHangs) {
  Bytes pcx = Header(1, 4, 0, 0, 15, 99, 2);  // 100 lines, data for one
  Append(pcx, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x01});
  const Bytes bmp = Convert(pcx);
  ASSERT_EQ(bmp.size(), 118u + 800u);
  EXPECT_NE(Bytes(bmp.end() - 8, bmp.end()), Bytes(8, 0));  // the first line is the top row
  EXPECT_EQ(Bytes(bmp.begin() + 118, bmp.end() - 8), Bytes(792, 0));

  // Zero-length runs only: once they are used up there is no input left to replay.
  Bytes runs = Header(1, 4, 0, 0, 15, 999, 2);
  Append(runs, Bytes(5000, 0xC0));
  const Bytes empty = Convert(runs);
  ASSERT_EQ(empty.size(), 118u + 8000u);
  EXPECT_EQ(Bytes(empty.begin() + 118, empty.end()), Bytes(8000, 0));
}

TEST(PcxConvertTest, RowsFollowTheWidthWhenBytesPerLineIsPadded) {
  // 8 pixels need one byte per plane; the even BytesPerLine 2 pads it. The BMP rows are the
  // 4 bytes a bitmap reader expects for 8 pixels at 4 bits, not 8.
  Bytes pcx = Header(1, 4, 0, 0, 7, 1, 2);
  Append(pcx, {0xC1, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});  // colour 1 everywhere
  Append(pcx, {0x00, 0x00, 0xC1, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00});  // colour 2 everywhere
  const Bytes bmp = Convert(pcx);
  ASSERT_EQ(bmp.size(), 118u + 8u);
  EXPECT_EQ(Bytes(bmp.begin() + 34, bmp.begin() + 38), (Bytes{8, 0, 0, 0}));  // image size
  EXPECT_EQ(Bytes(bmp.begin() + 118, bmp.end()),
            (Bytes{0x22, 0x22, 0x22, 0x22, 0x11, 0x11, 0x11, 0x11}));
}

}  // namespace
