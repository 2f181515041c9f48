#include "PcxDecoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

std::int16_t ReadInt16(const std::uint8_t* p) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

void PutUInt16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutUInt32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::int64_t RoundUp4(std::int64_t n) {
  return (n + 3) / 4 * 4;
}

constexpr int BitmapFileHeaderSize = 14;
constexpr int BitmapInfoHeaderSize = 40;

}  // namespace

TPCXHeader TPCXHeader::Parse(std::string_view bytes) {
  std::uint8_t raw[PcxHeaderSize] = {};
  std::memcpy(raw, bytes.data(), std::min(bytes.size(), PcxHeaderSize));
  TPCXHeader h;
  h.Manufacturer = raw[0];
  h.Version = raw[1];
  h.Encoding = raw[2];
  h.BitsPerPixel = raw[3];
  h.Xmin = ReadInt16(raw + 4);
  h.Ymin = ReadInt16(raw + 6);
  h.Xmax = ReadInt16(raw + 8);
  h.Ymax = ReadInt16(raw + 10);
  h.HDpi = ReadInt16(raw + 12);
  h.VDpi = ReadInt16(raw + 14);
  std::memcpy(h.Colormap.data(), raw + 16, 48);
  h.Reserved = raw[64];
  h.NPlanes = raw[65];
  h.BytesPerLine = ReadInt16(raw + 66);
  h.PaletteInfo = ReadInt16(raw + 68);
  return h;
}

std::size_t TByteStream::Read(void* buffer, std::size_t count) {
  const std::size_t n = std::min(count, FData.size() - FPosition);
  if (n) std::memcpy(buffer, FData.data() + FPosition, n);
  FPosition += n;
  return n;
}

TDecoder::TDecoder() = default;

std::vector<std::uint8_t> TDecoder::BuildBitmapInfo(TByteStream& stream) {
  FInfoSize = static_cast<std::uint16_t>(PaletteSize() + BitmapInfoHeaderSize);
  std::vector<std::uint8_t> block(FInfoSize, 0);
  FillInfoHeader(block.data());
  ReadPalette(stream, block.data() + BitmapInfoHeaderSize);
  return block;
}

void TDecoder::FillFileHeader(std::uint8_t* fileHeader) const {
  fileHeader[0] = 0x42;  // "BM"
  fileHeader[1] = 0x4D;
  PutUInt32(fileHeader + 2,
            static_cast<std::uint32_t>(ImageSize() + FInfoSize + BitmapFileHeaderSize));
  PutUInt16(fileHeader + 6, 0);
  PutUInt16(fileHeader + 8, 0);
  PutUInt32(fileHeader + 10, static_cast<std::uint32_t>(FInfoSize + BitmapFileHeaderSize));
}

void TDecoder::FillInfoHeaderCommon(std::uint8_t* header, int bitCount,
                                    std::uint32_t coloursUsed) const {
  PutUInt32(header + 0, BitmapInfoHeaderSize);
  PutUInt32(header + 4, static_cast<std::uint32_t>(FPixelWidth));
  PutUInt32(header + 8, static_cast<std::uint32_t>(FLineCount));  // positive: bottom-up rows
  PutUInt16(header + 12, 1);
  PutUInt16(header + 14, static_cast<std::uint32_t>(bitCount));
  PutUInt32(header + 16, 0);  // no compression
  PutUInt32(header + 20, static_cast<std::uint32_t>(ImageSize()));
  PutUInt32(header + 24, 0);
  PutUInt32(header + 28, 0);
  PutUInt32(header + 32, coloursUsed);
  PutUInt32(header + 36, 0);
}

void TDecoder::FillInBuffer(TByteStream& stream) {
  FInCount = static_cast<std::int32_t>(stream.Read(FInBuffer.data(), FInBuffer.size()));
  FInPos = 0;
}

int TDecoder::DecodeLine(TByteStream& stream, int count, std::uint8_t* out) {
  if (FInPos == 0) FillInBuffer(stream);
  int written = 0;
  // Bytes past FInCount are left from an earlier block, not input: reading stops there, so a
  // short file never replays stale bytes (a buffer of zero-length runs would never end).
  while (written < count) {
    if (FInPos == 1024) FillInBuffer(stream);
    if (FInPos >= FInCount) break;
    const std::uint8_t b = FInBuffer[static_cast<std::size_t>(FInPos++)];
    if (b >= 192) {
      const int run = b - 192;
      if (FInPos == 1024) FillInBuffer(stream);
      if (FInPos >= FInCount) break;
      const std::uint8_t value = FInBuffer[static_cast<std::size_t>(FInPos++)];
      std::memset(out + written, value, static_cast<std::size_t>(run));
      written += run;
    } else {
      out[written++] = b;
    }
  }
  return written;
}

