// UNZIPLIB.DLL: extracts every entry of a zip archive under its bare file name into the working
// directory, on libdeflate (and zlib for entries too large to inflate whole). It never replaces a
// file, never writes outside the working directory and never leaves a partial file behind. For
// that reason the overwrite and directory-name flags of the call record are not honoured; the test
// and verbose flags and the file specs are.

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "InflateAhead.h"
#include "UnzipFile.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "unziplib/UnzipLibApi.h"
#include "zipformat/ZipFormat.h"
#include "zipformat/ZipRecords.h"

namespace unziplib {
namespace {

using namespace zip;  // the format's signatures and field readers
// Deflate cannot expand more than about 1032 to 1; anything beyond is a lie about the size.
constexpr std::uint64_t kMaxDeflateRatio = 1032;
// No game's files come near this; an archive that would unpack to more is refused as a bomb.
constexpr std::uint64_t kMaxTotalSize = std::uint64_t{2} << 30;
// Left free on the game's disk after the extraction, so that a fitting archive cannot fill it.
constexpr std::uint64_t kKeepFree = std::uint64_t{64} << 20;
// Entries up to this size are inflated whole into a buffer, ahead of their turn; larger ones are
// inflated piece by piece into their file, with progress reported after each piece, so that a
// cancel acts within one of them.
constexpr std::uint64_t kStreamThreshold = 8u << 20;
constexpr std::size_t kPiece = 4u << 20;
// Unix file types in the high half of the external attributes.
constexpr std::uint32_t kTypeMask = 0170000, kTypeLink = 0120000;

struct TEntry {
  std::string RawName;
  std::string Name;        // bare name as written
  bool NameValid = true;   // valid in its declared encoding
  bool ValuesRead = true;  // false: the header defers to a zip64 field that is not there
  std::uint16_t Flags = 0;
  std::uint16_t Method = 0;
  std::uint16_t Time = 0;
  std::uint16_t Date = 0;
  std::uint32_t Crc = 0;
  bool Link = false;  // a symbolic link of a Unix host: its data is the link's target
  std::uint64_t CompressedSize = 0;
  std::uint64_t Size = 0;
  std::uint64_t LocalOffset = 0;
  bool Skip = false;
  std::int64_t Job = -1;  // its job in the read-ahead inflater; -1: inflated when written
};

// What the extraction does after an entry.
enum class TNext { nxGoOn, nxStop };

class TExtractor {
 public:
  explicit TExtractor(TUnzipParams* params) : FParams(params) {}
  ~TExtractor() {
    if (FInflater) libdeflate_free_decompressor(FInflater);
  }

  std::int32_t Run();

 private:
  // Returns false when the caller asked to cancel.
  bool Callback(std::int32_t action, std::int32_t error, std::uint64_t number,
                std::string_view text);
  bool Message(std::int32_t error, const std::string& text) {
    return Callback(UNZIP_ACTION_MESSAGE, error, 0, text);
  }
  bool ReadDirectory();
  bool CheckName(TEntry& entry);
  bool ScreenEntries(std::uint64_t& total, std::size_t& files);
  bool MatchesSpec(const TEntry& entry) const;
  bool EntriesOverlap() const;
  TNext ExtractEntry(const TEntry& entry);
  TNext TestEntry(const TEntry& entry, const unsigned char* data);
  TNext WriteError(const std::string& what, const std::string& name, const TFileError& error);
  // Reads the entry into its file (or, testing, nowhere) piece by piece, reporting progress after
  // each piece (*reported: the bytes so reported). False when it ended with a message or a
  // cancel; *next then says whether the extraction goes on.
  bool StreamEntry(const TEntry& entry, const unsigned char* data, TOutputFile* out,
                   std::uint64_t* reported, TNext* next);
  // Where an entry's local header and data lie in the archive, and whether they lie inside it.
  struct TLocalSpan {
    bool HeaderInside = false, Signed = false, DataInside = false;
    std::uint64_t Header = 0, Data = 0;
  };
  TLocalSpan LocalSpan(const TEntry& entry) const;
  const unsigned char* EntryData(const TEntry& entry) const;
  void StartInflatingAhead();
  bool Inflate(const TEntry& entry, const unsigned char* data, unsigned char* out);

