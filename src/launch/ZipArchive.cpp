#include "ZipArchive.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <random>

#include "ZipDrive.h"
#include "ZipMsg.h"
#include "platform/Files.h"
#include "platform/Library.h"
#include "unziplib/UnzipLibApi.h"
#include "zipformat/ZipFormat.h"
#include "zipformat/ZipRecords.h"

namespace {

using namespace zip;  // the format's signatures and field readers
constexpr const char* kLibraryName = "UNZIPLIB.DLL";
// The least time between two dispatches of events from the library's progress calls.
constexpr std::int64_t kDispatchMs = 50;

std::uint32_t Cap32(std::uint64_t v) {
  return v > kMax32 ? kMax32 : static_cast<std::uint32_t>(v);
}

struct TUnzipLibrary {
  platform::TLibraryHandle Handle = nullptr;
  TUnzipLibExecFunc Exec = nullptr;
  TGetUnzipLibVersionFunc Version = nullptr;
};

// One handle for the whole program, shared by every component.
TUnzipLibrary& Library() {
  static TUnzipLibrary library;
  return library;
}

bool gFallbackSearch = true;

std::int32_t UNZIPLIB_CALL ZipCallback(TUnzipCallbackInfo* info);

}  // namespace

std::int32_t ZipCallbackEntry(void* info) {
  auto* record = static_cast<TUnzipCallbackInfo*>(info);
  auto* self = static_cast<TZipArchive*>(record->Caller);
  return self ? self->Callback(info) : 0;
}

namespace {
std::int32_t UNZIPLIB_CALL ZipCallback(TUnzipCallbackInfo* info) {
  return ZipCallbackEntry(info);
}
}  // namespace

struct TZipArchive::TEndInfo {
  std::uint64_t FileSize = 0;
  std::string Comment;
  bool SpanMarker = false;
  int ThisDisk = 0;
  int DirDisk = 0;
  std::uint64_t Total = 0;
  std::uint64_t DirSize = 0;
  std::uint64_t DirOffset = 0;  // where the directory is read, on DirDisk
};

struct TZipArchive::TRawCentral {
  unsigned char Header[kCentralSize] = {};
  std::string Name, Extra, Comment;
  TEntryValues Values;      // 64-bit, from the zip64 extra field where the header defers to it
  bool ValuesRead = false;  // false: the header defers to a zip64 field that is not there
  std::uint16_t VersionMadeBy() const { return Get16(Header + 4); }
  std::uint16_t Flags() const { return Get16(Header + 8); }
};

// Reads on across the volumes of a set: when one volume ends, the next one follows. The size of
// every volume opened is noted with the owner, as the most a join of them may write.
class TZipArchive::TVolumeStream {
 public:
  TVolumeStream(TZipArchive& owner, int count, std::string last)
      : FOwner(owner), FCount(count), FLast(std::move(last)) {}

  /// Called whenever reading moves into a volume.
  std::function<void(int volume, const std::string& path)> OnVolume;

  void Open(int volume, std::uint64_t offset, int seekError) {
    if (volume != FVolume) OpenVolume(volume);
    FIn.clear();
    FIn.seekg(static_cast<std::streamoff>(offset));
    if (!FIn || offset > FSize) throw FOwner.Error(seekError);
    FPos = offset;
  }

  /// Reads up to n bytes, on into the next volumes; returns how many there were.
  std::size_t ReadSome(void* buffer, std::size_t n) {
    auto* p = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
      FIn.read(p + done, static_cast<std::streamsize>(n - done));
      const auto got = static_cast<std::size_t>(FIn.gcount());
      done += got;
      FPos += got;
      if (done == n || FVolume + 1 >= FCount) break;
      OpenVolume(FVolume + 1);
    }
    return done;
  }
  bool Read(void* buffer, std::size_t n) { return ReadSome(buffer, n) == n; }
  bool Read(std::string& out, std::size_t n) {
    out.resize(n);
    return Read(out.data(), n);
  }

  /// Where reading goes on: the volume and the offset in it.
  std::pair<int, std::uint64_t> Position() const { return {FVolume, FPos}; }

 private:
  void OpenVolume(int volume) {
    if (volume < 0 || volume >= FCount) throw FOwner.Error(11024);
    const std::string path =
        volume == FCount - 1 ? FLast : FOwner.RequestVolume(volume + 1, FCount);
    // A pipe under the name would block the open until a writer comes: refused like a bad file.
    if (!platform::IsRegularFile(path)) throw FOwner.Error(11002, {": " + path});
    FIn = std::ifstream(path, std::ios::binary);
    if (!FIn) throw FOwner.Error(11002, {": " + path});
    FIn.seekg(0, std::ios::end);
    FSize = static_cast<std::uint64_t>(FIn.tellg());
    FIn.seekg(0);
    FVolume = volume;
    FPos = 0;
    FOwner.NoteVolumeSize(volume, FSize);
    if (OnVolume) OnVolume(volume, path);
  }

  TZipArchive& FOwner;
  int FCount;
  std::string FLast;
  std::ifstream FIn;
  std::uint64_t FSize = 0;
  std::uint64_t FPos = 0;
  int FVolume = -1;
};

