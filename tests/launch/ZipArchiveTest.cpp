#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "FakeUserInteraction.h"
#include "TempDir.h"
#include "ZipWriter.h"
#include "launch/ZipArchive.h"
#include "launch/ZipMsg.h"
#include "platform/Files.h"
#include "unziplib/UnzipLibApi.h"

namespace fs = std::filesystem;

namespace {

struct TRecorded {
  int Code;
  std::string Text;
};

class ZipArchiveTest : public ::testing::Test {
 protected:
  ZipArchiveTest() : FCwd(FDir.Path()) {
    FZip.SetDLLDirectory(UNZIPLIB_DIR);
    FZip.OnMessage = [this](TZipArchive&, int code, const std::string& text) {
      Messages.push_back({code, text});
    };
  }
  ~ZipArchiveTest() override {
    TZipArchive::UnloadUnzipLibrary();
    TZipArchive::SetLibraryFallbackSearch(true);
  }

  std::string Write(const std::string& name, const std::string& bytes) {
    return FDir.Write(name, bytes).string();
  }
  std::string Write(const std::string& name, const TZipWriter& writer) {
    return Write(name, writer.Build());
  }
  bool HasMessage(int code, const std::string& part) const {
    for (const TRecorded& m : Messages)
      if (m.Code == code && m.Text.find(part) != std::string::npos) return true;
    return false;
  }
  static std::vector<std::string> Names(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Fake(const char* variant) { return std::string(ZIP_FAKE_ROOT) + "/" + variant; }

  TempDir FDir;
  ScopedCurrentDir FCwd;
  FakeUserInteraction Ui;
  TZipArchive FZip{Ui};
  std::vector<TRecorded> Messages;
};

// --- Listing ---------------------------------------------------------------------------------

TEST_F(ZipArchiveTest, ListsStoredAndDeflatedEntriesWithTheirHeaders) {
  TZipWriter w;
  w.Add("stored.bin", "plain bytes", TZipWriterEntry::zmStored);
  TZipWriterEntry& d = w.Add("deflated.bin", std::string(5000, 'x'));
  d.Comment = "a file comment";
  w.Add("roms/a.bin", "in a folder");
  FZip.SetZipFilename(Write("game.zip", w));

  ASSERT_EQ(FZip.Count(), 3);
  const std::vector<TZipEntry>& e = FZip.Entries();
  EXPECT_EQ(e[0].FileName, "stored.bin");
  EXPECT_EQ(e[0].CompressionMethod(), 0);
  EXPECT_EQ(e[0].UncompressedSize(), 11u);
  EXPECT_EQ(e[1].CompressionMethod(), 8);
  EXPECT_EQ(e[1].UncompressedSize(), 5000u);
  EXPECT_LT(e[1].CompressedSize(), 5000u);
  EXPECT_EQ(e[1].FileComment, "a file comment");
  EXPECT_EQ(e[1].FileCommentLen(), 14);
  EXPECT_EQ(e[2].FileName, "roms\\a.bin");
  EXPECT_EQ(e[2].RelOffLocalHdr(), w.Build().find("roms/a.bin") - 30);
  EXPECT_TRUE(Messages.empty());
}

TEST_F(ZipArchiveTest, MissingFileListsNothingAndSaysNothing) {
  FZip.SetZipFilename((FDir.Path() / "absent.zip").string());
  EXPECT_EQ(FZip.Count(), 0);
  EXPECT_TRUE(Messages.empty());
  EXPECT_TRUE(Ui.BusyCalls.empty());  // nothing to read, no hourglass
}

TEST_F(ZipArchiveTest, HourglassIsUpWhileReadingAndDownAfterAFailure) {
  TZipWriter w;
  w.Add("a.bin", "aaa");
  FZip.SetZipFilename(Write("good.zip", w));
  EXPECT_EQ(FZip.Count(), 1);
  EXPECT_EQ(Ui.BusyCalls, (std::vector<bool>{true, false}));

  // The failure's box is shown while the listing still holds the hourglass; it comes down after.
  Ui.BusyCalls.clear();
  Ui.ExpectPlain("This archive is not a valid Zip archive");
  FZip.SetZipFilename(Write("junk.zip", std::string(300, 'j')));
  EXPECT_EQ(Ui.BusyCalls, (std::vector<bool>{true, false}));
  ASSERT_EQ(Ui.Prompts.size(), 1u);
  EXPECT_TRUE(Ui.Prompts[0].Busy);
  EXPECT_EQ(Ui.BusyDepth, 0);
}

TEST_F(ZipArchiveTest, CommentIsFoundByTheBackwardScan) {
  TZipWriter w;
  w.Add("a.bin", "aaa");
  w.Comment = std::string(30, 'c');
  FZip.SetZipFilename(Write("c.zip", w));
  EXPECT_EQ(FZip.Count(), 1);
  EXPECT_EQ(FZip.ZipComment(), w.Comment);
  EXPECT_TRUE(Messages.empty());
}

// Builds an archive whose length plus the trailer is a multiple of 512.
TZipWriter PaddedArchive(char fill) {
  TZipWriter w;
  w.Add("a.bin", "aaa");
  const std::size_t base = w.Build().size() + 100;
  w.Comment = std::string((512 - base % 512) % 512, 'k');
  w.Trailer = std::string(100, fill);
  return w;
}

TEST_F(ZipArchiveTest, TrailingBytesWarnUnlessTheyAreSectorPadding) {
  const TZipWriter zeros = PaddedArchive('\0');
  ASSERT_EQ(zeros.Build().size() % 512, 0u);
  FZip.SetZipFilename(Write("zeros.zip", zeros));
  EXPECT_EQ(FZip.Count(), 1);
  EXPECT_TRUE(Messages.empty());

  Ui.ExpectPlain("Warning - Garbage at the end of the zipfile!");
  FZip.SetZipFilename(Write("garbage.zip", PaddedArchive('\x55')));
  EXPECT_EQ(FZip.Count(), 1);  // a warning, not a failure
  EXPECT_EQ(FZip.ErrCode(), 10204);

  TZipWriter odd;  // zeros, but the length is no multiple of 512
  odd.Add("a.bin", "aaa");
  odd.Trailer = std::string(100, '\0');
  Ui.ExpectPlain("Warning - Garbage at the end of the zipfile!");
  FZip.SetZipFilename(Write("odd.zip", odd));
  EXPECT_EQ(FZip.Count(), 1);
}

TEST_F(ZipArchiveTest, DataInFrontWarnsOfTheStructureAndStillLists) {
  TZipWriter w;
  w.Prefix = std::string(777, 'S');
  w.Add("a.bin", "aaa");
  w.Add("b.bin", "bbb");
  Ui.ExpectPlain("Warning - Error in zip structure!");
  FZip.SetZipFilename(Write("sfx.zip", w));
  ASSERT_EQ(FZip.Count(), 2);
  EXPECT_EQ(FZip.Entries()[1].FileName, "b.bin");
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Code, 0);
}

TEST_F(ZipArchiveTest, OemNamesAreConvertedOnlyForTheirHostSystems) {
  TZipWriter w;
  w.Add("dos\x81.bin", "d").VersionMadeBy = 0x0014;   // MS-DOS
  w.Add("unix\x81.bin", "u").VersionMadeBy = 0x0314;  // Unix: as its file is named
  w.Add("ntfs\x81.bin", "n").VersionMadeBy = 0x0B32;  // NTFS made by version 5.0
  w.Add("hpfs\x81.bin", "h").VersionMadeBy = 0x0614;  // OS/2 HPFS
  w.Add("ntfs2\x81.bin", "n").VersionMadeBy = 0x0B14;
  const std::string path = Write("oem.zip", w);
  FZip.SetZipFilename(path);
  ASSERT_EQ(FZip.Count(), 5);
  const std::string u = platform::PathDelim == '/' ? "\xC3\xBC" : "\xFC";  // the OEM u-umlaut
  // On Linux a name that is no UTF-8 is read as Windows reads it: 0x81 as the control U+0081.
  const std::string raw = platform::PathDelim == '/' ? "\xC2\x81" : "\x81";
  EXPECT_EQ(FZip.Entries()[0].FileName, "dos" + u + ".bin");
  EXPECT_EQ(FZip.Entries()[1].FileName, "unix" + raw + ".bin");
  EXPECT_EQ(FZip.Entries()[2].FileName, "ntfs" + u + ".bin");
  EXPECT_EQ(FZip.Entries()[3].FileName, "hpfs" + u + ".bin");
  EXPECT_EQ(FZip.Entries()[4].FileName, "ntfs2" + raw + ".bin");

  FZip.SetCodePage(cpNone);
  FZip.SetZipFilename(path);
  EXPECT_EQ(FZip.Entries()[0].FileName, "dos" + raw + ".bin");
  FZip.SetCodePage(cpOEM);
  FZip.SetZipFilename(path);
  EXPECT_EQ(FZip.Entries()[1].FileName, "unix" + u + ".bin");
}

TEST_F(ZipArchiveTest, DamagedArchivesReportTheirFaultAndListNothing) {
  TZipWriter w;
  w.Add("a.bin", "aaa");
  w.Add("b.bin", "bbb");
  TZipLayout layout;
  const std::string good = w.Build(&layout);

  struct TCase {
    const char* Name;
    std::string Bytes;
    const char* Message;
    bool StructureWarning = false;
  };
  std::string badSignature = good;
  badSignature[layout.CentralHeaders[1]] = 'X';
  std::string shortName = good;  // second name runs into the end record
  shortName[layout.CentralHeaders[1] + 28] = '\x40';
  TZipWriter tooMany = w;
  tooMany.EntryCountOverride = 3;
  std::string truncatedDir =
      good.substr(0, layout.CentralHeaders[1] + 20) + good.substr(layout.EndRecord);
  std::string hugeDir = good;  // a directory larger than everything in front of the end record
  hugeDir[layout.EndRecord + 15] = '\x7F';
  const TCase cases[] = {
      {"sig.zip", badSignature, "A central header signature is wrong"},
      {"name.zip", shortName, "Error while reading a central file name"},
      {"count.zip", tooMany.Build(), "Error while reading a central header"},
      {"cut.zip", good.substr(0, good.size() - 10), "This archive is not a valid Zip archive"},
      {"dir.zip", truncatedDir, "A central header signature is wrong", true},
      {"huge.zip", hugeDir, "Seek error reading Zip archive!"},
      {"junk.zip", std::string(300, 'j'), "This archive is not a valid Zip archive"},
      {"tiny.zip", "PK", "This archive is not a valid Zip archive"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    if (c.StructureWarning) Ui.ExpectPlain("Warning - Error in zip structure!");
    Ui.ExpectPlain(c.Message);
    FZip.SetZipFilename(Write(c.Name, c.Bytes));
    EXPECT_EQ(FZip.Count(), 0);
    EXPECT_EQ(FZip.ZipFilename(), "");
    EXPECT_EQ(FZip.Message(), c.Message);
  }
}

TEST_F(ZipArchiveTest, ShortCentralHeaderAndNamesHaveTheirOwnMessages) {
  TZipWriter w;
  w.Add("a.bin", "aaa");
  TZipLayout layout;
  std::string bytes = w.Build(&layout);
  std::string headerCut = bytes;  // two entries, one central header, then the end of the file
  headerCut[layout.EndRecord + 10] = 2;
  headerCut[layout.EndRecord + 8] = 2;
  Ui.ExpectPlain("Error while reading a central header");
  FZip.SetZipFilename(Write("h.zip", headerCut));
  EXPECT_EQ(FZip.Count(), 0);
  std::string nameCut = bytes;  // the name runs past the end of the file
  nameCut[layout.CentralHeaders[0] + 28] = '\xFF';
  nameCut[layout.CentralHeaders[0] + 29] = '\xFF';
  Ui.ExpectPlain("Error while reading a central file name");
  FZip.SetZipFilename(Write("n.zip", nameCut));
  EXPECT_EQ(FZip.Count(), 0);
  std::string commentCut = bytes;
  commentCut[layout.CentralHeaders[0] + 32] = '\xFF';
  Ui.ExpectPlain("Error while reading a file comment");
  FZip.SetZipFilename(Write("m.zip", commentCut));

  // A spanned first volume without an end record.
  TZipWriter set;
  set.Add("a.bin", std::string(3000, 'a')).Level = 0;
  const std::vector<std::string> volumes = set.BuildVolumes(1024);
  ASSERT_GE(volumes.size(), 3u);
  Ui.ExpectPlain(
      "This is the first file in a backup set,\nplease choose the last file of this set");
  FZip.SetZipFilename(Write("set001.zip", volumes[0]));
  EXPECT_EQ(FZip.Count(), 0);
}

TEST_F(ZipArchiveTest, MessagesOfTheTableAndTheMissingStringFallback) {
  EXPECT_EQ(LoadZipString(10704), "UNZIPLIB.DLL not found!");
  EXPECT_EQ(LoadZipString(10202), "Unknown error in List() function\n");
  EXPECT_EQ(LoadZipString(4711),
            "ZipMsg.res is probably not bound to executable\nMissing String ID is: 4711");
  EXPECT_EQ(FormatZipString(11034, {2, 3}), "Please insert disk volume 2 of 3");
  EXPECT_EQ(FormatZipString(11038, {4}),
            "This is the 4th disk in a backup set,\nplease insert the last disk of this set");
  EXPECT_EQ(FormatZipString(11004, {std::string("Q:\\")}), "Drive Q:\\ is NOT defined");

  FZip.SetUnattended(true);  // no box, the message still reaches OnMessage
  FZip.ReportMessage(10701, " extra");
  EXPECT_EQ(FZip.ErrCode(), 10701);
  EXPECT_EQ(FZip.Message(), "UNZIPLIB Loaded! extra");
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Code, 0);
}

TEST_F(ZipArchiveTest, PropertiesHaveTheirDefaults) {
  EXPECT_FALSE(FZip.Verbose());
  EXPECT_FALSE(FZip.Trace());
  EXPECT_EQ(FZip.AddCompLevel(), 9);
  EXPECT_EQ(FZip.AddOptions(), 0u);
  EXPECT_EQ(FZip.ExtrOptions(), 0u);
  EXPECT_EQ(FZip.SFXOptions(), OptBit(SFXCheckSize));
  EXPECT_TRUE(FZip.FSpecArgs().empty());
  EXPECT_FALSE(FZip.Unattended());
  EXPECT_EQ(FZip.SFXOverWriteMode(), OvrConfirm);
  EXPECT_EQ(FZip.SFXCaption(), "Self-extracting Archive");
  EXPECT_EQ(FZip.MinFreeVolumeSize(), 65536);
  EXPECT_TRUE(FZip.ConfirmErase());
  EXPECT_EQ(FZip.CodePage(), cpAuto);
  EXPECT_EQ(FZip.HowToDelete(), htdAllowUndo);
  EXPECT_EQ(FZip.Count(), 0);
  FZip.SetDLLDirectory("some/dir/");
  EXPECT_EQ(FZip.DLLDirectory(), "some/dir");
}

// --- Extraction ------------------------------------------------------------------------------

TEST_F(ZipArchiveTest, ExtractsBareNamesIntoTheBaseDirAndTellsWhatItWrote) {
  TZipWriter w;
  w.Add("roms/a.bin", std::string(70000, 'a'));
  w.Add("b.bin", "stored", TZipWriterEntry::zmStored);
  w.Add("roms/", "");  // a folder entry
  const std::string zip = Write("game.zip", w);
  const fs::path target = FDir.MakeDir("game");
  FZip.SetZipFilename(zip);
  FZip.SetExtrBaseDir(target.string());
  // Only the library works in the base folder: handlers run from its callback do not notice.
  const fs::path outer = fs::current_path();
  std::vector<fs::path> seenByHandlers;
  Ui.OnProcessMessages = [&] { seenByHandlers.push_back(fs::current_path()); };
  FZip.Extract();
  Ui.OnProcessMessages = nullptr;

  EXPECT_EQ(ReadFileBytes(target / "a.bin"), std::string(70000, 'a'));
  EXPECT_EQ(ReadFileBytes(target / "b.bin"), "stored");
  EXPECT_FALSE(fs::exists(target / "roms"));
  EXPECT_EQ(fs::current_path(), outer);
  ASSERT_FALSE(seenByHandlers.empty());
  for (const fs::path& seen : seenByHandlers) EXPECT_EQ(seen, outer);
  const std::vector<std::string> expected = {(target / "a.bin").string(),
                                             (target / "b.bin").string()};
  EXPECT_EQ(FZip.ExtractedFiles(), expected);
  EXPECT_EQ(FZip.SuccessCnt(), 2);
  EXPECT_FALSE(FZip.Busy());
  EXPECT_FALSE(TZipArchive::UnzipLibraryLoaded());  // loaded by Extract, freed by it
  EXPECT_GT(Ui.ProcessMessagesCalls, 0);
}

TEST_F(ZipArchiveTest, MissingBaseDirExtractsIntoTheWorkingDirectory) {
  TZipWriter w;
  w.Add("x.bin", "x");
  FZip.SetZipFilename(Write("x.zip", w));
  FZip.SetExtrBaseDir((FDir.Path() / "nowhere").string());
  FZip.Extract();
  EXPECT_EQ(ReadFileBytes(FDir.Path() / "x.bin"), "x");
}

TEST_F(ZipArchiveTest, ExtractWithoutAnArchiveSaysSo) {
  Ui.ExpectPlain("Error - no zip file specified!");
  FZip.Extract();
  EXPECT_EQ(FZip.ErrCode(), 10102);
}

TEST_F(ZipArchiveTest, LibraryProblemsArriveWithTheirCodesAndLeaveNoFile) {
  TZipWriter w;
  w.Add("good1.bin", "first");
  w.Add("crc.bin", "checked").Crc = 0x12345678;
  w.Add("../evil", "escape");
  w.Add("/etc/absolute", "root");
  w.Add("good2.bin", "second");
  const fs::path target = FDir.MakeDir("t");
  FZip.SetZipFilename(Write("bad.zip", w));
  FZip.SetExtrBaseDir(target.string());
  FZip.Extract();

  EXPECT_TRUE(HasMessage(5, "CRC error: crc.bin"));
  EXPECT_TRUE(HasMessage(8, "..\\evil"));
  EXPECT_TRUE(HasMessage(8, "\\etc\\absolute"));
  EXPECT_FALSE(fs::exists(target / "crc.bin"));
  EXPECT_FALSE(fs::exists(target / "evil"));
  EXPECT_FALSE(fs::exists(FDir.Path() / "evil"));
  EXPECT_FALSE(fs::exists(target / "absolute"));
  EXPECT_EQ(ReadFileBytes(target / "good1.bin"), "first");
  EXPECT_EQ(ReadFileBytes(target / "good2.bin"), "second");
  EXPECT_EQ(FZip.ExtractedFiles().size(), 2u);
  EXPECT_NE(FZip.ErrCode(), 0);
}

TEST_F(ZipArchiveTest, ExistingFilesAreNeverReplaced) {
  TZipWriter w;
  w.Add("keep.bin", "from the archive");
  w.Add("case.bin", "from the archive");
  w.Add("new.bin", "new");
  const fs::path target = FDir.MakeDir("t");
  FDir.Write("t/keep.bin", "mine");
  FDir.Write("t/CASE.BIN", "mine too");
  FZip.SetZipFilename(Write("k.zip", w));
  FZip.SetExtrBaseDir(target.string());
  FZip.Extract();
  EXPECT_EQ(ReadFileBytes(target / "keep.bin"), "mine");
  EXPECT_EQ(ReadFileBytes(target / "CASE.BIN"), "mine too");
  EXPECT_FALSE(fs::exists(target / "case.bin") &&
               !fs::equivalent(target / "case.bin", target / "CASE.BIN"));
  const std::vector<std::string> written = {(target / "new.bin").string()};
  EXPECT_EQ(FZip.ExtractedFiles(), written);
  EXPECT_TRUE(HasMessage(0, "keep.bin"));  // told, but not as a problem
}

TEST_F(ZipArchiveTest, HostileSizesAreRefusedBeforeAnythingIsWritten) {
  TZipWriter lie;
  lie.Add("small.bin", "fine");
  lie.Add("bomb.bin", std::string(100, 'b')).Size = 0xFFFFFFF0u;  // beyond any deflate ratio
  const fs::path target = FDir.MakeDir("t");
  FZip.SetZipFilename(Write("lie.zip", lie));
  FZip.SetExtrBaseDir(target.string());
  FZip.Extract();
  EXPECT_TRUE(HasMessage(10, "bomb.bin"));
  EXPECT_FALSE(fs::exists(target / "bomb.bin"));
  EXPECT_TRUE(fs::exists(target / "small.bin"));

  // Overlapping entries whose honest-looking sizes add up to more than the disk holds.
  const auto free = platform::FreeDiskSpace(target.string());
  ASSERT_TRUE(free);
  TZipWriter bomb;
  TZipWriterEntry& first = bomb.Add("z0.bin", "");
  first.RawData = std::string(4200000, 'r');
  first.Size = 0xFFFF0000u;
  const std::size_t copies = static_cast<std::size_t>(*free / 0xFFFF0000u) + 2;
  for (std::size_t i = 1; i < copies; ++i) {
    TZipWriterEntry e;
    e.Name = "z" + std::to_string(i) + ".bin";
    e.SameDataAs = 0;
    bomb.Add(e);
  }
  Messages.clear();
  FZip.SetZipFilename(Write("bomb.zip", bomb));
  FZip.Extract();
  EXPECT_TRUE(HasMessage(UNZIP_ERR_WRITE_STOPS, "Not enough disk space"));
  EXPECT_TRUE(FZip.StoppedByWriteError());
  EXPECT_FALSE(fs::exists(target / "z0.bin"));
  EXPECT_TRUE(FZip.ExtractedFiles().empty());
}

TEST_F(ZipArchiveTest, MissingLibraryIsReportedAtLoadAndAtEveryExtract) {
  TZipArchive::SetLibraryFallbackSearch(false);
  FZip.SetDLLDirectory(FDir.MakeDir("empty").string());
  Ui.ExpectPlain("UNZIPLIB.DLL not found!");
  FZip.LoadUnzipLibrary();
  EXPECT_FALSE(TZipArchive::UnzipLibraryLoaded());

  TZipWriter w;
  w.Add("a.bin", "a");
  FZip.SetZipFilename(Write("a.zip", w));
  Ui.ExpectPlain("UNZIPLIB.DLL not found!");
  FZip.Extract();
  EXPECT_FALSE(fs::exists(FDir.Path() / "a.bin"));
  EXPECT_FALSE(FZip.Busy());
}

TEST_F(ZipArchiveTest, LibraryWithoutAnEntryPointIsReported) {
  TZipArchive::SetLibraryFallbackSearch(false);
  FZip.SetDLLDirectory(Fake("noexec"));
  Ui.ExpectPlain("UnzipLibExec function not found in UNZIPLIB.DLL!");
  FZip.LoadUnzipLibrary();
  EXPECT_TRUE(TZipArchive::UnzipLibraryLoaded());
  TZipWriter w;
  w.Add("a.bin", "a");
  FZip.SetZipFilename(Write("a.zip", w));
  Ui.ExpectPlain("UnzipLibExec function not found in UNZIPLIB.DLL!");
  FZip.Extract();  // no call through a missing entry point
  TZipArchive::UnloadUnzipLibrary();

  FZip.SetDLLDirectory(Fake("noversion"));
  Ui.ExpectPlain("GetUnzipLibVersion function not found in UNZIPLIB.DLL!");
  FZip.LoadUnzipLibrary();
}

TEST_F(ZipArchiveTest, RecordLayoutFollowsTheLibraryVersion) {
  TZipWriter w;
  w.Add("a.bin", "a");
  const std::string zip = Write("a.zip", w);
  std::string shownPath = fs::absolute(zip).string();  // messages show "\" between folders
  std::replace(shownPath.begin(), shownPath.end(), '/', '\\');
  const std::string expected =
      "seven=7 flag40=-1 trace=0 verbose=0 test=0 dirnames=0 overwrite=0 update=0 freshen=0 "
      "specs=0 password= archive=" +
      shownPath;
  for (const char* variant : {"v151", "v152"}) {
    SCOPED_TRACE(variant);
    TZipArchive::SetLibraryFallbackSearch(false);
    FZip.SetDLLDirectory(Fake(variant));
    Messages.clear();
    FZip.SetZipFilename(zip);
    FZip.Extract();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text.find("version=152 " + expected), 0u) << Messages[0].Text;
    EXPECT_EQ(FZip.SuccessCnt(), 42);
  }
  // Options reach the record as -1; freshen gives way to update.
  FZip.SetExtrOptions(OptBit(ExtrUpdate) | OptBit(ExtrFreshen) | OptBit(ExtrTest));
  FZip.SetTrace(true);
  FZip.SetUnattended(true);
  Messages.clear();
  FZip.Extract();
  ASSERT_EQ(Messages.size(), 2u);  // 10701 first
  EXPECT_NE(Messages[1].Text.find("trace=-1 verbose=-1 test=-1 dirnames=0 overwrite=0 update=-1 "
                                  "freshen=0"),
            std::string::npos)
      << Messages[1].Text;
}