  TUnzipParams* FParams;
  TInputMap FInput;
  std::vector<TEntry> FEntries;
  std::int64_t FDelta = 0;  // bytes in front of the archive (self-extractor stubs)
  std::string FTargetDir;
  std::unordered_set<std::string> FTaken;  // names in the target, lower case
  libdeflate_decompressor* FInflater = nullptr;
  std::unique_ptr<TInflateAhead> FAhead;  // inflates small entries while others are written
  std::vector<unsigned char> FBuffer;
  bool FCancelled = false;
  bool FTestOnly = false;  // check every entry, write nothing
  std::vector<std::string> FSpecs;
  std::int32_t FWrittenCount = 0;
};

bool TExtractor::Callback(std::int32_t action, std::int32_t error, std::uint64_t number,
                          std::string_view text) {
  if (!FParams->Callback) return !FCancelled;
  auto info = std::make_unique<TUnzipCallbackInfo>();
  std::memset(info.get(), 0, sizeof(TUnzipCallbackInfo));
  info->Handle = FParams->Handle;
  info->Caller = FParams->Caller;
  info->Version = UNZIP_VERSION;
  info->ActionCode = action;
  info->ErrorCode = error;
  info->Number = number > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(number);
  const std::size_t n = TruncatedLength(text, UNZIP_MESSAGE_CHARS);
  std::memcpy(info->Message, text.data(), n);
  if (FParams->Callback(info.get()) == -1) FCancelled = true;
  return !FCancelled;
}

bool TExtractor::ReadDirectory() {
  const unsigned char* data = FInput.Data();
  const std::uint64_t size = FInput.Size();
  const std::optional<TEndRecord> end =
      FindEndRecord(size, [&](std::uint64_t pos, void* buffer, std::size_t n) {
        if (pos > size || n > size - pos) return false;
        std::memcpy(buffer, data + pos, n);
        return true;
      });
  if (!end) return false;
  if (end->ThisDisk != 0 || end->DirDisk != 0) return false;  // joined by the caller first
  if (end->DirSize > end->DirEnd) return false;
  const std::uint64_t dirEnd = end->DirEnd;
  const std::uint64_t dirPos = dirEnd - end->DirSize;
  // A zip64 offset beyond any file (2^63 and more) is damage, and the stub length would overflow.
  if (end->DirOffset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
    return false;
  FDelta = static_cast<std::int64_t>(dirPos) - static_cast<std::int64_t>(end->DirOffset);
  std::uint64_t pos = dirPos;
  FEntries.reserve(static_cast<std::size_t>(std::min(end->Total, end->DirSize / kCentralSize)));
  for (std::uint64_t i = 0; i < end->Total; ++i) {
    if (pos + kCentralSize > dirEnd || Get32(data + pos) != kCentralSig) return false;
    const unsigned char* h = data + pos;
    const std::uint64_t nameLen = Get16(h + 28), extraLen = Get16(h + 30),
                        commentLen = Get16(h + 32);
    if (pos + kCentralSize + nameLen + extraLen + commentLen > dirEnd) return false;
    TEntry e;
    e.RawName.assign(reinterpret_cast<const char*>(h + kCentralSize), nameLen);
    const std::string_view extra(reinterpret_cast<const char*>(h + kCentralSize + nameLen),
                                 extraLen);
    e.Flags = Get16(h + 8);
    const std::uint16_t madeBy = Get16(h + 4);
    TEntryName name = DecodeName(e.RawName, extra, madeBy, e.Flags, TCodePageRule::cpAuto);
    e.Name = std::move(name.Text);
    e.NameValid = name.Valid;
    // The Unix file type is there for Unix and macOS hosts, and where 7-Zip marks it (0x8000).
    const std::uint32_t attributes = Get32(h + 38);
    const unsigned host = madeBy >> 8;
    if (host == 3 || host == 19 || (attributes & 0x8000))
      e.Link = (attributes >> 16 & kTypeMask) == kTypeLink;
    e.Method = Get16(h + 10);
    e.Time = Get16(h + 12);
    e.Date = Get16(h + 14);
    e.Crc = Get32(h + 16);
    TEntryValues values;
    e.ValuesRead = ReadEntryValues(h, extra, values);
    e.CompressedSize = values.CompressedSize;
    e.Size = values.Size;
    e.LocalOffset = values.LocalOffset;
    FEntries.push_back(std::move(e));
    pos += kCentralSize + nameLen + extraLen + commentLen;
  }
  return true;
}

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// A name that may be created in the target directory and nowhere else.
bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F || IsSeparator(c)) return false;
#ifdef _WIN32
    if (std::strchr("<>:\"|?*", c)) return false;
#endif
  }
#ifdef _WIN32
  if (name.back() == '.' || name.back() == ' ') return false;
  std::string stem = LowerAscii(name.substr(0, name.find('.')));
  static const char* const kDevices[] = {"con", "prn", "aux", "nul"};
  for (const char* d : kDevices)
    if (stem == d) return false;
  if (stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) && stem[3] >= '1' &&
      stem[3] <= '9')
    return false;