// Hands out the central headers one at a time, each with its name, extra field and comment, from
// blocks read in large pieces: a directory of 100,000 entries takes a few reads, not 300,000.
class TZipArchive::TCentralReader {
 public:
  TCentralReader(TZipArchive& owner, TVolumeStream& in, std::uint64_t dirSize)
      : FOwner(owner), FIn(in), FLeft(dirSize) {}

  /// The next header with its texts behind it, valid until the next call. Throws the message of
  /// the part that is cut or wrong.
  const unsigned char* Next() {
    FPos += FLength;
    FLength = 0;
    if (!Fill(kCentralSize)) throw FOwner.Error(11013);
    const unsigned char* h = FBuffer.get() + FPos;
    if (Get32(h) != kCentralSig) throw FOwner.Error(11015);
    const std::size_t name = Get16(h + 28), extra = Get16(h + 30), comment = Get16(h + 32);
    if (!Fill(kCentralSize + name)) throw FOwner.Error(11017);
    if (!Fill(kCentralSize + name + extra)) throw FOwner.Error(11019);
    if (!Fill(kCentralSize + name + extra + comment)) throw FOwner.Error(11022);
    FLength = kCentralSize + name + extra + comment;
    return FBuffer.get() + FPos;
  }

 private:
  static constexpr std::size_t kBlock = std::size_t{1} << 20;

  // Makes n bytes from FPos on available; false when the volumes end sooner.
  bool Fill(std::size_t n) {
    if (FEnd - FPos >= n) return true;
    if (FPos > 0) std::memmove(FBuffer.get(), FBuffer.get() + FPos, FEnd - FPos);
    FEnd -= FPos;
    FPos = 0;
    // As much of the directory as a block holds, and never less than the header needs.
    const std::size_t want = static_cast<std::size_t>(
        std::max<std::uint64_t>(n, std::min<std::uint64_t>(FEnd + FLeft, kBlock)));
    if (want > FCapacity) {
      std::unique_ptr<unsigned char[]> bigger(new unsigned char[want]);
      if (FEnd > 0) std::memcpy(bigger.get(), FBuffer.get(), FEnd);
      FBuffer = std::move(bigger);
      FCapacity = want;
    }
    const std::size_t got = FIn.ReadSome(FBuffer.get() + FEnd, want - FEnd);
    FEnd += got;
    FLeft -= std::min<std::uint64_t>(FLeft, got);
    return FEnd >= n;
  }

  TZipArchive& FOwner;
  TVolumeStream& FIn;
  std::uint64_t FLeft;  // bytes of the directory not read yet, as its size says
  std::unique_ptr<unsigned char[]> FBuffer;
  std::size_t FCapacity = 0, FPos = 0, FEnd = 0, FLength = 0;
};

TZipArchive::TZipArchive(TUserInteraction& ui) : FUi(ui), FDLLDirectory(".") {}

TZipArchive::~TZipArchive() = default;

void TZipArchive::SetZipFilename(const std::string& value) {
  FZipFilename = value;
  List();
}

void TZipArchive::SetDLLDirectory(const std::string& value) {
  FDLLDirectory = value;
  if (!FDLLDirectory.empty() && (FDLLDirectory.back() == '\\' || FDLLDirectory.back() == '/'))
    FDLLDirectory.pop_back();
}

int TZipArchive::Count() const {
  return FZipFilename.empty() ? 0 : static_cast<int>(FEntries.size());
}

EZipArchive TZipArchive::Error(int number, const std::vector<std::string>& args, bool display) {
  std::vector<TZipMessageArg> values(args.begin(), args.end());
  std::string text = FormatZipString(number, values);
  // An argument without a placeholder is extra detail after the text.
  if (LoadZipString(number).find('%') == std::string::npos)
    for (const std::string& a : args) text += a;
  return EZipArchive(number, display, text);
}

void TZipArchive::ReportMessage(int number, const std::string& extra) {
  const std::string text = LoadZipString(number) + extra;
  FErrCode = number;
  FMessage = text;
  if (!FUnattended) FUi.ShowMessage(text);
  if (OnMessage) OnMessage(*this, 0, text);
}

