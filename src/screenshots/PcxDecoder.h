#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// PCX pictures (256 colours in one plane, 16 colours in four bit planes) turned into a complete
// BMP image in memory, which any bitmap loader then reads. The window layer registers it as the
// picture format "PCX" ("PCX Files").

inline constexpr std::string_view PcxFormatExtension = "PCX";
inline constexpr std::string_view PcxFormatDescription = "PCX Files";

/// Pixel data above this (BMP rows, or decoded PCX lines) is refused as not a supported PCX
/// instead of being allocated or decoded.
inline constexpr std::int64_t PcxMaxImageSize = std::int64_t{64} << 20;

/// Bytes of the header that are read; the image data starts at PcxDataOffset.
inline constexpr std::size_t PcxHeaderSize = 70;
inline constexpr std::size_t PcxDataOffset = 128;
/// The 256-colour palette at the end of the file: the marker byte 12 and 256 × RGB.
inline constexpr std::size_t Pcx256PaletteSize = 769;

/// The header fields (little-endian in the file).
struct TPCXHeader {
  std::uint8_t Manufacturer = 0;  ///< 10 for PCX
  std::uint8_t Version = 0;
  std::uint8_t Encoding = 0;
  std::uint8_t BitsPerPixel = 0;
  std::int16_t Xmin = 0, Ymin = 0, Xmax = 0, Ymax = 0;
  std::int16_t HDpi = 0, VDpi = 0;
  std::array<std::uint8_t, 48> Colormap{};  ///< 16 × (red, green, blue)
  std::uint8_t Reserved = 0;
  std::uint8_t NPlanes = 0;
  std::int16_t BytesPerLine = 0;  ///< bytes of one plane of one scan line
  std::int16_t PaletteInfo = 0;

  /// The fields of the first PcxHeaderSize bytes; missing bytes read as 0.
  static TPCXHeader Parse(std::string_view bytes);
};

/// A read-only stream over bytes in memory, as the decoders read their input.
class TByteStream {
 public:
  explicit TByteStream(std::string_view data) : FData(data) {}
  std::size_t Size() const { return FData.size(); }
  std::size_t Position() const { return FPosition; }
  void Seek(std::size_t position) { FPosition = position < FData.size() ? position : FData.size(); }
  /// Copies up to count bytes to buffer; returns how many there were.
  std::size_t Read(void* buffer, std::size_t count);

 private:
  std::string_view FData;
  std::size_t FPosition = 0;
};

/// Scan-line decoder of one PCX variant; one object converts one picture.
class TDecoder {
 public:
  TDecoder();
  virtual ~TDecoder() = default;
  TDecoder(const TDecoder&) = delete;
  TDecoder& operator=(const TDecoder&) = delete;

  /// The BMP info header (40 bytes) followed by the colour table: FInfoSize bytes.
  virtual std::vector<std::uint8_t> BuildBitmapInfo(TByteStream& stream);
  /// The 40-byte BMP info header.
  virtual void FillInfoHeader(std::uint8_t* header) = 0;
  /// The colour table behind the info header (PaletteSize bytes).
  virtual void ReadPalette(TByteStream& stream, std::uint8_t* table) = 0;
  /// Size of the colour table in bytes.
  virtual int PaletteSize() const = 0;
  /// Converts the whole PCX stream into out (a complete BMP image). 1 on success; 0 when the
  /// header's sizes are not supported (no size, BytesPerLine too small for the width, pixel data
  /// above PcxMaxImageSize) or the file is too short.
  virtual int Decode(TByteStream& stream, const TPCXHeader& header, std::string& out) = 0;

  /// Run-length decodes at least count bytes into out from its start (out must hold count + 63
  /// bytes: a run that goes past count is written whole). Returns the bytes written; fewer than
  /// count only when the input is used up, and the caller treats the rest of the line as zero.
  int DecodeLine(TByteStream& stream, int count, std::uint8_t* out);
  /// The 14-byte BMP file header.
  void FillFileHeader(std::uint8_t* fileHeader) const;
  /// Bytes of the BMP pixel data.
  std::int64_t ImageSize() const { return std::int64_t{FBmpRowSize} * FLineCount; }