TEST_F(ZipArchiveTest, ThreeVolumeSetIsJoinedAndExtracted) {
  TZipWriter w;
  w.Add("one.bin", std::string(1500, '1'), TZipWriterEntry::zmStored);
  TZipWriterEntry& two = w.Add("two.bin", std::string(900, '2'), TZipWriterEntry::zmStored);
  two.DataDescriptor = true;
  w.Add("three.bin", "three");
  w.Comment = "set";
  const std::vector<std::string> volumes = w.BuildVolumes(1200);
  ASSERT_EQ(volumes.size(), 3u);
  for (std::size_t i = 0; i < volumes.size(); ++i)
    Write("game00" + std::to_string(i + 1) + ".zip", volumes[i]);
  const fs::path temp = FDir.MakeDir("tmp");
  const fs::path target = FDir.MakeDir("game");
  FZip.SetTempDir(temp.string());
  FZip.SetZipFilename((FDir.Path() / "game003.zip").string());
  ASSERT_EQ(FZip.Count(), 3);
  FZip.SetExtrBaseDir(target.string());
  FZip.Extract();

  EXPECT_EQ(ReadFileBytes(target / "one.bin"), std::string(1500, '1'));
  EXPECT_EQ(ReadFileBytes(target / "two.bin"), std::string(900, '2'));
  EXPECT_EQ(ReadFileBytes(target / "three.bin"), "three");
  std::vector<std::string> copying;  // once per volume, not per entry
  for (const TRecorded& m : Messages)
    if (m.Text.starts_with("Copying: ")) copying.push_back(m.Text);
  EXPECT_EQ(copying, (std::vector<std::string>{"Copying: game001.zip", "Copying: game002.zip",
                                               "Copying: game003.zip"}));
  EXPECT_TRUE(fs::is_empty(temp));  // the joined archive is gone again
}