void TZipArchive::ShowExceptionError(const EZipArchive& error) {
  FErrCode = error.Number();
  FMessage = error.what();
  if (error.Display() && !FUnattended) FUi.ShowMessage(FMessage);
  if (OnMessage) OnMessage(*this, 0, FMessage);
}

// ---------------------------------------------------------------------------------------------
// Listing

bool TZipArchive::FindEndRecord(const std::string& path, TEndInfo& info, bool listing) {
  if (!platform::IsRegularFile(path)) throw Error(listing ? 11001 : 11002);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error(listing ? 11001 : 11002);
  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  if (!in || length < 0) throw Error(11008);
  info.FileSize = static_cast<std::uint64_t>(length);

  bool readFailed = false;  // bytes that the file holds could not be read
  auto read = [&](std::uint64_t pos, void* buffer, std::size_t size) {
    if (pos > info.FileSize || size > info.FileSize - pos) return false;
    in.clear();
    in.seekg(static_cast<std::streamoff>(pos));
    in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
    if (static_cast<std::size_t>(in.gcount()) == size) return true;
    readFailed = true;
    return false;
  };
  unsigned char head[8] = {};
  info.SpanMarker =
      read(0, head, sizeof head) && Get32(head) == kSpanSig && Get32(head + 4) == kLocalSig;

  const std::optional<TEndRecord> found = zip::FindEndRecord(info.FileSize, read);
  if (!found) {
    if (readFailed) throw Error(11011);
    return false;
  }
  const TEndRecord& r = *found;
  info.Comment = r.Comment;
  if (listing && r.RecordEnd < info.FileSize) {
    const std::uint64_t extra = info.FileSize - r.RecordEnd;
    bool padding = info.FileSize % 512 == 0 && extra < 512;
    if (padding) {
      std::string bytes(extra, '\0');
      padding = read(r.RecordEnd, bytes.data(), bytes.size()) &&
                std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == 0; });
    }
    if (!padding) ReportMessage(10204);
  }

  // Volume numbers name files game001.zip to game999.zip; anything beyond is no archive.
  if (r.ThisDisk > 999 || r.DirDisk > 999) throw Error(11036);
  info.ThisDisk = static_cast<int>(r.ThisDisk);
  info.DirDisk = static_cast<int>(r.DirDisk);
  info.Total = r.Total;
  info.DirSize = r.DirSize;
  if (info.DirDisk == info.ThisDisk) {
    if (info.DirSize > r.DirEnd) throw Error(10201);
    info.DirOffset = r.DirEnd - info.DirSize;
    if (listing && info.DirOffset != r.DirOffset) ReportMessage(10203);
  } else {
    info.DirOffset = r.DirOffset;
  }
  return true;
}

std::vector<TZipArchive::TRawCentral> TZipArchive::ReadCentral(const TEndInfo& end,
                                                               const std::string& lastVolume) {
  TVolumeStream in(*this, end.ThisDisk + 1, lastVolume);
  in.Open(end.DirDisk, end.DirOffset, 10201);
  TCentralReader reader(*this, in, end.DirSize);
  std::vector<TRawCentral> entries;
  // A count that lies cannot make the listing take more than the directory could hold.
  entries.reserve(static_cast<std::size_t>(
      std::min({end.Total, end.DirSize / kCentralSize, end.FileSize / kCentralSize})));
  for (std::uint64_t i = 0; i < end.Total; ++i) {
    const unsigned char* h = reader.Next();
    TRawCentral& c = entries.emplace_back();
    std::memcpy(c.Header, h, sizeof c.Header);
    const char* text = reinterpret_cast<const char*>(h + kCentralSize);
    const std::size_t name = Get16(h + 28), extra = Get16(h + 30), comment = Get16(h + 32);
    c.Name.assign(text, name);
    c.Extra.assign(text + name, extra);
    c.Comment.assign(text + name + extra, comment);
    c.ValuesRead = ReadEntryValues(c.Header, c.Extra, c.Values);
  }
  return entries;
}

void TZipArchive::NoteVolumeSize(int volume, std::uint64_t size) {
  if (FVolumeSizes.emplace(volume, size).second) FVolumesSize += size;
}