  std::int32_t LineCount() const { return FLineCount; }
  std::int32_t PixelWidth() const { return FPixelWidth; }
  std::int32_t RowSize() const { return FRowSize; }

 protected:
  /// Sets the sizes from the header; false when they are not supported.
  bool SetSizes(const TPCXHeader& header, int bitCount, std::int32_t rowSize,
                std::int32_t minBytesPerLine);
  /// Steps 2 to 8 of the conversion, shared by both variants: header, table, then every line
  /// (decodeCount bytes decoded, converted by convert when given) into the BMP rows bottom-up.
  int DecodeImage(TByteStream& stream, std::string& out, int decodeCount,
                  void (*convert)(const std::uint8_t*, int, std::uint8_t*), int bytesPerLine);
  void FillInfoHeaderCommon(std::uint8_t* header, int bitCount, std::uint32_t coloursUsed) const;

  std::int32_t FLineCount = 0;
  std::int32_t FPixelWidth = 0;
  std::int32_t FRowSize = -1;  ///< bytes of one decoded line, rounded up to a multiple of 4
  std::array<std::uint8_t, 1024> FInBuffer{};
  std::int32_t FInPos = 0;
  std::int32_t FInCount = 0;  ///< valid bytes in FInBuffer
  std::uint16_t FInfoSize = 0;
  std::int32_t FBitsOffset = 0;
  std::int32_t FBmpRowSize = 0;  ///< bytes of one BMP row, as a bitmap reader expects for the width

 private:
  void FillInBuffer(TByteStream& stream);
};

/// 256 colours: one byte per pixel, the palette at the end of the file.
class TDecoder256 : public TDecoder {
 public:
  void FillInfoHeader(std::uint8_t* header) override;
  /// The 769 bytes at the end of the file; without the marker 12 the table is a grey ramp.
  void ReadPalette(TByteStream& stream, std::uint8_t* table) override;
  int PaletteSize() const override { return 1024; }
  int Decode(TByteStream& stream, const TPCXHeader& header, std::string& out) override;
};

/// 16 colours in four bit planes, the palette in the header.
class TDecoder16 : public TDecoder {
 public:
  void FillInfoHeader(std::uint8_t* header) override;
  void ReadPalette(TByteStream& stream, std::uint8_t* table) override;
  int PaletteSize() const override { return 64; }
  int Decode(TByteStream& stream, const TPCXHeader& header, std::string& out) override;

  /// The four planes of a decoded line (plane k at k × bytesPerLine) as 4-bit pixels, two to a
  /// byte, left pixel in the high nibble: 4 × bytesPerLine bytes into out.
  static void PlanesToNibbles(const std::uint8_t* planes, int bytesPerLine, std::uint8_t* out);
};

/// The PCX picture class: converts PCX bytes to a BMP image.
class TPCXBitmap {
 public:
  /// A complete BMP image (file header first), or nothing when the bytes are not a supported PCX:
  /// not Manufacturer 10, another bit depth or plane count, unsupported sizes, or a file shorter
  /// than its header or (256 colours) than header and palette together.
  std::optional<std::string> ConvertPCX(std::string_view bytes);

  /// The header bytes of the last conversion, and whether it was the 256-colour variant.
  const std::array<std::uint8_t, PcxHeaderSize>& Header() const { return FHeader; }
  bool Is256() const { return FIs256; }

 private:
  std::array<std::uint8_t, PcxHeaderSize> FHeader{};
  bool FIs256 = false;
};

/// TPCXBitmap().ConvertPCX(bytes).
std::optional<std::string> ConvertPcxToBmp(std::string_view bytes);