#endif
  return true;
}

bool TExtractor::CheckName(TEntry& entry) {
  if (!entry.NameValid) {
    entry.Skip = true;
    return Message(UNZIP_ERR_NAME,
                   "Refused file name that is not valid in its encoding: " + Printable(entry.Name));
  }
  const std::string& raw = entry.Name;
  if (!raw.empty() && IsSeparator(raw.back()) && entry.Size == 0) {
    entry.Skip = true;  // a folder entry: folders are not kept
    return true;
  }
  // Names that try to climb out or start at a root are refused outright, even though their bare
  // name would be harmless: such an archive was made to attack.
  bool unsafe = raw.empty() || IsSeparator(raw.front()) || (raw.size() >= 2 && raw[1] == ':') ||
                raw.find('\0') != std::string::npos;
  std::size_t start = 0;
  while (!unsafe && start <= raw.size()) {
    std::size_t stop = start;
    while (stop < raw.size() && !IsSeparator(raw[stop])) ++stop;
    if (std::string_view(raw).substr(start, stop - start) == "..") unsafe = true;
    start = stop + 1;
  }
  std::size_t cut = raw.size();
  while (cut > 0 && !IsSeparator(raw[cut - 1])) --cut;
  const std::string bare = raw.substr(cut);
  if (unsafe || !IsPlainFileName(bare)) {
    entry.Skip = true;
    return Message(UNZIP_ERR_NAME, "Refused unsafe file name: " + raw);
  }
  entry.Name = bare;
  return true;
}

// A spec names an entry by its whole name or its bare name, with wildcards.
bool TExtractor::MatchesSpec(const TEntry& entry) const {
  std::string whole = entry.Name;
  std::replace(whole.begin(), whole.end(), '\\', '/');
  const std::string bare = whole.substr(whole.rfind('/') + 1);
  for (std::string spec : FSpecs) {
    std::replace(spec.begin(), spec.end(), '\\', '/');
    if (platform::MatchesMask(whole, spec) || platform::MatchesMask(bare, spec)) return true;
  }
  return false;
}

bool TExtractor::Inflate(const TEntry& entry, const unsigned char* data, unsigned char* out) {
  if (entry.Method == 0) {
    std::memcpy(out, data, entry.Size);
    return true;
  }
  std::size_t inUsed = 0, outUsed = 0;
  const libdeflate_result r = libdeflate_deflate_decompress_ex(
      FInflater, data, entry.CompressedSize, out, entry.Size, &inUsed, &outUsed);
  return r == LIBDEFLATE_SUCCESS && outUsed == entry.Size;
}

