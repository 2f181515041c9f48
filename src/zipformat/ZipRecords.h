#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "ZipCodePage.h"
#include "ZipFormat.h"

// The records of a zip archive as the zip component's listing and the unzip library both read
// them: the end record (with its zip64 record), the 64-bit values of an entry, and its name.

namespace zip {

/// Reads size bytes at pos of the archive; false when they are not all there.
using TReadAt = std::function<bool(std::uint64_t pos, void* buffer, std::size_t size)>;

/// The end of the central directory, with the zip64 record's values where one is there.
struct TEndRecord {
  std::uint64_t Pos = 0;        ///< of the 22-byte record
  std::uint64_t DirEnd = 0;     ///< where the directory ends: the zip64 record if any, else Pos
  std::uint64_t RecordEnd = 0;  ///< after the declared comment, even when the file ends sooner
  std::string Comment;          ///< as much of it as the file holds
  std::uint32_t ThisDisk = 0;
  std::uint32_t DirDisk = 0;
  std::uint64_t Total = 0;  ///< entries in the whole directory
  std::uint64_t DirSize = 0;
  std::uint64_t DirOffset = 0;  ///< as stored, relative to the archive's first byte
};

/// The record in the last 22 bytes when its signature is there; otherwise the one closest to the
/// end whose directory is where it says, or failing that the one closest to the end. A record
/// whose directory would start on a later volume than its own is impossible and never taken.
std::optional<TEndRecord> FindEndRecord(std::uint64_t fileSize, const TReadAt& read);

/// An entry's sizes, local header offset and disk: the central header's, or where a field holds
/// its largest value, the zip64 extra field's.
struct TEntryValues {
  std::uint64_t CompressedSize = 0;
  std::uint64_t Size = 0;
  std::uint64_t LocalOffset = 0;
  std::uint32_t Disk = 0;
  bool Zip64 = false;  ///< some value came from the zip64 extra field
};

/// False when a field defers to the zip64 extra field and the field does not hold it.
bool ReadEntryValues(const unsigned char* centralHeader, std::string_view extra,
                     TEntryValues& values);

/// The data of the first extra block with this id, if any.
std::optional<std::string_view> FindExtra(std::string_view extra, std::uint16_t id);

std::uint32_t Crc32(std::string_view bytes);

struct TEntryName {
  std::string Text;   ///< in the platform's narrow encoding
  bool Valid = true;  ///< false: not valid in its declared encoding; Text holds the stored bytes
  bool Utf8 = false;  ///< declared UTF-8 by flag bit 11 or the Unicode path extra field
};

/// The name of a central header, the one rule for the listing and for the files written: UTF-8
/// with flag bit 11 or a Unicode path extra field whose CRC matches the stored name, else by the
/// code-page rule. On Linux, where file names are UTF-8, a name in no declared encoding that is no
/// UTF-8 is read as Windows-1252, its five unassigned bytes as the C1 controls of the same value
/// (as Windows reads them).
TEntryName DecodeName(std::string_view raw, std::string_view extra, std::uint16_t versionMadeBy,
                      std::uint16_t flags, TCodePageRule rule);
/// DecodeName's Text appended to out, without a string of its own; returns its Valid. Names of
/// ASCII alone are appended as they are.
bool AppendDecodedName(std::string& out, std::string_view raw, std::string_view extra,
                       std::uint16_t versionMadeBy, std::uint16_t flags, TCodePageRule rule,
                       bool* utf8 = nullptr);

/// True for entries stored encrypted: traditional PKWARE, strong encryption, AES.
bool IsEncrypted(std::uint16_t flags, std::uint16_t method);
/// The common name of a compression method ("bzip2", "LZMA", ...), or "" when unknown.
std::string_view MethodName(std::uint16_t method);

/// The bytes as text fit for a message: bytes that are not valid UTF-8 show as "?".
std::string Printable(std::string_view bytes);

}  // namespace zip
