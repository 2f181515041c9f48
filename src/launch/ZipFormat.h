#pragma once

#include <cstdint>

// The record signatures and the little-endian fields of the zip format, as the zip component's
// listing and the unzip library both read them.

namespace zip {

inline constexpr std::uint32_t kLocalSig = 0x04034b50;
inline constexpr std::uint32_t kCentralSig = 0x02014b50;
inline constexpr std::uint32_t kEndSig = 0x06054b50;
inline constexpr std::uint32_t kSpanSig = 0x08074b50;  ///< in front of a spanned set's first part
inline constexpr std::uint64_t kEndSize = 22;          ///< the end record without its comment
inline constexpr std::uint64_t kMaxComment = 65535;

inline std::uint16_t Get16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t Get32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace zip