TEST_F(ZipArchiveTest, ASetWhoseEntriesShareTheirDataIsRefusedBeforeItIsCopiedTwice) {
  // Two volumes of 1.2 MB: 3,000 entries that all point at one entry of 1 MiB.
  TZipWriter w;
  w.Add("shared.bin", std::string(1 << 20, 's'), TZipWriterEntry::zmStored);
  for (int i = 1; i < 3000; ++i) {
    TZipWriterEntry e;
    e.Name = "copy" + std::to_string(i) + ".bin";
    e.SameDataAs = 0;
    w.Add(e);
  }
  const std::vector<std::string> volumes = w.BuildVolumes(1200000);
  ASSERT_EQ(volumes.size(), 2u);
  Write("bomb001.zip", volumes[0]);
  Write("bomb002.zip", volumes[1]);
  const fs::path temp = FDir.MakeDir("tmp");
  FZip.SetTempDir(temp.string());
  FZip.SetZipFilename((FDir.Path() / "bomb002.zip").string());
  ASSERT_EQ(FZip.Count(), 3000);

  // The temporary folder watched while the join runs.
  std::atomic<bool> joining = true;
  std::atomic<std::uintmax_t> peak = 0;
  std::thread watch([&] {
    while (joining) {
      std::error_code ec;
      std::uintmax_t size = 0;
      for (const auto& f : fs::directory_iterator(temp, ec)) {
        const std::uintmax_t bytes = f.file_size(ec);
        if (!ec) size += bytes;  // a file removed meanwhile has no size
      }
      peak = std::max<std::uintmax_t>(peak, size);
    }
  });
  Ui.ExpectPlain(LoadZipString(12002));
  FZip.Extract();
  joining = false;
  watch.join();
  EXPECT_EQ(FZip.ErrCode(), 12002);
  EXPECT_LE(peak, volumes[0].size() + volumes[1].size());
  EXPECT_TRUE(fs::is_empty(temp));
  EXPECT_FALSE(fs::exists(FDir.Path() / "shared.bin"));
}