// True when two entries to be extracted share bytes of the archive: the same data counted as
// several files is how small archives are made to unpack to gigabytes.
bool TExtractor::EntriesOverlap() const {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;
  for (const TEntry& e : FEntries) {
    if (e.Skip) continue;
    // An entry that runs outside the file is reported as cut when its turn comes.
    const TLocalSpan span = LocalSpan(e);
    if (!span.HeaderInside || !span.DataInside) continue;
    spans.emplace_back(span.Header, span.Data + e.CompressedSize);
  }
  std::sort(spans.begin(), spans.end());
  std::uint64_t end = 0;
  for (std::size_t i = 0; i < spans.size(); ++i) {
    if (i > 0 && spans[i].first < end) return true;
    end = std::max(end, spans[i].second);
  }
  return false;
}

struct TRefusal {
  std::int32_t Code = 0;  // 0: none
  std::string Text;
};

// Why an entry cannot be extracted whatever its data, if it cannot.
TRefusal Unreadable(const TEntry& e) {
  if (IsEncrypted(e.Flags, e.Method)) {
    const char* kind = e.Method == kMethodAes              ? "AES"
                       : (e.Flags & kFlagStrongEncryption) ? "strong"
                                                           : "PKWARE";
    return {UNZIP_ERR_ENCRYPTED,
            std::string("Encrypted file skipped (") + kind + " encryption): " + e.Name};
  }
  if (e.Method != kMethodStored && e.Method != kMethodDeflated) {
    const std::string_view known = MethodName(e.Method);
    return {UNZIP_ERR_METHOD, "Unsupported compression method " + std::to_string(e.Method) +
                                  (known.empty() ? "" : " (" + std::string(known) + ")") + ": " +
                                  e.Name};
  }
  if (!e.ValuesRead) return {UNZIP_ERR_DATA, "Corrupt data (zip64 sizes missing): " + e.Name};
  return {};
}