void TZipArchive::List() {
  FEntries.clear();
  FNames.clear();
  FZipComment.clear();
  FEndVolume = 0;
  FLabelVolume = -1;
  FFixedDrive = true;
  FDriveRoot.clear();
  FSplitNames = -1;
  if (FZipFilename.empty() || !platform::FileExists(FZipFilename)) return;
  const TBusyCursor busy(FUi);  // a central directory on a slow disk takes a while
  try {
    const std::string path = platform::ResolvePath(FZipFilename);
    const zip::TDriveCheck drive = zip::CheckDrive(path);
    if (drive.Error) throw Error(drive.Error, {drive.Root});
    FLabelVolume = drive.LabelVolume;
    FFixedDrive = drive.Fixed;
    FDriveRoot = drive.Root;

    TEndInfo end;
    if (!FindEndRecord(path, end, true)) {
      if (FLabelVolume >= 0 && FLabelVolume != 1 && !end.SpanMarker)
        throw Error(11038, {std::to_string(FLabelVolume)});
      if (!end.SpanMarker) throw Error(11036);
      if (FLabelVolume == 1) throw Error(11037);
      throw Error(11045);
    }
    FEndVolume = end.ThisDisk;
    FZipComment = end.Comment;
    ListCentral(end, path);
  } catch (const EZipArchive& e) {
    ShowExceptionError(e);
    FZipFilename.clear();
    FEntries.clear();
    FNames.clear();
  } catch (const std::bad_alloc&) {
    ReportMessage(10103);
    FZipFilename.clear();
    FEntries.clear();
    FNames.clear();
  } catch (...) {
    ReportMessage(10202);
    FZipFilename.clear();
    FEntries.clear();
    FNames.clear();
  }
}

void TZipArchive::ListCentral(const TEndInfo& end, const std::string& path) {
  TVolumeStream in(*this, end.ThisDisk + 1, path);
  in.Open(end.DirDisk, end.DirOffset, 10201);
  TCentralReader reader(*this, in, end.DirSize);
  const std::uint64_t most =
      std::min({end.Total, end.DirSize / kCentralSize, end.FileSize / kCentralSize});
  FEntries.reserve(static_cast<std::size_t>(most));
  // Names and comments go into one block; most of them are the directory's bytes as they are.
  const std::uint64_t texts = std::min(end.DirSize, end.FileSize) - most * kCentralSize;
  FNames.reserve(static_cast<std::size_t>(texts));
  const auto rule = static_cast<zip::TCodePageRule>(FCodePage);
  for (std::uint64_t i = 0; i < end.Total; ++i) {
    const unsigned char* h = reader.Next();
    TZipEntry& e = FEntries.emplace_back();
    std::memcpy(e.Header.data(), h + 4, e.Header.size());
    const char* text = reinterpret_cast<const char*>(h + kCentralSize);
    const std::string_view name(text, Get16(h + 28)), extra(text + name.size(), Get16(h + 30)),
        comment(text + name.size() + extra.size(), Get16(h + 32));
    TEntryValues values;
    if (ReadEntryValues(h, extra, values)) {
      // The record keeps its 32-bit fields: a value beyond one is given as its largest value.
      Put32(e.Header.data() + 16, Cap32(values.CompressedSize));
      Put32(e.Header.data() + 20, Cap32(values.Size));
      Put16(e.Header.data() + 30, std::min<std::uint32_t>(values.Disk, kMax16));
      Put32(e.Header.data() + 38, Cap32(values.LocalOffset));
    }
    const std::uint16_t madeBy = Get16(h + 4), flags = Get16(h + 8);
    const std::size_t at = FNames.size();
    AppendDecodedName(FNames, name, extra, madeBy, flags, rule);
    std::replace(FNames.begin() + static_cast<std::ptrdiff_t>(at), FNames.end(), '/', '\\');
    const std::size_t nameSize = FNames.size() - at;
    AppendDecodedName(FNames, comment, {}, madeBy, flags, rule);
    // Sizes for now: the block may still move as it grows.
    e.FileName = std::string_view(FNames.data(), nameSize);
    e.FileComment = std::string_view(FNames.data(), FNames.size() - at - nameSize);
  }
  std::size_t at = 0;
  for (TZipEntry& e : FEntries) {
    e.FileName = std::string_view(FNames.data() + at, e.FileName.size());
    at += e.FileName.size();
    e.FileComment = std::string_view(FNames.data() + at, e.FileComment.size());
    at += e.FileComment.size();
  }
}

// ---------------------------------------------------------------------------------------------
// Volumes of a spanned set

