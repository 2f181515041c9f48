#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// JPEG reading and writing over libjpeg. Every library error is caught inside and comes back as
// a failure with its message; nothing here ends the process or lets an error through.

/// 24-bit RGB pixels: three bytes (red, green, blue) per pixel, the top row first, no padding.
struct TRgbImage {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Pixels;  ///< Width × Height × 3 bytes
};

/// A decoded JPEG. Image may be smaller than the picture when a reduced scale was asked for;
/// placement always uses Width and Height.
struct TJpegPicture {
  int Width = 0;   ///< the picture's own width
  int Height = 0;  ///< the picture's own height
  TRgbImage Image;
};

/// How far a decode may shrink the picture: to the smallest of 1/2, 1/4, 1/8 of its size that
/// still covers FitWidth × FitHeight (the picture's place on screen). 0 × 0 decodes at full size.
/// A window that decodes smaller decodes again when the place grows past the decoded size.
struct TJpegDecodeOptions {
  int FitWidth = 0;
  int FitHeight = 0;
};

/// Decoded pixels above this are refused rather than allocated (a hostile header may claim
/// 65500 × 65500); a reduced scale counts at its reduced size.
inline constexpr std::size_t JpegMaxPixelBytes = std::size_t{256} << 20;

/// Decodes JPEG bytes (colour, greyscale or CMYK) to RGB. Fails on any library error, on data that
/// ends before the picture does, and on pictures above JpegMaxPixelBytes; error gets the reason.
std::optional<TJpegPicture> DecodeJpeg(std::string_view bytes,
                                       const TJpegDecodeOptions& options = {},
                                       std::string* error = nullptr);

/// Reads the file (letter case of the name ignored, as everywhere) and decodes it.
std::optional<TJpegPicture> DecodeJpegFile(const std::string& path,
                                           const TJpegDecodeOptions& options = {},
                                           std::string* error = nullptr);

/// The quality captures are written with.
inline constexpr int CaptureJpegQuality = 90;

/// Encodes RGB pixels as a colour JPEG with the library's default parameters, the given quality
/// (1 … 100) with baseline-compatible tables, sequential. Fails on an image of no size, pixels
/// that do not match the size, or a library error (for instance sides above 65500).
std::optional<std::string> EncodeJpeg(const TRgbImage& image, int quality = CaptureJpegQuality,
                                      std::string* error = nullptr);