std::time_t DosTime(std::uint16_t date, std::uint16_t time) {
  std::tm tm{};
  tm.tm_year = ((date >> 9) & 0x7F) + 80;
  tm.tm_mon = std::max(((date >> 5) & 0x0F) - 1, 0);
  tm.tm_mday = std::max(date & 0x1F, 1);
  tm.tm_hour = (time >> 11) & 0x1F;
  tm.tm_min = (time >> 5) & 0x3F;
  tm.tm_sec = (time & 0x1F) * 2;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

TExtractor::TLocalSpan TExtractor::LocalSpan(const TEntry& entry) const {
  const unsigned char* data = FInput.Data();
  const std::uint64_t size = FInput.Size();
  TLocalSpan span;
  // A zip64 offset may be near 2^64: it must not wrap when the stub's length is added.
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  if (entry.LocalOffset > static_cast<std::uint64_t>(kMax)) return span;
  const auto offset = static_cast<std::int64_t>(entry.LocalOffset);
  if (FDelta > 0 && offset > kMax - FDelta) return span;
  const std::int64_t local = offset + FDelta;
  if (local < 0 || static_cast<std::uint64_t>(local) + 30 > size) return span;
  span.HeaderInside = true;
  span.Header = static_cast<std::uint64_t>(local);
  span.Signed = Get32(data + span.Header) == kLocalSig;
  span.Data = span.Header + 30 + Get16(data + span.Header + 26) + Get16(data + span.Header + 28);
  span.DataInside = span.Data <= size && entry.CompressedSize <= size - span.Data;
  return span;
}

// The entry's compressed data, or null when its local header or data lie outside the archive.
const unsigned char* TExtractor::EntryData(const TEntry& entry) const {
  const TLocalSpan span = LocalSpan(entry);
  return span.HeaderInside && span.Signed && span.DataInside ? FInput.Data() + span.Data : nullptr;
}

// Entries small enough for a buffer are inflated on other threads ahead of their turn: most of an
// extraction is inflating and writing, and the two then overlap. Larger entries are inflated
// piece by piece into their file when their turn comes.
void TExtractor::StartInflatingAhead() {
  std::vector<TInflateJob> jobs;
  for (TEntry& e : FEntries) {
    if (e.Skip || e.Size == 0 || e.Size > kStreamThreshold) continue;
    const unsigned char* data = EntryData(e);
    if (!data) continue;  // reported when its turn comes
    e.Job = static_cast<std::int64_t>(jobs.size());
    jobs.push_back({data, e.CompressedSize, e.Size, e.Method, e.Crc});
  }
  if (jobs.size() < 2) {
    for (TEntry& e : FEntries) e.Job = -1;
    return;
  }
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  // The archive's pages leave memory once read: they would otherwise stay with the process as
  // long as the extraction runs.
  FAhead = std::make_unique<TInflateAhead>(
      std::move(jobs), std::min(cores, 4u),
      [this](const unsigned char* data, std::uint64_t size) { FInput.Done(data, size); });
}

bool TExtractor::StreamEntry(const TEntry& entry, const unsigned char* data, TOutputFile* out,
                             std::uint64_t* reported, TNext* next) {
  const std::string& name = entry.Name;
  auto problem = [&](std::int32_t code, const std::string& text) {
    *next = Message(code, text + name) ? TNext::nxGoOn : TNext::nxStop;
    return false;
  };
  const bool stored = entry.Method == kMethodStored;
  z_stream zs{};
  if (!stored) {
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    FBuffer.resize(kPiece);
  }
  struct TEnd {
    z_stream& Stream;
    bool Used;
    ~TEnd() {
      if (Used) inflateEnd(&Stream);
    }
  } end{zs, !stored};

  std::uint64_t done = 0, fed = 0, released = 0;
  std::uint32_t crc = 0;
  bool ended = false;  // the deflate stream's last block is read
  *reported = 0;
  while (stored ? done < entry.Size : !ended) {
    const unsigned char* piece = nullptr;
    std::size_t size = 0;
    if (stored) {
      piece = data + done;
      size = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, entry.Size - done));
    } else {
      zs.next_out = FBuffer.data();
      zs.avail_out = static_cast<uInt>(kPiece);
      while (zs.avail_out > 0 && !ended) {
        if (zs.avail_in == 0 && fed < entry.CompressedSize) {
          zs.next_in = const_cast<unsigned char*>(data + fed);
          zs.avail_in =
              static_cast<uInt>(std::min<std::uint64_t>(entry.CompressedSize - fed, 1u << 30));
          fed += zs.avail_in;
        }
        const int rc = inflate(&zs, Z_NO_FLUSH);
        if (rc == Z_STREAM_END)
          ended = true;
        else if (rc != Z_OK)  // damaged, or the data ends before the stream does
          return problem(UNZIP_ERR_DATA, "Corrupt data, or a size that does not match it: ");
      }
      piece = FBuffer.data();
      size = kPiece - zs.avail_out;
    }
    if (size > entry.Size - done)
      return problem(UNZIP_ERR_DATA, "Corrupt data, or a size that does not match it: ");
    crc = libdeflate_crc32(crc, piece, size);
    TFileError error;
    if (out && !out->Write(piece, size, &error)) {
      *next = WriteError("Cannot write file ", name, error);
      return false;
    }
    done += size;
    const std::uint64_t consumed = stored ? done : fed - zs.avail_in;
    FInput.Done(data + released, consumed - released);
    released = consumed;
    if (done < entry.Size && (stored || !ended)) {
      if (!Callback(UNZIP_ACTION_PROGRESS, 0, done - *reported, name)) {
        *next = TNext::nxStop;
        return false;
      }
      *reported = done;
    }
  }
  if (done != entry.Size)
    return problem(UNZIP_ERR_DATA, "Corrupt data, or a size that does not match it: ");
  if (crc != entry.Crc) return problem(UNZIP_ERR_CRC, "CRC error: ");
  return true;
}