std::string TZipArchive::VolumeName(int volume, int) {
  const std::filesystem::path last(FZipFilename);
  const std::string stem = last.stem().string();
  // game003.zip has game001.zip as its first volume.
  auto numbered = [&](int n) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d", n);
    const std::string name = stem.size() >= 3 ? stem.substr(0, stem.size() - 3) + number : number;
    return platform::ResolvePath(
        (last.parent_path() / (name + last.extension().string())).string());
  };
  // A split set (game.z01, game.z02, ..., game.zip) is the same set under other names; it is
  // taken for one when its first part is there and no first volume by number is.
  auto split = [&](int n) {
    char extension[16];
    std::snprintf(extension, sizeof extension, ".z%02d", n);
    return platform::ResolvePath((last.parent_path() / (stem + extension)).string());
  };
  if (FSplitNames < 0)
    FSplitNames = !platform::FileExists(numbered(1)) && platform::FileExists(split(1)) ? 1 : 0;
  return FSplitNames ? split(volume) : numbered(volume);
}

std::string TZipArchive::RequestVolume(int volume, int count) {
  if (FFixedDrive) return VolumeName(volume, count);
  // A removable disk: the user is asked to insert the disk labelled with the volume's number.
  if (FUnattended) throw Error(11025);
  for (;;) {
    if (zip::VolumeLabelNumber(FDriveRoot) == volume) return FZipFilename;
    std::string text = volume == count ? LoadZipString(11033)
                       : count > 0     ? FormatZipString(11034, {volume, count})
                                       : FormatZipString(11046, {volume});
    text += FormatZipString(11035, {FDriveRoot});
    if (FUi.MessageDlg(text, TMsgDlgType::mtInformation, mbOK | mbCancel) != TModalResult::mrOk)
      throw Error(11007, {}, false);
  }
}

std::string TZipArchive::JoinVolumes() {
  std::string outPath;
  std::FILE* out = nullptr;
  auto fail = [&] {
    if (out) std::fclose(out);
    out = nullptr;
    if (!outPath.empty()) std::remove(outPath.c_str());
  };
  try {
    const int count = FEndVolume + 1;
    const std::string last = platform::ResolvePath(FZipFilename);
    FVolumeSizes.clear();
    FVolumesSize = 0;
    TEndInfo end;
    if (!FindEndRecord(last, end, false))
      throw count == 1 ? Error(11037) : Error(11038, {std::to_string(count)});
    NoteVolumeSize(count - 1, end.FileSize);
    const std::vector<TRawCentral> central = ReadCentral(end, last);

    // The joined archive is never larger than its volumes: they tell the space it needs.
    std::error_code ec;
    std::string dir =
        FTempDir.empty() ? std::filesystem::temp_directory_path(ec).string() : FTempDir;
    dir = platform::IncludeTrailingPathDelimiter(dir);
    if (FFixedDrive)
      for (int volume = 0; volume + 1 < count; ++volume)
        if (!FVolumeSizes.count(volume))
          if (const auto size = platform::FileSize(VolumeName(volume + 1, count)))
            NoteVolumeSize(volume, *size);
    const auto free = platform::FreeDiskSpace(dir);
    if (free && *free < FVolumesSize)
      throw Error(12001, {dir + " (" + std::to_string(FVolumesSize) + " bytes needed, " +
                          std::to_string(*free) + " free)"});

    std::mt19937_64 random(
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100 && !out; ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, "zip%08llx.zip",
                    static_cast<unsigned long long>(random() & 0xFFFFFFFFu));
      out = std::fopen((dir + name).c_str(), "wbx");  // never an existing file
      if (out) outPath = dir + name;
    }
    if (!out) throw Error(11027);

    std::vector<std::uint64_t> offsets(central.size());
    std::uint64_t written = CopyVolumeEntries(central, last, out, offsets);
    auto write = [&](const void* data, std::size_t n, int number) {
      if (written + n > FVolumesSize) throw Error(12003);
      if (n && std::fwrite(data, 1, n, out) != n) throw Error(number);
      written += n;
    };
    const std::uint64_t dirOffset = written;
    for (std::size_t i = 0; i < central.size(); ++i) {
      TRawCentral c = central[i];
      Put16(c.Header + 34, 0);
      Put32(c.Header + 42, static_cast<std::uint32_t>(offsets[i]));
      write(c.Header, sizeof c.Header, 11029);
      write(c.Name.data(), c.Name.size(), 11029);
      write(c.Extra.data(), c.Extra.size(), 11029);
      write(c.Comment.data(), c.Comment.size(), 11029);
    }
    const std::uint64_t dirSize = written - dirOffset;
    if (dirOffset > kMax32 || dirSize > kMax32 || central.size() > kMax16) throw Error(11024);
    unsigned char record[kEndSize] = {};
    Put32(record, kEndSig);
    Put16(record + 8, static_cast<std::uint32_t>(central.size()));
    Put16(record + 10, static_cast<std::uint32_t>(central.size()));
    Put32(record + 12, static_cast<std::uint32_t>(dirSize));
    Put32(record + 16, static_cast<std::uint32_t>(dirOffset));
    Put16(record + 20, static_cast<std::uint32_t>(end.Comment.size()));
    write(record, sizeof record, 11030);
    write(end.Comment.data(), end.Comment.size(), 11030);
    const bool closed = std::fclose(out) == 0;
    out = nullptr;
    if (!closed) throw Error(11030);
    std::filesystem::last_write_time(outPath, std::filesystem::last_write_time(last, ec), ec);
    return outPath;
  } catch (const EZipArchive& e) {
    fail();
    ShowExceptionError(e);
  } catch (...) {
    fail();
    ShowExceptionError(Error(11024));
  }
  return {};
}

