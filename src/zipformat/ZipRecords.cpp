#include "ZipRecords.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "platform/Text.h"

namespace zip {
namespace {

// Reads the end record at pos of tail (whose first byte is at tailStart of the file) and the
// zip64 record that its locator names.
TEndRecord ReadEndRecord(const std::string& tail, std::uint64_t tailStart, std::size_t at,
                         const TReadAt& read) {
  const auto* raw = reinterpret_cast<const unsigned char*>(tail.data()) + at;
  TEndRecord r;
  r.Pos = tailStart + at;
  r.DirEnd = r.Pos;
  const std::size_t commentLength = Get16(raw + 20);
  r.RecordEnd = r.Pos + kEndSize + commentLength;
  r.Comment = tail.substr(at + kEndSize, commentLength);  // cut where the file ends
  r.ThisDisk = Get16(raw + 4);
  r.DirDisk = Get16(raw + 6);
  r.Total = Get16(raw + 10);
  r.DirSize = Get32(raw + 12);
  r.DirOffset = Get32(raw + 16);

  unsigned char locator[kZip64LocatorSize];
  if (r.Pos < kZip64LocatorSize || !read(r.Pos - kZip64LocatorSize, locator, sizeof locator) ||
      Get32(locator) != kZip64LocatorSig)
    return r;
  // The locator's offset, or else the record right in front of the locator, where writers put
  // it: bytes in front of the archive move it from where the locator says.
  const std::uint64_t locatorPos = r.Pos - kZip64LocatorSize;
  const std::uint64_t stored = Get64(locator + 8);
  const std::uint64_t before = locatorPos >= kZip64EndSize ? locatorPos - kZip64EndSize : stored;
  unsigned char record[kZip64EndSize];
  for (const std::uint64_t candidate : {stored, before}) {
    if (candidate > locatorPos || locatorPos - candidate < kZip64EndSize) continue;
    if (!read(candidate, record, sizeof record) || Get32(record) != kZip64EndSig) continue;
    r.DirEnd = candidate;
    r.ThisDisk = Get32(record + 16);
    r.DirDisk = Get32(record + 20);
    r.Total = Get64(record + 32);
    r.DirSize = Get64(record + 40);
    r.DirOffset = Get64(record + 48);
    break;
  }
  return r;
}

// True when a central header (or an empty directory) lies where the record says.
bool PointsAtDirectory(const TEndRecord& r, const TReadAt& read) {
  if (r.ThisDisk != r.DirDisk) return true;  // on another volume: nothing to look at here
  if (r.Total == 0) return r.DirSize == 0;
  if (r.DirSize > r.DirEnd) return false;
  unsigned char sig[4];
  for (const std::uint64_t at : {r.DirEnd - r.DirSize, r.DirOffset})
    if (read(at, sig, 4) && Get32(sig) == kCentralSig) return true;
  return false;
}

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

bool IsAscii(std::string_view text) {
  for (const char c : text)
    if (c & 0x80) return false;
  return true;
}

// A record found by its signature: one whose directory lies on a later volume than the record
// itself cannot be, so its signature is a comment's or data's bytes.
bool IsPossible(const TEndRecord& r) {
  return r.DirDisk <= r.ThisDisk;
}

}  // namespace

std::optional<TEndRecord> FindEndRecord(std::uint64_t fileSize, const TReadAt& read) {
  if (fileSize < kEndSize) return std::nullopt;
  const std::uint64_t tailSize = std::min<std::uint64_t>(fileSize, kEndSize + kMaxComment);
  const std::uint64_t tailStart = fileSize - tailSize;
  std::string tail(tailSize, '\0');
  if (!read(tailStart, tail.data(), tail.size())) return std::nullopt;
  const auto* bytes = reinterpret_cast<const unsigned char*>(tail.data());

  if (Get32(bytes + tailSize - kEndSize) == kEndSig) {
    TEndRecord r = ReadEndRecord(tail, tailStart, tailSize - kEndSize, read);
    if (IsPossible(r)) return r;
  }
  std::optional<TEndRecord> closest;
  for (std::size_t i = tailSize - kEndSize; i-- > 0;) {
    if (Get32(bytes + i) != kEndSig) continue;
    TEndRecord r = ReadEndRecord(tail, tailStart, i, read);
    if (!IsPossible(r)) continue;
    if (PointsAtDirectory(r, read)) return r;
    if (!closest) closest = std::move(r);
  }
  return closest;
}

std::optional<std::string_view> FindExtra(std::string_view extra, std::uint16_t id) {
  const auto* p = reinterpret_cast<const unsigned char*>(extra.data());
  for (std::size_t at = 0; at + 4 <= extra.size();) {
    const std::size_t size = Get16(p + at + 2);
    if (at + 4 + size > extra.size()) break;
    if (Get16(p + at) == id) return extra.substr(at + 4, size);
    at += 4 + size;
  }
  return std::nullopt;
}

bool ReadEntryValues(const unsigned char* h, std::string_view extra, TEntryValues& v) {
  v.CompressedSize = Get32(h + 20);
  v.Size = Get32(h + 24);
  v.LocalOffset = Get32(h + 42);
  v.Disk = Get16(h + 34);
  v.Zip64 = false;
  const bool needed =
      v.Size == kMax32 || v.CompressedSize == kMax32 || v.LocalOffset == kMax32 || v.Disk == kMax16;
  if (!needed) return true;
  const std::optional<std::string_view> field = FindExtra(extra, kZip64ExtraId);
  if (!field) return false;
  // Only the fields that the header leaves to it are there, always in this order.
  const auto* p = reinterpret_cast<const unsigned char*>(field->data());
  std::size_t at = 0;
  auto take = [&](std::uint64_t& value, std::size_t width) {
    if (at + width > field->size()) return false;
    value = width == 8 ? Get64(p + at) : Get32(p + at);
    at += width;
    return true;
  };
  std::uint64_t disk = v.Disk;
  if ((v.Size == kMax32 && !take(v.Size, 8)) ||
      (v.CompressedSize == kMax32 && !take(v.CompressedSize, 8)) ||
      (v.LocalOffset == kMax32 && !take(v.LocalOffset, 8)) || (v.Disk == kMax16 && !take(disk, 4)))
    return false;
  v.Disk = static_cast<std::uint32_t>(disk);
  v.Zip64 = true;
  return true;
}

std::uint32_t Crc32(std::string_view bytes) {
  static constexpr std::array<std::uint32_t, 256> kTable = MakeCrcTable();
  std::uint32_t c = 0xFFFFFFFFu;
  for (const char ch : bytes) c = kTable[(c ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

TEntryName DecodeName(std::string_view raw, std::string_view extra, std::uint16_t versionMadeBy,
                      std::uint16_t flags, TCodePageRule rule) {
  TEntryName name;
  name.Valid = AppendDecodedName(name.Text, raw, extra, versionMadeBy, flags, rule, &name.Utf8);
  return name;
}

bool AppendDecodedName(std::string& out, std::string_view raw, std::string_view extra,
                       std::uint16_t versionMadeBy, std::uint16_t flags, TCodePageRule rule,
                       bool* utf8) {
  const auto declared = [&](std::string_view text) {
    if (utf8) *utf8 = true;
    if (AppendUtf8ToNarrow(out, text)) return true;
    out += raw;
    return false;
  };
  if (utf8) *utf8 = false;
  if (flags & kFlagUtf8) return declared(raw);
  if (const auto unicode = FindExtra(extra, kUnicodePathExtraId);
      unicode && unicode->size() >= 5 && unicode->front() == 1 &&
      Get32(reinterpret_cast<const unsigned char*>(unicode->data()) + 1) == Crc32(raw))
    return declared(unicode->substr(5));
  if (IsAscii(raw)) {
    out += raw;
  } else if (IsOemText(versionMadeBy, rule)) {
    AppendOemToAnsi(out, raw);
#ifndef _WIN32
  } else if (!::IsValidUtf8(raw)) {
    out += ::Cp1252ToUtf8(raw);
#endif
  } else {
    out += raw;
  }
  return true;
}

bool IsEncrypted(std::uint16_t flags, std::uint16_t method) {
  return (flags & (kFlagEncrypted | kFlagStrongEncryption)) != 0 || method == kMethodAes;
}

std::string_view MethodName(std::uint16_t method) {
  switch (method) {
    case 0:
      return "stored";
    case 1:
      return "shrink";
    case 2:
    case 3:
    case 4:
    case 5:
      return "reduce";
    case 6:
      return "implode";
    case 8:
      return "deflate";
    case 9:
      return "deflate64";
    case 10:
      return "PKWARE DCL implode";
    case 12:
      return "bzip2";
    case 14:
      return "LZMA";
    case 16:
      return "IBM z/OS CMPSC";
    case 18:
      return "IBM TERSE";
    case 19:
      return "IBM LZ77";
    case 20:
    case 93:
      return "zstd";
    case 94:
      return "MP3";
    case 95:
      return "xz";
    case 96:
      return "JPEG";
    case 97:
      return "WavPack";
    case 98:
      return "PPMd";
    case 99:
      return "AES";
    default:
      return "";
  }
}

std::string Printable(std::string_view bytes) {
  if (::IsValidUtf8(bytes)) return std::string(bytes);
  std::string out(bytes);
  for (char& c : out)
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  return out;
}

}  // namespace zip
