#pragma once

#include <cstdint>

// The record signatures and the little-endian fields of the zip format, as the zip component's
// listing and the unzip library both read them.

namespace zip {

inline constexpr std::uint32_t kLocalSig = 0x04034b50;
inline constexpr std::uint32_t kCentralSig = 0x02014b50;
inline constexpr std::uint32_t kEndSig = 0x06054b50;
inline constexpr std::uint32_t kSpanSig = 0x08074b50;  ///< in front of a spanned set's first part
inline constexpr std::uint32_t kZip64EndSig = 0x06064b50;
inline constexpr std::uint32_t kZip64LocatorSig = 0x07064b50;
inline constexpr std::uint64_t kEndSize = 22;  ///< the end record without its comment
inline constexpr std::uint64_t kMaxComment = 65535;
inline constexpr std::uint64_t kZip64EndSize = 56;  ///< the zip64 end record without extensions
inline constexpr std::uint64_t kZip64LocatorSize = 20;
inline constexpr std::uint64_t kCentralSize = 46;  ///< a central header without its texts
inline constexpr std::uint64_t kLocalSize = 30;    ///< a local header without its texts

inline constexpr std::uint16_t kZip64ExtraId = 0x0001;
inline constexpr std::uint16_t kUnicodePathExtraId = 0x7075;

inline constexpr std::uint16_t kFlagEncrypted = 1 << 0;
inline constexpr std::uint16_t kFlagDescriptor = 1 << 3;
inline constexpr std::uint16_t kFlagStrongEncryption = 1 << 6;
inline constexpr std::uint16_t kFlagUtf8 = 1 << 11;

inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodDeflated = 8;
inline constexpr std::uint16_t kMethodAes = 99;  ///< the real method is in the AES extra field

/// A 32-bit field that holds this defers to the zip64 extra field (16-bit fields: kMax16).
inline constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;
inline constexpr std::uint16_t kMax16 = 0xFFFF;

inline std::uint16_t Get16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t Get32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint64_t Get64(const unsigned char* p) {
  return static_cast<std::uint64_t>(Get32(p)) | static_cast<std::uint64_t>(Get32(p + 4)) << 32;
}
inline void Put16(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
inline void Put32(unsigned char* p, std::uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}

}  // namespace zip