// Copies every entry's local header, data and descriptor into out, in the order they lie in the
// volumes: each must begin where the one before it ended, or later, so entries that share their
// data are refused before the shared part is written twice. offsets receives where each landed;
// returns the bytes written.
std::uint64_t TZipArchive::CopyVolumeEntries(const std::vector<TRawCentral>& central,
                                             const std::string& last, std::FILE* out,
                                             std::vector<std::uint64_t>& offsets) {
  std::vector<std::size_t> order(central.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (!central[i].ValuesRead) throw Error(11024);
    order[i] = i;
  }
  auto place = [&](std::size_t i) {
    return std::make_pair(std::uint64_t{central[i].Values.Disk}, central[i].Values.LocalOffset);
  };
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return place(a) < place(b); });

  TVolumeStream in(*this, FEndVolume + 1, last);
  std::vector<bool> reported(static_cast<std::size_t>(FEndVolume) + 1);
  in.OnVolume = [&](int volume, const std::string& path) {
    // Once per volume: a set of thousands of entries is not thousands of messages.
    if (reported[static_cast<std::size_t>(volume)] || !OnMessage) return;
    reported[static_cast<std::size_t>(volume)] = true;
    OnMessage(*this, 0, LoadZipString(10105) + std::filesystem::path(path).filename().string());
  };
  unsigned char marker[4];
  in.Open(0, 0, 11008);
  if (!in.Read(marker, 4) || Get32(marker) != kSpanSig) throw Error(11031);

  std::uint64_t written = 0;
  auto write = [&](const void* data, std::size_t n, int number) {
    // Every byte comes from a volume once: more than they hold is a set that lies.
    if (written + n > FVolumesSize) throw Error(12003);
    if (n && std::fwrite(data, 1, n, out) != n) throw Error(number);
    written += n;
  };
  std::pair<std::uint64_t, std::uint64_t> reached{0, 4};  // where the entry before ended
  std::vector<char> chunk(1 << 20);
  for (const std::size_t i : order) {
    const TRawCentral& c = central[i];
    if (written > kMax32) throw Error(11024);
    if (place(i) < reached) throw Error(12002);
    offsets[i] = written;
    in.Open(static_cast<int>(c.Values.Disk), c.Values.LocalOffset, 11008);
    unsigned char local[30];
    std::string name, extra;
    if (!in.Read(local, sizeof local)) throw Error(11012);
    if (Get32(local) != kLocalSig) throw Error(11014);
    if (!in.Read(name, Get16(local + 26))) throw Error(11016);
    if (!in.Read(extra, Get16(local + 28))) throw Error(11018);
    write(local, sizeof local, 11028);
    write(name.data(), name.size(), 11028);
    write(extra.data(), extra.size(), 11028);
    for (std::uint64_t left = c.Values.CompressedSize; left > 0;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
      if (!in.Read(chunk.data(), n)) throw Error(11021);
      write(chunk.data(), n, 11028);
      left -= n;
    }
    if (c.Flags() & kFlagDescriptor) {
      // CRC and both sizes, the sizes 8 bytes wide for a zip64 entry, perhaps a signature.
      unsigned char descriptor[24];
      if (!in.Read(descriptor, 4)) throw Error(11020);
      const std::size_t size = (c.Values.Zip64 ? 20 : 12) + (Get32(descriptor) == kSpanSig ? 4 : 0);
      if (!in.Read(descriptor + 4, size - 4)) throw Error(11020);
      write(descriptor, size, 11020);
    }
    const auto [volume, offset] = in.Position();
    reached = {static_cast<std::uint64_t>(volume), offset};
  }
  return written;
}

// ---------------------------------------------------------------------------------------------
// The library

void TZipArchive::SetLibraryFallbackSearch(bool enabled) {
  gFallbackSearch = enabled;
}

bool TZipArchive::UnzipLibraryLoaded() {
  return Library().Handle != nullptr;
}

