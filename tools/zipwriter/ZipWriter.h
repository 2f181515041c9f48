#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

/// One entry of an archive that TZipWriter builds. Names and comments are raw bytes; every field
/// written to the headers can be overridden to build damaged or hostile archives.
struct TZipWriterEntry {
  enum TMethod : std::uint16_t { zmStored = 0, zmDeflated = 8 };

  std::string Name;
  std::string Data;  ///< uncompressed contents
  std::uint16_t Method = zmDeflated;
  int Level = 6;                     ///< libdeflate compression level for deflated entries
  std::uint16_t VersionMadeBy = 20;  ///< high byte: host system (0 DOS, 3 Unix, 11 NTFS)
  std::uint16_t VersionNeeded = 20;
  std::uint16_t Flags = 0;      ///< bit 3 is added when DataDescriptor is set
  std::uint16_t Time = 0x6000;  ///< 12:00:00
  std::uint16_t Date = 0x5A21;  ///< 2025-01-01
  std::string LocalExtra, CentralExtra, Comment;
  std::uint32_t ExternalAttributes = 0;
  bool DataDescriptor = false;      ///< sizes and CRC follow the data, local header holds zeros
  bool DescriptorSignature = true;  ///< the optional 0x08074b50 in front of the descriptor
  /// Sizes and offset in zip64 extra fields even when they fit (values of 4 GiB and more always
  /// go there).
  bool Zip64 = false;
  /// A stored entry of this many zero bytes after Data, never held in memory: WriteFile leaves
  /// them as a hole, so a file system with sparse files spends no space on them.
  std::uint64_t Zeros = 0;

  // Corruption hooks: values written instead of the true ones (in both headers).
  std::optional<std::uint32_t> Crc, CompressedSize, Size;
  std::optional<std::string> RawData;  ///< bytes stored instead of the compressed data
  /// The central header points at the local header and data of this earlier entry and nothing
  /// is written for this one (overlapping entries, as zip bombs use them).
  std::optional<std::size_t> SameDataAs;
};

/// Where the parts of a built archive lie, so that tests can damage exactly one of them.
struct TZipLayout {
  std::vector<std::size_t> LocalHeaders;    ///< offset of each local header
  std::vector<std::size_t> DataOffsets;     ///< offset of each entry's data
  std::vector<std::size_t> CentralHeaders;  ///< offset of each central header
  std::size_t CentralDirectory = 0;
  std::size_t CentralSize = 0;
  std::size_t EndRecord = 0;
};

/// Builds zip archives in memory: stored and deflated entries, any raw names, archive comment,
/// bytes in front and behind, data descriptors, multi-volume sets.
class TZipWriter {
 public:
  TZipWriterEntry& Add(std::string name, std::string data,
                       std::uint16_t method = TZipWriterEntry::zmDeflated);
  TZipWriterEntry& Add(TZipWriterEntry entry);

  std::string Comment;  ///< archive comment
  std::string Prefix;   ///< bytes in front (a self-extractor stub); offsets stay unadjusted
  std::string Trailer;  ///< bytes after the end record
  std::optional<std::uint16_t> EntryCountOverride;  ///< total written into the end record
  /// A zip64 end record and locator in front of the end record even when nothing needs them
  /// (more than 65,534 entries or a directory beyond 4 GiB always get them).
  bool Zip64End = false;

  /// The archive as one file.
  std::string Build(TZipLayout* layout = nullptr) const;

  /// A spanned set: volume 1 starts with the spanning marker, no volume is longer than
  /// volumeSize (headers are never split), the central directory and end record are on the
  /// last volume.
  std::vector<std::string> BuildVolumes(std::size_t volumeSize) const;

  /// Writes Build() to path; returns the layout.
  TZipLayout WriteFile(const std::string& path) const;

  std::vector<TZipWriterEntry> Entries;

 private:
  struct TPrepared {
    std::string Compressed;
    std::uint32_t Crc;
    std::uint64_t CompressedSize, Size;  ///< true values; overrides apply in the headers
  };
  using TPut = std::function<void(const std::string&)>;
  using TSkip = std::function<void(std::uint64_t)>;
  std::vector<TPrepared> Prepare() const;
  void Assemble(const TPut& put, const TSkip& skip, TZipLayout* layout) const;
  std::string LocalHeader(const TZipWriterEntry& e, const TPrepared& p) const;
  std::string Descriptor(const TZipWriterEntry& e, const TPrepared& p) const;
  std::string CentralHeader(const TZipWriterEntry& e, const TPrepared& p, std::uint64_t offset,
                            std::uint16_t disk) const;
};

/// An Info-ZIP Unicode path extra field giving utf8Name for the stored name; crc replaces the
/// stored name's CRC-32.
std::string UnicodePathExtra(const std::string& storedName, const std::string& utf8Name,
                             std::optional<std::uint32_t> crc = std::nullopt);

/// Deflates bytes with libdeflate (raw deflate, as zip stores it).
std::string DeflateBytes(const std::string& data, int level = 6);