TEST_F(ZipArchiveTest, MissingVolumeEndsTheJoin) {
  TZipWriter w;
  w.Add("one.bin", std::string(3000, '1'), TZipWriterEntry::zmStored);
  const std::vector<std::string> volumes = w.BuildVolumes(1200);
  ASSERT_EQ(volumes.size(), 3u);
  Write("set001.zip", volumes[0]);
  Write("set003.zip", volumes[2]);
  const fs::path temp = FDir.MakeDir("tmp");
  FZip.SetTempDir(temp.string());
  FZip.SetZipFilename((FDir.Path() / "set003.zip").string());
  ASSERT_EQ(FZip.Count(), 1);
  Ui.ExpectPlain("Zip file could not be opened: " + (FDir.Path() / "set002.zip").string());
  FZip.Extract();
  EXPECT_FALSE(fs::exists(FDir.Path() / "one.bin"));
  EXPECT_TRUE(fs::is_empty(temp));
  EXPECT_FALSE(FZip.Busy());
}

TEST_F(ZipArchiveTest, DamagedVolumeEndsTheJoinWithItsMessage) {
  TZipWriter w;
  w.Add("one.bin", std::string(3000, '1'), TZipWriterEntry::zmStored);
  std::vector<std::string> volumes = w.BuildVolumes(1200);
  ASSERT_EQ(volumes.size(), 3u);
  volumes[0][4] = 'X';  // the first local header, right after the spanning marker
  for (std::size_t i = 0; i < volumes.size(); ++i)
    Write("bad00" + std::to_string(i + 1) + ".zip", volumes[i]);
  const fs::path temp = FDir.MakeDir("tmp");
  FZip.SetTempDir(temp.string());
  FZip.SetZipFilename((FDir.Path() / "bad003.zip").string());
  ASSERT_EQ(FZip.Count(), 1);
  Ui.ExpectPlain("A local header signature is wrong");
  FZip.Extract();
  EXPECT_TRUE(fs::is_empty(temp));
  EXPECT_EQ(FZip.ErrCode(), 11014);

  volumes[0][0] = 'X';  // no spanning marker
  Write("bad001.zip", volumes[0]);
  Ui.ExpectPlain("Error while reading a Extended Local signature");
  FZip.SetZipFilename((FDir.Path() / "bad003.zip").string());
  FZip.Extract();
  EXPECT_TRUE(fs::is_empty(temp));
}