void TZipArchive::LoadUnzipLibrary() {
  try {
    TUnzipLibrary& library = Library();
    if (library.Handle) return;
    std::vector<std::string> candidates;
    if (!FDLLDirectory.empty())
      candidates.push_back(platform::JoinPath(FDLLDirectory, kLibraryName));
    if (gFallbackSearch) candidates.push_back(platform::ProgramDir() + kLibraryName);
    for (const std::string& candidate : candidates) {
      // Asked first: a missing library is looked for under other letter cases once, not twice.
      if (!platform::FileExists(candidate)) continue;
      const std::string path = platform::ResolvePath(candidate);
      library.Handle = platform::OpenLibrary(std::filesystem::absolute(path).string());
      if (library.Handle) break;
    }
    if (!library.Handle && gFallbackSearch) library.Handle = platform::OpenLibrary(kLibraryName);
    if (!library.Handle) {
      ReportMessage(10704);
      return;
    }
    if (FTrace) ReportMessage(10701);
    library.Exec = reinterpret_cast<TUnzipLibExecFunc>(
        platform::LibrarySymbol(library.Handle, "UnzipLibExec"));
    library.Version = reinterpret_cast<TGetUnzipLibVersionFunc>(
        platform::LibrarySymbol(library.Handle, "GetUnzipLibVersion"));
    if (!library.Exec) ReportMessage(10702);
    if (!library.Version) ReportMessage(10703);
  } catch (...) {
    // A failed load leaves the library unloaded; the messages above said why.
  }
}

void TZipArchive::UnloadUnzipLibrary() {
  TUnzipLibrary& library = Library();
  platform::CloseLibrary(library.Handle);
  library = TUnzipLibrary{};
}

std::int32_t TZipArchive::Callback(void* record) {
  auto* info = static_cast<TUnzipCallbackInfo*>(record);
  // Only the library works in the extraction folder: the handlers that run from here, the events
  // dispatched below among them, see the working directory that was current before Extract.
  struct TOuterDirScope {
    const std::string& Outer;
    const std::string& Inner;
    TOuterDirScope(const std::string& outer, const std::string& inner)
        : Outer(outer), Inner(inner) {
      if (!Outer.empty() && Outer != Inner) platform::SetCurrentDir(Outer);
    }
    ~TOuterDirScope() {
      if (!Outer.empty() && Outer != Inner) platform::SetCurrentDir(Inner);
    }
  } outerDir(FOuterDir, FExtractDir);
  try {
    const std::string text(info->Message, strnlen(info->Message, UNZIP_MESSAGE_CHARS));
    auto progress = [&](TProgressType type, const std::string& name) {
      if (OnProgress) OnProgress(*this, type, name, info->Number);
    };
    switch (info->ActionCode) {
      case UNZIP_ACTION_NEWFILE:
        progress(NewFile, text);
        break;
      case UNZIP_ACTION_PROGRESS:
        progress(ProgressUpdate, "");
        break;
      case UNZIP_ACTION_ENDBATCH:
        progress(EndOfBatch, "");
        break;
      case UNZIP_ACTION_FILECOUNT:
        progress(TotalFiles2Process, "");
        break;
      case UNZIP_ACTION_TOTALSIZE:
        FTotalSize = info->Number;
        progress(TotalSize2Process, "");
        break;
      case UNZIP_ACTION_MESSAGE: {
        if (info->ErrorCode == UNZIP_ERR_WRITE_STOPS) FStoppedByWriteError = true;
        std::string message = text;
        while (!message.empty() && static_cast<unsigned char>(message.back()) <= ' ')
          message.pop_back();
        std::replace(message.begin(), message.end(), '/', '\\');
        FMessage = message;
        if (info->ErrorCode != 0) FErrCode = info->ErrorCode;
        if (OnMessage) OnMessage(*this, info->ErrorCode, message);
        break;
      }
      case UNZIP_ACTION_WRITTEN:
        // Only a plain name can name a file of this extraction.
        if (!text.empty() && text.find_first_of("/\\") == std::string::npos && text != "." &&
            text != "..")
          FExtractedFiles.push_back(platform::JoinPath(FExtractDir, text));
        break;
      default:
        break;
    }
    // Progress inside a large entry comes every few megabytes: events are dispatched often
    // enough for a key or a signal to act at once, not at every call.
    const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
    if (info->ActionCode != UNZIP_ACTION_PROGRESS || now - FLastDispatch >= kDispatchMs) {
      FLastDispatch = now;
      FUi.ProcessMessages();
    }
    // A cancel or a quit that arrived while the events were dispatched stops at once.
    return FCancel || FUi.QuitRequested() ? -1 : 0;
  } catch (...) {
    // Nothing may unwind through the library; the extraction stops and reports 10501.
    FCallbackFailed = true;
    return -1;
  }
}