bool TDecoder::SetSizes(const TPCXHeader& header, int bitCount, std::int32_t rowSize,
                        std::int32_t minBytesPerLine) {
  FLineCount = std::int32_t{header.Ymax} - header.Ymin + 1;
  FPixelWidth = std::int32_t{header.Xmax} - header.Xmin + 1;
  FRowSize = rowSize;
  if (FLineCount <= 0 || FPixelWidth <= 0 || header.BytesPerLine < minBytesPerLine) return false;
  // A bitmap reader takes its row length from the width, so the rows are laid out that way; for
  // a BytesPerLine that fits the width exactly this is FRowSize.
  const std::int64_t bmpRow = RoundUp4((std::int64_t{FPixelWidth} * bitCount + 7) / 8);
  // Both the BMP rows and the decoded lines count: a huge BytesPerLine with a narrow width would
  // otherwise mean gigabytes of decoding work for a tiny picture.
  if (std::max<std::int64_t>(bmpRow, FRowSize) * FLineCount > PcxMaxImageSize) return false;
  FBmpRowSize = static_cast<std::int32_t>(bmpRow);
  return true;
}

int TDecoder::DecodeImage(TByteStream& stream, std::string& out, int decodeCount,
                          void (*convert)(const std::uint8_t*, int, std::uint8_t*),
                          int bytesPerLine) {
  const std::vector<std::uint8_t> block = BuildBitmapInfo(stream);
  std::uint8_t fileHeader[BitmapFileHeaderSize];
  FillFileHeader(fileHeader);
  FBitsOffset = FInfoSize + BitmapFileHeaderSize;
  out.assign(static_cast<std::size_t>(ImageSize()) + FInfoSize + BitmapFileHeaderSize, '\0');
  auto* bmp = reinterpret_cast<std::uint8_t*>(out.data());
  std::memcpy(bmp, fileHeader, BitmapFileHeaderSize);
  std::memcpy(bmp + BitmapFileHeaderSize, block.data(), FInfoSize);

  // Room for a last run of up to 63 bytes that starts just before the line's end.
  const std::size_t used = static_cast<std::size_t>(std::max(decodeCount, FRowSize));
  std::vector<std::uint8_t> line(used + 64, 0);
  std::vector<std::uint8_t> converted(convert ? static_cast<std::size_t>(FRowSize) : 0, 0);
  stream.Seek(PcxDataOffset);
  for (std::int32_t row = FLineCount - 1; row >= 0; --row) {
    const int written = DecodeLine(stream, decodeCount, line.data());
    if (static_cast<std::size_t>(written) < used)
      std::memset(line.data() + written, 0, used - static_cast<std::size_t>(written));
    const std::uint8_t* source = line.data();
    if (convert) {
      convert(line.data(), bytesPerLine, converted.data());
      source = converted.data();
    }
    std::memcpy(bmp + FBitsOffset + std::int64_t{FBmpRowSize} * row, source,
                static_cast<std::size_t>(FBmpRowSize));
  }
  return 1;
}

void TDecoder256::FillInfoHeader(std::uint8_t* header) {
  FillInfoHeaderCommon(header, 8, 256);
}

void TDecoder256::ReadPalette(TByteStream& stream, std::uint8_t* table) {
  stream.Seek(stream.Size() - Pcx256PaletteSize);
  std::uint8_t marker = 0;
  std::uint8_t rgb[768];
  if (stream.Read(&marker, 1) == 1 && marker == 12 && stream.Read(rgb, 768) == 768) {
    for (int i = 0; i < 256; ++i) {
      table[4 * i + 0] = rgb[3 * i + 2];
      table[4 * i + 1] = rgb[3 * i + 1];
      table[4 * i + 2] = rgb[3 * i + 0];
      table[4 * i + 3] = 0;
    }
    return;
  }
  // No palette: a grey ramp, so the picture stays recognisable.
  for (int i = 0; i < 256; ++i) {
    table[4 * i + 0] = table[4 * i + 1] = table[4 * i + 2] = static_cast<std::uint8_t>(i);
    table[4 * i + 3] = 0;
  }
}