TEST_F(ZipArchiveTest, NestedExtractDuringTheCallbackDoesNothing) {
  TZipWriter w;
  w.Add("a.bin", "a");
  w.Add("b.bin", "b");
  FZip.SetZipFilename(Write("n.zip", w));
  int nested = 0;
  Ui.OnProcessMessages = [&] {
    ++nested;
    EXPECT_TRUE(FZip.Busy());
    FZip.Extract();  // a handler run from the message loop
  };
  FZip.Extract();
  EXPECT_GT(nested, 0);
  EXPECT_EQ(FZip.ExtractedFiles().size(), 2u);
  EXPECT_EQ(ReadFileBytes(FDir.Path() / "a.bin"), "a");
  EXPECT_FALSE(HasMessage(0, "exists already"));  // the nested call extracted nothing
}

TEST_F(ZipArchiveTest, CancelFromTheCallbackStopsTheExtraction) {
  TZipWriter w;
  for (int i = 0; i < 5; ++i) w.Add("f" + std::to_string(i) + ".bin", "data");
  FZip.SetZipFilename(Write("c.zip", w));
  FZip.OnProgress = [&](TZipArchive& z, TProgressType type, const std::string&, std::int64_t) {
    if (type == ProgressUpdate) z.SetCancel(true);
  };
  FZip.Extract();
  EXPECT_EQ(FZip.ExtractedFiles().size(), 1u);
  EXPECT_FALSE(fs::exists(FDir.Path() / "f1.bin"));
}