void TZipArchive::Extract() {
  if (FZipFilename.empty() || !platform::FileExists(FZipFilename)) {
    ReportMessage(10102);
    return;
  }
  if (FBusy) return;
  FBusy = true;
  FCancel = false;
  FCallbackFailed = false;
  FStoppedByWriteError = false;
  FLastDispatch = 0;
  FExtractedFiles.clear();
  bool loadedHere = false;
  if (!Library().Handle) {
    LoadUnzipLibrary();
    loadedHere = Library().Handle != nullptr;
    if (!loadedHere) {
      FBusy = false;
      return;
    }
  }
  FOuterDir = platform::GetCurrentDir();
  FExtractDir = FOuterDir;
  auto finish = [&] {
    // The library's working directory ends with the extraction.
    if (platform::GetCurrentDir() != FOuterDir) platform::SetCurrentDir(FOuterDir);
    FFSpecArgs.clear();
    if (loadedHere) UnloadUnzipLibrary();
    FCancel = false;
    FBusy = false;
  };
  const TUnzipLibrary library = Library();
  if (!library.Exec || !library.Version) {
    ReportMessage(library.Exec ? 10703 : 10702);
    finish();
    return;
  }

  std::string archive = FZipFilename;
  std::string joined;
  if (FEndVolume != 0) {
    joined = JoinVolumes();
    if (joined.empty()) {
      finish();
      return;
    }
    archive = joined;
  }
  // The library opens the archive after the working directory has changed.
  std::error_code ec;
  archive = std::filesystem::absolute(platform::ResolvePath(archive), ec).string();
  if (!FExtrBaseDir.empty() && platform::DirectoryExists(FExtrBaseDir))
    platform::SetCurrentDir(FExtrBaseDir);
  FExtractDir = platform::GetCurrentDir();

  try {
    const std::int32_t version = library.Version();
    char password[81] = {};
    std::strncpy(password, FPassword.c_str(), 80);
    const std::vector<std::string> specs = FFSpecArgs;
    auto fill = [&](auto& p) {
      p.Handle = FUnattended ? 0 : WindowHandle;
      p.Caller = this;
      p.Version = UNZIP_VERSION;
      p.Callback = &ZipCallback;
      p.TraceEnabled = FTrace ? -1 : 0;
      p.Password = password;
      p.Test = FExtrOptions & OptBit(ExtrTest) ? -1 : 0;
      p.Flag40 = -1;
      p.Verbose = FVerbose || FTrace ? -1 : 0;
      p.Update = FExtrOptions & OptBit(ExtrUpdate) ? -1 : 0;
      p.Freshen =
          FExtrOptions & OptBit(ExtrFreshen) && !(FExtrOptions & OptBit(ExtrUpdate)) ? -1 : 0;
      p.DirNames = FExtrOptions & OptBit(ExtrDirNames) ? -1 : 0;
      p.Overwrite = FExtrOptions & OptBit(ExtrOverWrite) ? -1 : 0;
      p.ArchiveName = archive.c_str();
      p.Seven = 7;
    };
    if (version >= 152) {
      auto params = std::make_unique<TUnzipParams>();
      std::memset(params.get(), 0, sizeof(TUnzipParams));
      std::vector<TUnzipFileSpec> specArray(specs.size());  // value-initialised: all zero
      for (std::size_t i = 0; i < specs.size(); ++i) specArray[i].FileSpec = specs[i].c_str();
      fill(*params);
      params->FileSpecCount = static_cast<std::int32_t>(specs.size());
      params->FileSpecs = specs.empty() ? nullptr : specArray.data();
      FSuccessCnt = library.Exec(params.get());
    } else {
      auto params = std::make_unique<TUnzipParamsOld>();
      std::memset(params.get(), 0, sizeof(TUnzipParamsOld));
      fill(*params);
      const std::size_t n = std::min<std::size_t>(specs.size(), UNZIP_OLD_SPEC_SLOTS);
      for (std::size_t i = 0; i < n; ++i) params->FileSpecs[i] = specs[i].c_str();
      params->FileSpecCount = static_cast<std::int32_t>(n);
      FSuccessCnt = library.Exec(reinterpret_cast<TUnzipParams*>(params.get()));
    }
    if (!joined.empty()) std::filesystem::remove(joined, ec);
    joined.clear();
    if (FCallbackFailed) ReportMessage(10501);
  } catch (...) {
    if (!joined.empty()) std::filesystem::remove(joined, ec);
    ReportMessage(10501);
  }
  finish();
}
