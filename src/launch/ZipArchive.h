#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/UserInteraction.h"

// The zip component: lists an archive by reading its central directory itself and extracts it
// through the unzip library UNZIPLIB.DLL, loaded at run time once for the whole program.

enum TAddOptsEnum {
  AddDirNames,
  AddRecurseDirs,
  AddMove,
  AddFreshen,
  AddUpdate,
  AddZipTime,
  AddForceDOS,
  AddHiddenFiles,
  AddEncrypt,
  AddSeparateDirs
};
enum TExtrOptsEnum { ExtrDirNames, ExtrOverWrite, ExtrFreshen, ExtrUpdate, ExtrTest };
enum TSFXOptsEnum {
  SFXAskCmdLine,
  SFXAskFiles,
  SFXAutoRun,
  SFXHideOverWriteBox,
  SFXCheckSize,
  SFXNoSuccessMsg
};
enum TOvrOpts { OvrConfirm, OvrAlways, OvrNever };
enum TCodePageOpts { cpAuto, cpNone, cpOEM };
enum TDeleteOpts { htdFinal, htdAllowUndo };
enum TProgressType { NewFile, ProgressUpdate, EndOfBatch, TotalFiles2Process, TotalSize2Process };

/// Sets of the enumerations above: bit (1 << value) for each member.
using TAddOpts = unsigned;
using TExtrOpts = unsigned;
using TSFXOpts = unsigned;
constexpr unsigned OptBit(int value) {
  return 1u << value;
}

/// Raised inside the component and caught there; never leaves it.
class EZipArchive : public std::runtime_error {
 public:
  EZipArchive(int number, bool display, const std::string& text)
      : std::runtime_error(text), FNumber(number), FDisplay(display) {}
  int Number() const { return FNumber; }
  bool Display() const { return FDisplay; }

 private:
  int FNumber;
  bool FDisplay;
};

/// One entry of the central directory: its 42 header bytes after the signature, as stored, except
/// that sizes, local header offset and disk come from the zip64 extra field where the header
/// defers to it (a value beyond its field given as the field's largest value). The texts lie in
/// one block that the component holds until it lists again, as it holds the entries.
struct TZipEntry {
  std::array<std::uint8_t, 42> Header{};
  std::string_view FileName;     ///< as its file is written, with "\" between folders
  std::string_view FileComment;  ///< converted

  std::uint16_t VersionMadeBy() const { return Get16(0); }
  std::uint16_t VersionNeeded() const { return Get16(2); }
  std::uint16_t Flag() const { return Get16(4); }
  std::uint16_t CompressionMethod() const { return Get16(6); }
  std::uint16_t DateTimeTime() const { return Get16(8); }
  std::uint16_t DateTimeDate() const { return Get16(10); }
  std::uint32_t CRC32() const { return Get32(12); }
  std::uint32_t CompressedSize() const { return Get32(16); }
  std::uint32_t UncompressedSize() const { return Get32(20); }
  std::uint16_t FileNameLength() const { return Get16(24); }
  std::uint16_t ExtraFieldLength() const { return Get16(26); }
  std::uint16_t FileCommentLen() const { return Get16(28); }
  std::uint16_t StartOnDisk() const { return Get16(30); }
  std::uint16_t IntFileAttrib() const { return Get16(32); }
  std::uint32_t ExtFileAttrib() const { return Get32(34); }
  std::uint32_t RelOffLocalHdr() const { return Get32(38); }

 private:
  std::uint16_t Get16(int at) const {
    return static_cast<std::uint16_t>(Header[at] | Header[at + 1] << 8);
  }
  std::uint32_t Get32(int at) const {
    return static_cast<std::uint32_t>(Get16(at)) | static_cast<std::uint32_t>(Get16(at + 2)) << 16;
  }
};

class TZipArchive {
 public:
  using TMessageEvent =
      std::function<void(TZipArchive& sender, int errCode, const std::string& message)>;
  using TProgressEvent = std::function<void(TZipArchive& sender, TProgressType type,
                                            const std::string& fileName, std::int64_t fileSize)>;
  using TNotifyEvent = std::function<void(TZipArchive& sender)>;

  explicit TZipArchive(TUserInteraction& ui);
  ~TZipArchive();
  TZipArchive(const TZipArchive&) = delete;
  TZipArchive& operator=(const TZipArchive&) = delete;