TEST_F(ZipArchiveTest, EventsAreDispatchedInsideALargeEntryAndACancelThereStopsIt) {
  TZipWriter w;
  w.Add("huge.bin", "", TZipWriterEntry::zmStored).Zeros = 500u << 20;  // a hole in the archive
  w.Add("after.bin", "after");
  w.WriteFile((FDir.Path() / "large.zip").string());
  const fs::path target = FDir.MakeDir("large");
  FZip.SetZipFilename((FDir.Path() / "large.zip").string());
  FZip.SetExtrBaseDir(target.string());
  int files = 0;
  FZip.OnProgress = [&](TZipArchive&, TProgressType type, const std::string&, std::int64_t) {
    files += type == NewFile;
  };
  // Escape pressed 0.3 s into the entry, as the window's event loop would see it.
  const auto start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point cancelled;
  int dispatches = 0;
  Ui.OnProcessMessages = [&] {
    ++dispatches;
    if (files == 1 && cancelled == decltype(cancelled)() &&
        std::chrono::steady_clock::now() - start > std::chrono::milliseconds(300)) {
      cancelled = std::chrono::steady_clock::now();
      FZip.SetCancel(true);
    }
  };
  FZip.Extract();
  const auto stopped = std::chrono::steady_clock::now();
  ASSERT_NE(cancelled, decltype(cancelled)()) << "no dispatch 0.3 s into the entry";
  EXPECT_LT(stopped - cancelled, std::chrono::seconds(5));  // 0.5 s as measured by the bench
  EXPECT_EQ(files, 1);
  EXPECT_GE(dispatches, 4);
  EXPECT_TRUE(fs::is_empty(target));  // the half-written file is gone
  EXPECT_TRUE(FZip.ExtractedFiles().empty());
}