int TDecoder256::Decode(TByteStream& stream, const TPCXHeader& header, std::string& out) {
  // The palette must lie behind the header, not inside it.
  if (stream.Size() < PcxDataOffset + Pcx256PaletteSize) return 0;
  const auto rowSize = static_cast<std::int32_t>(RoundUp4(header.BytesPerLine));
  if (!SetSizes(header, 8, rowSize, std::int32_t{header.Xmax} - header.Xmin + 1)) return 0;
  return DecodeImage(stream, out, header.BytesPerLine, nullptr, header.BytesPerLine);
}

void TDecoder16::FillInfoHeader(std::uint8_t* header) {
  FillInfoHeaderCommon(header, 4, 0);
}

void TDecoder16::ReadPalette(TByteStream& stream, std::uint8_t* table) {
  stream.Seek(0);
  std::uint8_t raw[PcxHeaderSize] = {};
  stream.Read(raw, PcxHeaderSize);
  for (int i = 0; i < 16; ++i) {
    table[4 * i + 0] = raw[16 + 3 * i + 2];
    table[4 * i + 1] = raw[16 + 3 * i + 1];
    table[4 * i + 2] = raw[16 + 3 * i + 0];
    table[4 * i + 3] = 0;
  }
}

int TDecoder16::Decode(TByteStream& stream, const TPCXHeader& header, std::string& out) {
  const std::int32_t width = std::int32_t{header.Xmax} - header.Xmin + 1;
  const auto rowSize = static_cast<std::int32_t>(RoundUp4(std::int64_t{header.BytesPerLine} * 4));
  if (!SetSizes(header, 4, rowSize, std::max<std::int32_t>(1, (width + 7) / 8))) return 0;
  return DecodeImage(stream, out, FRowSize, PlanesToNibbles, header.BytesPerLine);
}

void TDecoder16::PlanesToNibbles(const std::uint8_t* planes, int bytesPerLine, std::uint8_t* out) {
  const std::uint8_t* plane0 = planes;
  const std::uint8_t* plane1 = planes + bytesPerLine;
  const std::uint8_t* plane2 = planes + 2 * bytesPerLine;
  const std::uint8_t* plane3 = planes + 3 * bytesPerLine;
  for (int j = 0; j < bytesPerLine; ++j) {
    unsigned p0 = plane0[j], p1 = plane1[j], p2 = plane2[j], p3 = plane3[j];
    for (int k = 0; k < 4; ++k) {
      const unsigned left = ((p0 >> 7) & 1) | ((p1 >> 6) & 2) | ((p2 >> 5) & 4) | ((p3 >> 4) & 8);
      const unsigned right = ((p0 >> 6) & 1) | ((p1 >> 5) & 2) | ((p2 >> 4) & 4) | ((p3 >> 3) & 8);
      *out++ = static_cast<std::uint8_t>((left << 4) | right);
      p0 <<= 2;
      p1 <<= 2;
      p2 <<= 2;
      p3 <<= 2;
    }
  }
}

std::optional<std::string> TPCXBitmap::ConvertPCX(std::string_view bytes) {
  TByteStream stream(bytes);
  stream.Seek(0);
  FHeader.fill(0);
  stream.Read(FHeader.data(), PcxHeaderSize);
  const TPCXHeader header = TPCXHeader::Parse(bytes);
  if (header.Manufacturer != 10) return std::nullopt;
  if (header.BitsPerPixel == 8 && header.NPlanes == 1)
    FIs256 = true;
  else if (header.BitsPerPixel == 1 && header.NPlanes == 4)
    FIs256 = false;
  else
    return std::nullopt;
  if (bytes.size() < PcxDataOffset) return std::nullopt;  // shorter than its header
  std::unique_ptr<TDecoder> decoder;
  if (FIs256)
    decoder = std::make_unique<TDecoder256>();
  else
    decoder = std::make_unique<TDecoder16>();
  std::string out;
  try {
    if (decoder->Decode(stream, header, out) == 1) return out;
  } catch (const std::bad_alloc&) {
  }
  return std::nullopt;
}

std::optional<std::string> ConvertPcxToBmp(std::string_view bytes) {
  return TPCXBitmap().ConvertPCX(bytes);
}