  // Published properties, in their order.
  bool Verbose() const { return FVerbose; }
  void SetVerbose(bool value) { FVerbose = value; }
  bool Trace() const { return FTrace; }
  void SetTrace(bool value) { FTrace = value; }
  int AddCompLevel() const { return FAddCompLevel; }
  void SetAddCompLevel(int value) { FAddCompLevel = value; }
  TAddOpts AddOptions() const { return FAddOptions; }
  void SetAddOptions(TAddOpts value) { FAddOptions = value; }
  const std::string& ExtrBaseDir() const { return FExtrBaseDir; }
  void SetExtrBaseDir(const std::string& value) { FExtrBaseDir = value; }
  TExtrOpts ExtrOptions() const { return FExtrOptions; }
  void SetExtrOptions(TExtrOpts value) { FExtrOptions = value; }
  TSFXOpts SFXOptions() const { return FSFXOptions; }
  void SetSFXOptions(TSFXOpts value) { FSFXOptions = value; }
  std::vector<std::string>& FSpecArgs() { return FFSpecArgs; }
  bool Unattended() const { return FUnattended; }
  void SetUnattended(bool value) { FUnattended = value; }
  const std::string& ZipFilename() const { return FZipFilename; }
  void SetZipFilename(const std::string& value);  ///< lists the archive
  const std::string& Password() const { return FPassword; }
  void SetPassword(const std::string& value) { FPassword = value.substr(0, 255); }
  const std::string& SFXPath() const { return FSFXPath; }
  void SetSFXPath(const std::string& value) { FSFXPath = value; }
  const std::string& DLLDirectory() const { return FDLLDirectory; }
  void SetDLLDirectory(const std::string& value);  ///< drops one trailing separator
  TOvrOpts SFXOverWriteMode() const { return FSFXOverWriteMode; }
  void SetSFXOverWriteMode(TOvrOpts value) { FSFXOverWriteMode = value; }
  const std::string& SFXCaption() const { return FSFXCaption; }
  void SetSFXCaption(const std::string& value) { FSFXCaption = value; }
  const std::string& SFXDefaultDir() const { return FSFXDefaultDir; }
  void SetSFXDefaultDir(const std::string& value) { FSFXDefaultDir = value; }
  const std::string& SFXCommandLine() const { return FSFXCommandLine; }
  void SetSFXCommandLine(const std::string& value) { FSFXCommandLine = value; }
  const std::string& TempDir() const { return FTempDir; }
  void SetTempDir(const std::string& value) { FTempDir = value; }
  int KeepFreeOnDisk1() const { return FKeepFreeOnDisk1; }
  void SetKeepFreeOnDisk1(int value) { FKeepFreeOnDisk1 = value; }
  int MaxVolumeSize() const { return FMaxVolumeSize; }
  void SetMaxVolumeSize(int value) { FMaxVolumeSize = value; }
  int MinFreeVolumeSize() const { return FMinFreeVolumeSize; }
  void SetMinFreeVolumeSize(int value) { FMinFreeVolumeSize = value; }
  bool ConfirmErase() const { return FConfirmErase; }
  void SetConfirmErase(bool value) { FConfirmErase = value; }
  TCodePageOpts CodePage() const { return FCodePage; }
  void SetCodePage(TCodePageOpts value) { FCodePage = value; }
  TDeleteOpts HowToDelete() const { return FHowToDelete; }
  void SetHowToDelete(TDeleteOpts value) { FHowToDelete = value; }
  TNotifyEvent OnDirUpdate;
  TProgressEvent OnProgress;
  TMessageEvent OnMessage;

  /// The window handle handed to the library (0: none).
  std::intptr_t WindowHandle = 0;

  // Archive state.
  int Count() const;
  const std::vector<TZipEntry>& Entries() const { return FEntries; }
  const std::string& ZipComment() const { return FZipComment; }
  int ErrCode() const { return FErrCode; }                 ///< number of the last message
  const std::string& Message() const { return FMessage; }  ///< text of the last message
  int SuccessCnt() const { return FSuccessCnt; }  ///< the library's count of the last Extract
  bool Busy() const { return FBusy; }
  /// Stops a running Extract at the library's next callback; a quit request does the same.
  void SetCancel(bool value) { FCancel = value; }
  /// Full paths of the files the last Extract wrote, in the order written.
  const std::vector<std::string>& ExtractedFiles() const { return FExtractedFiles; }
  /// True when the last Extract stopped at a write error that every further file would meet (no
  /// space, a read-only or forbidden folder): its message was shown once and the rest of the
  /// archive was not tried. The files written before it are in ExtractedFiles.
  bool StoppedByWriteError() const { return FStoppedByWriteError; }