#ifndef _WIN32
TEST_F(ZipArchiveTest, AWriteErrorThatWouldRecurStopsTheExtractionWithOneMessage) {
  TZipWriter w;
  w.Add("small.bin", "fits");
  for (int i = 0; i < 200; ++i) w.Add("f" + std::to_string(i) + ".bin", std::string(20000, 'f'));
  const fs::path target = FDir.MakeDir("full");
  FZip.SetZipFilename(Write("full.zip", w));
  FZip.SetExtrBaseDir(target.string());
  int files = 0;
  FZip.OnProgress = [&](TZipArchive&, TProgressType type, const std::string&, std::int64_t) {
    files += type == NewFile;
  };
  // Files of more than 10,000 bytes fail as on a full disk: every further one would too.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const struct rlimit small = {10000, old.rlim_max};
  const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  FZip.Extract();
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldSignal);

  EXPECT_TRUE(FZip.StoppedByWriteError());
  EXPECT_EQ(std::count_if(Messages.begin(), Messages.end(),
                          [](const TRecorded& m) { return m.Code != 0; }),
            1);
  EXPECT_TRUE(HasMessage(UNZIP_ERR_WRITE_STOPS, "f0.bin"));
  EXPECT_EQ(files, 2);  // small.bin and the first that failed: no file tried after it
  EXPECT_EQ(FZip.ExtractedFiles().size(), 1u);
  EXPECT_EQ(Names(target), std::vector<std::string>{"small.bin"});  // nothing half written

  // The next extraction starts afresh.
  const fs::path other = FDir.MakeDir("other");
  FZip.SetExtrBaseDir(other.string());
  FZip.Extract();
  EXPECT_FALSE(FZip.StoppedByWriteError());
  EXPECT_EQ(FZip.ExtractedFiles().size(), 201u);
}
#endif

TEST_F(ZipArchiveTest, ExceptionInAHandlerBecomesTheFatalErrorMessage) {
  TZipWriter w;
  w.Add("a.bin", "a");
  w.Add("b.bin", "b");
  FZip.SetZipFilename(Write("e.zip", w));
  Ui.OnProcessMessages = [] { throw std::runtime_error("handler failed"); };
  Ui.ExpectPlain("Fatal Error in UNZIPLIB.DLL: abort exception");
  FZip.Extract();
  EXPECT_FALSE(FZip.Busy());
  EXPECT_FALSE(fs::exists(FDir.Path() / "b.bin"));
}

}  // namespace