// A failure to create or write a file: reported, and when every further file would fail alike,
// reported with a code of its own and the extraction stops there.
TNext TExtractor::WriteError(const std::string& what, const std::string& name,
                             const TFileError& error) {
  const std::string text = what + name + ": " + error.Text;
  if (error.Recurs) {
    Message(UNZIP_ERR_WRITE_STOPS, text);
    return TNext::nxStop;
  }
  return Message(UNZIP_ERR_WRITE, text) ? TNext::nxGoOn : TNext::nxStop;
}

TNext TExtractor::TestEntry(const TEntry& entry, const unsigned char* data) {
  const std::string& name = entry.Name;
  auto problem = [&](std::int32_t code, const std::string& text) {
    return Message(code, text + name) ? TNext::nxGoOn : TNext::nxStop;
  };
  std::uint64_t reported = entry.Size;
  if (entry.Job >= 0) {
    const TInflated& ahead = FAhead->Take(static_cast<std::size_t>(entry.Job));
    if (ahead.OutOfMemory) throw std::bad_alloc();
    if (!ahead.Ok)
      return problem(UNZIP_ERR_DATA, "Corrupt data, or a size that does not match it: ");
    if (!ahead.CrcOk) return problem(UNZIP_ERR_CRC, "CRC error: ");
  } else if (entry.Size > kStreamThreshold) {
    TNext next = TNext::nxGoOn;
    if (!StreamEntry(entry, data, nullptr, &reported, &next)) return next;
    reported = entry.Size - reported;
  } else {
    FBuffer.resize(entry.Size);
    if (!Inflate(entry, data, FBuffer.data()))
      return problem(UNZIP_ERR_DATA, "Corrupt data, or a size that does not match it: ");
    if (libdeflate_crc32(0, FBuffer.data(), entry.Size) != entry.Crc)
      return problem(UNZIP_ERR_CRC, "CRC error: ");
  }
  ++FWrittenCount;
  return Callback(UNZIP_ACTION_PROGRESS, 0, reported, name) ? TNext::nxGoOn : TNext::nxStop;
}

TNext TExtractor::ExtractEntry(const TEntry& entry) {
  const std::string& name = entry.Name;
  const TLocalSpan span = LocalSpan(entry);
  auto problem = [&](std::int32_t code, const std::string& text) {
    return Message(code, text + name) ? TNext::nxGoOn : TNext::nxStop;
  };
  if (!span.HeaderInside || !span.Signed)
    return problem(UNZIP_ERR_DATA, "Corrupt data (local header): ");
  if (!span.DataInside) return problem(UNZIP_ERR_DATA, "Corrupt data (truncated archive): ");
  const unsigned char* data = FInput.Data() + span.Data;

  if (!Callback(UNZIP_ACTION_NEWFILE, 0, entry.Size, name)) return TNext::nxStop;
  if (FTestOnly) return TestEntry(entry, data);
  if (FTaken.count(LowerAscii(name))) return problem(0, "File exists already, not replaced: ");
  TOutputFile out;
  bool exists = false;
  TFileError error;
  if (!out.Create(platform::JoinPath(FTargetDir, name), &exists, &error)) {
    if (exists) return problem(0, "File exists already, not replaced: ");
    return WriteError("Cannot create file ", name, error);
  }
  FTaken.insert(LowerAscii(name));
  std::uint64_t reported = entry.Size;  // what the progress after the file reports
  if (entry.Size > 0 && entry.Job >= 0) {
    const TInflated& ahead = FAhead->Take(static_cast<std::size_t>(entry.Job));
    if (ahead.OutOfMemory) throw std::bad_alloc();
    if (!ahead.Ok)
      return problem(UNZIP_ERR_DATA, "Corrupt data, or a size that does not match it: ");
    if (!ahead.CrcOk) return problem(UNZIP_ERR_CRC, "CRC error: ");
    if (!out.Write(ahead.Bytes.get(), entry.Size, &error))
      return WriteError("Cannot write file ", name, error);
  } else if (entry.Size > kStreamThreshold) {
    if (!out.Reserve(entry.Size, &error)) return WriteError("Cannot write file ", name, error);
    TNext next = TNext::nxGoOn;
    if (!StreamEntry(entry, data, &out, &reported, &next)) return next;
    reported = entry.Size - reported;
  } else if (entry.Size > 0) {
    FBuffer.resize(entry.Size);
    if (!Inflate(entry, data, FBuffer.data()))
      return problem(UNZIP_ERR_DATA, "Corrupt data, or a size that does not match it: ");
    if (libdeflate_crc32(0, FBuffer.data(), entry.Size) != entry.Crc)
      return problem(UNZIP_ERR_CRC, "CRC error: ");
    if (!out.Write(FBuffer.data(), entry.Size, &error))
      return WriteError("Cannot write file ", name, error);
  }
  if (!out.Finish(DosTime(entry.Date, entry.Time), &error))
    return WriteError("Cannot write file ", name, error);
  ++FWrittenCount;
  if (FParams->Verbose && !Message(0, "Extracted: " + name)) return TNext::nxStop;
  if (!Callback(UNZIP_ACTION_WRITTEN, 0, entry.Size, name) ||
      !Callback(UNZIP_ACTION_PROGRESS, 0, reported, name))
    return TNext::nxStop;
  return TNext::nxGoOn;
}