  void List();
  void Extract();

  /// Loads UNZIPLIB.DLL: from DLLDirectory, then the program's folder, then the platform's
  /// library search. One handle serves every component of the program.
  void LoadUnzipLibrary();
  static void UnloadUnzipLibrary();
  static bool UnzipLibraryLoaded();
  /// Tests switch off the program-folder and platform search to stage a missing library.
  static void SetLibraryFallbackSearch(bool enabled);

  /// Text of a message number plus extra, stored as the last message, shown in a plain box
  /// unless Unattended, and passed to OnMessage with error code 0.
  void ReportMessage(int number, const std::string& extra = "");

 private:
  struct TEndInfo;
  struct TRawCentral;
  class TVolumeStream;
  class TCentralReader;
  friend class TVolumeStream;
  friend std::int32_t ZipCallbackEntry(void* info);

  void ShowExceptionError(const EZipArchive& error);
  EZipArchive Error(int number, const std::vector<std::string>& args = {}, bool display = true);
  std::string VolumeName(int volume, int count);
  std::string RequestVolume(int volume, int count);
  bool FindEndRecord(const std::string& path, TEndInfo& info, bool listing);
  std::vector<TRawCentral> ReadCentral(const TEndInfo& end, const std::string& lastVolume);
  void ListCentral(const TEndInfo& end, const std::string& path);
  void NoteVolumeSize(int volume, std::uint64_t size);
  std::string JoinVolumes();
  std::uint64_t CopyVolumeEntries(const std::vector<TRawCentral>& central, const std::string& last,
                                  std::FILE* out, std::vector<std::uint64_t>& offsets);
  std::int32_t Callback(void* info);

  TUserInteraction& FUi;
  bool FVerbose = false;
  bool FTrace = false;
  int FAddCompLevel = 9;
  TAddOpts FAddOptions = 0;
  std::string FExtrBaseDir;
  TExtrOpts FExtrOptions = 0;
  TSFXOpts FSFXOptions = OptBit(SFXCheckSize);
  std::vector<std::string> FFSpecArgs;
  bool FUnattended = false;
  std::string FZipFilename;
  std::string FPassword;
  std::string FSFXPath;
  std::string FDLLDirectory;
  TOvrOpts FSFXOverWriteMode = OvrConfirm;
  std::string FSFXCaption = "Self-extracting Archive";
  std::string FSFXDefaultDir;
  std::string FSFXCommandLine;
  std::string FTempDir;
  int FKeepFreeOnDisk1 = 0;
  int FMaxVolumeSize = 0;
  int FMinFreeVolumeSize = 65536;
  bool FConfirmErase = true;
  TCodePageOpts FCodePage = cpAuto;
  TDeleteOpts FHowToDelete = htdAllowUndo;

  std::vector<TZipEntry> FEntries;
  std::string FNames;  // the entries' texts, one after the other
  std::string FZipComment;
  int FErrCode = 0;
  std::string FMessage;
  int FEndVolume = 0;     // this volume's number from the end record
  int FLabelVolume = -1;  // "PKBACK# nnn" of the archive's disk
  bool FFixedDrive = true;
  std::string FDriveRoot;
  int FSplitNames = -1;  // volumes named name.z01, name.z02, ... (1), name001.zip ... (0), unknown
  std::map<int, std::uint64_t> FVolumeSizes;  // of the volumes read since the join began
  std::uint64_t FVolumesSize = 0;             // their sum
  bool FBusy = false;
  bool FCancel = false;
  bool FCallbackFailed = false;
  bool FStoppedByWriteError = false;
  std::int64_t FLastDispatch = 0;  // steady-clock milliseconds of the callback's last dispatch
  int FSuccessCnt = 0;
  std::int64_t FTotalSize = 0;
  std::string FExtractDir;
  std::string FOuterDir;  // the working directory before Extract, restored for everything else
  std::vector<std::string> FExtractedFiles;
};