// Marks the entries that are not to be extracted, saying why, and adds up the others. False when
// the caller cancelled or a name was refused outright.
bool TExtractor::ScreenEntries(std::uint64_t& total, std::size_t& files) {
  // The names this extraction is to write, lower case, as the folder's names are compared.
  std::unordered_map<std::string, const TEntry*> claimed;
  for (TEntry& e : FEntries) {
    if (!FSpecs.empty() && !MatchesSpec(e)) {
      e.Skip = true;
      continue;
    }
    if (!CheckName(e)) return false;
    if (e.Skip) continue;
    if (e.Link) {  // a file holding the link's text would pass for the file it names
      e.Skip = true;
      if (!Message(UNZIP_ERR_NAME, "Symbolic link skipped: " + e.Name)) return false;
      continue;
    }
    if (const TRefusal refusal = Unreadable(e); refusal.Code != 0) {
      e.Skip = true;
      if (!Message(refusal.Code, refusal.Text)) return false;
      continue;
    }
    if (e.CompressedSize > FInput.Size()) {  // 64-bit sizes that no archive can hold
      e.Skip = true;
      if (!Message(UNZIP_ERR_DATA, "Corrupt data (truncated archive): " + e.Name)) return false;
      continue;
    }
    const bool absurd = e.Method == 0
                            ? e.Size != e.CompressedSize
                            : e.Method == 8 && e.Size > e.CompressedSize * kMaxDeflateRatio + 1024;
    if (absurd) {
      e.Skip = true;
      if (!Message(UNZIP_ERR_SIZE, "Declared size of " + e.Name + " (" + std::to_string(e.Size) +
                                       " bytes) does not fit its data; skipped"))
        return false;
      continue;
    }
    if (!FTestOnly && FTaken.count(LowerAscii(e.Name))) {
      e.Skip = true;
      if (!Message(0, "File exists already, not replaced: " + e.Name)) return false;
      continue;
    }
    if (const auto [first, added] = claimed.emplace(LowerAscii(e.Name), &e); !FTestOnly && !added) {
      e.Skip = true;
      const bool same = first->second->Name == e.Name;
      if (!Message(UNZIP_ERR_NAME, (same ? "Another entry has the same name, skipped: "
                                         : "Another entry differs only in letter case, skipped: ") +
                                       e.Name))
        return false;
      continue;
    }
    total = e.Size > UINT64_MAX - total ? UINT64_MAX : total + e.Size;
    ++files;
  }
  return true;
}

std::int32_t TExtractor::Run() {
  const char* archive = FParams->ArchiveName;
  std::string error;
  if (!archive || !*archive) {
    Message(UNZIP_ERR_OPEN, "No archive given");
    return 0;
  }
  if (!FInput.Open(archive, &error)) {
    Message(UNZIP_ERR_OPEN, std::string("Cannot open archive ") + archive + ": " + error);
    return 0;
  }
  if (!ReadDirectory()) {
    Message(UNZIP_ERR_STRUCTURE, std::string("Not a valid zip archive: ") + archive);
    return 0;
  }
  // Created files are named by the directory current now, even if a handler run from the
  // callback changes it meanwhile.
  FTargetDir = platform::GetCurrentDir();
  for (const platform::TSearchRec& rec : platform::FindFiles(FTargetDir, "*"))
    FTaken.insert(LowerAscii(rec.Name));

  FTestOnly = FParams->Test != 0;
  for (std::int32_t i = 0; FParams->FileSpecs && i < FParams->FileSpecCount; ++i)
    if (const char* spec = FParams->FileSpecs[i].FileSpec) FSpecs.emplace_back(spec);

  // Every refusal that can be decided from the directory is made before anything is written.
  std::uint64_t total = 0;
  std::size_t files = 0;
  if (!ScreenEntries(total, files)) return 0;
  const auto freeSpace = platform::FreeDiskSpace(FTargetDir);
  if (!FTestOnly && freeSpace && (total > *freeSpace || *freeSpace - total < kKeepFree)) {
    Message(UNZIP_ERR_WRITE_STOPS, "Not enough disk space: the archive needs " +
                                       std::to_string(total) +
                                       " bytes and 64 MiB must stay free; " +
                                       std::to_string(*freeSpace) + " bytes are free");
    return 0;
  }
  if (total > kMaxTotalSize) {
    Message(UNZIP_ERR_SIZE, "The archive would unpack to " + std::to_string(total) +
                                " bytes, more than the " + std::to_string(kMaxTotalSize) +
                                " a game may take; nothing extracted");
    return 0;
  }
  if (EntriesOverlap()) {
    Message(UNZIP_ERR_SIZE,
            "Entries of the archive share their data, as in a zip bomb; nothing extracted");
    return 0;
  }
  if (!Callback(UNZIP_ACTION_FILECOUNT, 0, files, "") ||
      !Callback(UNZIP_ACTION_TOTALSIZE, 0, total, ""))
    return 0;

  FInflater = libdeflate_alloc_decompressor();
  if (!FInflater) {
    Message(UNZIP_ERR_OPEN, "Out of memory");
    return 0;
  }
  StartInflatingAhead();
  for (const TEntry& e : FEntries) {
    if (e.Skip) continue;
    bool stop = false;
    try {
      stop = ExtractEntry(e) == TNext::nxStop;
    } catch (const std::bad_alloc&) {
      stop = !Message(UNZIP_ERR_WRITE, "Out of memory: " + e.Name);
    }
    if (e.Job >= 0) FAhead->Release(static_cast<std::size_t>(e.Job));
    if (stop) break;
  }
  FAhead.reset();
  Callback(UNZIP_ACTION_ENDBATCH, 0, 0, "");
  return FWrittenCount;
}

}  // namespace
}  // namespace unziplib

extern "C" {

UNZIPLIB_EXPORT std::int32_t UNZIPLIB_CALL UnzipLibExec(TUnzipParams* params) {
  if (!params) return 0;
  try {
    unziplib::TExtractor extractor(params);
    return extractor.Run();
  } catch (...) {
    return 0;  // nothing may escape into the caller
  }
}

UNZIPLIB_EXPORT std::int32_t UNZIPLIB_CALL GetUnzipLibVersion(void) {
  return UNZIP_VERSION;
}
}
