#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "TempDir.h"
#include "ZipWriter.h"
#include "platform/Library.h"
#include "unziplib/UnzipLibApi.h"

namespace fs = std::filesystem;

namespace {

struct TCall {
  int Action;
  int Error;
  std::uint32_t Number;
  std::string Text;
};

// Runs the library on an archive and records every callback.
class UnzipLibTest : public ::testing::Test {
 protected:
  UnzipLibTest() : FCwd(FDir.MakeDir("out")) {
    FLibrary = platform::OpenLibrary(UNZIPLIB_PATH);
    FExec = reinterpret_cast<TUnzipLibExecFunc>(platform::LibrarySymbol(FLibrary, "UnzipLibExec"));
    FVersion = reinterpret_cast<TGetUnzipLibVersionFunc>(
        platform::LibrarySymbol(FLibrary, "GetUnzipLibVersion"));
  }
  ~UnzipLibTest() override { platform::CloseLibrary(FLibrary); }

  static std::int32_t UNZIPLIB_CALL Record(TUnzipCallbackInfo* info) {
    auto* self = static_cast<UnzipLibTest*>(info->Caller);
    EXPECT_EQ(info->Handle, 77);
    self->Calls.push_back({info->ActionCode, info->ErrorCode, info->Number, info->Message});
    return self->OnCall && self->OnCall(self->Calls.back()) ? -1 : 0;
  }

  int Run(const std::string& archive, const std::function<void(TUnzipParams&)>& tweak = {}) {
    TUnzipParams p;
    std::memset(&p, 0, sizeof p);
    p.Handle = 77;
    p.Caller = this;
    p.Version = 152;
    p.Callback = &Record;
    p.Flag40 = -1;
    p.ArchiveName = archive.c_str();
    p.Seven = 7;
    if (tweak) tweak(p);
    return FExec(&p);
  }
  int Run(const TZipWriter& writer, const std::function<void(TUnzipParams&)>& tweak = {}) {
    return Run(FDir.Write("archive.zip", writer.Build()).string(), tweak);
  }

  std::vector<TCall> Problems() const {
    std::vector<TCall> out;
    for (const TCall& c : Calls)
      if (c.Action == UNZIP_ACTION_MESSAGE && c.Error != 0) out.push_back(c);
    return out;
  }
  std::vector<std::string> Written() const {
    std::vector<std::string> out;
    for (const TCall& c : Calls)
      if (c.Action == UNZIP_ACTION_WRITTEN) out.push_back(c.Text);
    return out;
  }
  fs::path Out() const { return FDir.Path() / "out"; }
  std::size_t FilesOut() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(Out()), {}));
  }

  TempDir FDir;
  ScopedCurrentDir FCwd;
  platform::TLibraryHandle FLibrary = nullptr;
  TUnzipLibExecFunc FExec = nullptr;
  TGetUnzipLibVersionFunc FVersion = nullptr;
  std::vector<TCall> Calls;
  std::function<bool(const TCall&)> OnCall;  // true: cancel
};

std::string Pattern(std::size_t size) {
  std::string s(size, '\0');
  std::uint32_t x = 12345;
  for (char& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>((x >> 16) % 16 + 'a');  // compressible, but not trivially
  }
  return s;
}

TEST_F(UnzipLibTest, ExportsItsEntryPointsAndAVersionOfAtLeast152) {
  ASSERT_NE(FLibrary, nullptr);
  ASSERT_NE(FExec, nullptr);
  ASSERT_NE(FVersion, nullptr);
  EXPECT_GE(FVersion(), 152);
  EXPECT_EQ(FExec(nullptr), 0);
}

TEST_F(UnzipLibTest, ReportsCountTotalEachFileAndTheEndThroughTheCallback) {
  TZipWriter w;
  w.Add("a.bin", "aaaa");
  w.Add("b.bin", "bb", TZipWriterEntry::zmStored);
  EXPECT_EQ(Run(w, [](TUnzipParams& p) { p.Verbose = -1; }), 2);
  EXPECT_EQ(Calls[3].Action, UNZIP_ACTION_MESSAGE);
  EXPECT_EQ(Calls[3].Text, "Extracted: a.bin");
  std::erase_if(Calls, [](const TCall& c) { return c.Action == UNZIP_ACTION_MESSAGE; });
  std::vector<int> actions;
  for (const TCall& c : Calls) actions.push_back(c.Action);
  const std::vector<int> expected = {5, 6, 1, 7, 2, 1, 7, 2, 3};
  EXPECT_EQ(actions, expected);
  EXPECT_EQ(Calls[0].Number, 2u);
  EXPECT_EQ(Calls[1].Number, 6u);
  EXPECT_EQ(Calls[2].Text, "a.bin");
  EXPECT_EQ(Calls[2].Number, 4u);
}

TEST_F(UnzipLibTest, ExtractsEveryKindOfEntryUnderItsBareName) {
  TZipWriter w;
  w.Prefix = "a self-extractor stub in front";
  w.Add("deep/dir/stored.bin", Pattern(1000), TZipWriterEntry::zmStored);
  w.Add("deflated.bin", Pattern(200000));
  TZipWriterEntry& d1 = w.Add("desc_sig.bin", Pattern(5000));
  d1.DataDescriptor = true;
  TZipWriterEntry& d2 = w.Add("desc_nosig.bin", Pattern(6000));
  d2.DataDescriptor = true;
  d2.DescriptorSignature = false;
  w.Add("big_deflated.bin", Pattern(9u << 20));  // past the size inflated into the mapped file
  w.Add("big_stored.bin", Pattern((8u << 20) + 1), TZipWriterEntry::zmStored);
  w.Add("empty.bin", "");
  w.Add("dos\\path\\name.bin", "dos");
  w.Add("oem\x81.bin", "oem").VersionMadeBy = 0x0014;
  w.Add("folder/", "");
  EXPECT_EQ(Run(w), 9);
  for (const TCall& c : Problems()) ADD_FAILURE() << c.Text;
  EXPECT_TRUE(ReadFileBytes(Out() / "stored.bin") == Pattern(1000)) << "stored.bin";
  EXPECT_TRUE(ReadFileBytes(Out() / "deflated.bin") == Pattern(200000)) << "deflated.bin";
  EXPECT_TRUE(ReadFileBytes(Out() / "desc_sig.bin") == Pattern(5000)) << "desc_sig.bin";
  EXPECT_TRUE(ReadFileBytes(Out() / "desc_nosig.bin") == Pattern(6000)) << "desc_nosig.bin";
  EXPECT_TRUE(ReadFileBytes(Out() / "big_deflated.bin") == Pattern(9u << 20)) << "big_deflated.bin";
  EXPECT_TRUE(ReadFileBytes(Out() / "big_stored.bin") == Pattern((8u << 20) + 1))
      << "big_stored.bin";
  EXPECT_TRUE(fs::exists(Out() / "empty.bin"));
  EXPECT_EQ(fs::file_size(Out() / "empty.bin"), 0u);
  EXPECT_EQ(ReadFileBytes(Out() / "name.bin"), "dos");
  EXPECT_EQ(ReadFileBytes(Out() / "oem\xC3\xBC.bin"), "oem");
  EXPECT_EQ(FilesOut(), 9u);
  EXPECT_EQ(Written().size(), 9u);
}

TEST_F(UnzipLibTest, FilesGetTheArchiveDate) {
  TZipWriter w;
  TZipWriterEntry& e = w.Add("dated.bin", "x");
  e.Date = (2001 - 1980) << 9 | 2 << 5 | 3;  // 2001-02-03
  e.Time = 4 << 11 | 5 << 5 | 3;             // 04:05:06
  Run(w);
  const auto time = fs::last_write_time(Out() / "dated.bin");
  const auto sys = std::chrono::file_clock::to_sys(time);
  const std::time_t t = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(sys));
  std::tm local{};
  localtime_r(&t, &local);
  EXPECT_EQ(local.tm_year, 101);
  EXPECT_EQ(local.tm_mon, 1);
  EXPECT_EQ(local.tm_mday, 3);
  EXPECT_EQ(local.tm_hour, 4);
  EXPECT_EQ(local.tm_sec, 6);
}

TEST_F(UnzipLibTest, UnsafeNamesAreRefusedAndNothingLeavesTheWorkingDirectory) {
  TZipWriter w;
  const char* names[] = {"../evil", "a/../../evil2", "/abs/evil3", "\\abs\\evil4", "C:evil5",
                         "x/..",    "x/.",           "..\\evil6",  "ctl\x01name",  ""};
  for (const char* n : names) w.Add(n, "bad");
  w.Add("fine.bin", "good");
  EXPECT_EQ(Run(w), 1);
  const std::vector<TCall> problems = Problems();
  ASSERT_EQ(problems.size(), std::size(names));
  for (const TCall& c : problems) EXPECT_EQ(c.Error, UNZIP_ERR_NAME) << c.Text;
  EXPECT_EQ(FilesOut(), 1u);
  EXPECT_EQ(ReadFileBytes(Out() / "fine.bin"), "good");
  for (const char* n : {"evil", "evil2", "evil3", "evil4", "evil6"})
    EXPECT_FALSE(fs::exists(FDir.Path() / n)) << n;
}

TEST_F(UnzipLibTest, EachProblemIsReportedAndTheNextEntryStillComes) {
  TZipWriter w;
  w.Add("crypt.bin", "secret").Flags = 1;
  w.Add("bzip.bin", "other method").Method = 12;
  w.Add("crc.bin", Pattern(3000)).Crc = 1;
  w.Add("shorter.bin", Pattern(3000)).Size = 2000;  // data longer than declared
  w.Add("longer.bin", Pattern(3000)).Size = 4000;   // data shorter than declared
  w.Add("stored_lie.bin", "12345", TZipWriterEntry::zmStored).Size = 9;
  w.Add("garbage.bin", "x").RawData = std::string("\xFF\xFF\xFF\xFF", 4);
  TZipWriterEntry& z64 = w.Add("zip64.bin", "x");
  z64.Size = 0xFFFFFFFFu;
  z64.CompressedSize = 0xFFFFFFFFu;
  w.Add("ok.bin", "fine");
  EXPECT_EQ(Run(w), 1);
  std::vector<int> codes;
  for (const TCall& c : Problems()) codes.push_back(c.Error);
  // What the directory alone tells comes first, in the archive's order; then the data's problems.
  const std::vector<int> expected = {UNZIP_ERR_ENCRYPTED, UNZIP_ERR_METHOD, UNZIP_ERR_SIZE,
                                     UNZIP_ERR_DATA,      UNZIP_ERR_CRC,    UNZIP_ERR_DATA,
                                     UNZIP_ERR_DATA,      UNZIP_ERR_DATA};
  EXPECT_EQ(codes, expected);
  EXPECT_EQ(FilesOut(), 1u);  // no partial file of any of them
  EXPECT_EQ(ReadFileBytes(Out() / "ok.bin"), "fine");
}

TEST_F(UnzipLibTest, TruncatedArchiveLosesOnlyTheCutEntry) {
  TZipWriter w;
  w.Add("first.bin", "one");
  w.Add("cut.bin", Pattern(1000)).CompressedSize = 900000;  // runs past the end of the file
  w.Add("last.bin", "three");
  EXPECT_EQ(Run(w), 2);
  ASSERT_EQ(Problems().size(), 1u);
  EXPECT_EQ(Problems()[0].Error, UNZIP_ERR_DATA);
  EXPECT_FALSE(fs::exists(Out() / "cut.bin"));

  // A zip64 directory offset of 2^63 and more points nowhere; no stub length is derived from it.
  Calls.clear();
  TZipWriter far;
  far.Zip64End = true;
  far.Add("one.bin", "one");
  std::string farBytes = far.Build();
  const std::size_t record = farBytes.rfind(std::string("PK\x06\x06", 4));
  ASSERT_NE(record, std::string::npos);
  farBytes[record + 48 + 7] = '\x80';
  EXPECT_EQ(Run(FDir.Write("far.zip", farBytes).string()), 0);
  EXPECT_EQ(Problems().at(0).Error, UNZIP_ERR_STRUCTURE);

  Calls.clear();
  EXPECT_EQ(Run(FDir.Write("junk.zip", std::string(200, 'j')).string()), 0);
  ASSERT_EQ(Problems().size(), 1u);
  EXPECT_EQ(Problems()[0].Error, UNZIP_ERR_STRUCTURE);
  Calls.clear();
  EXPECT_EQ(Run((FDir.Path() / "absent.zip").string()), 0);
  EXPECT_EQ(Problems().at(0).Error, UNZIP_ERR_OPEN);
}

TEST_F(UnzipLibTest, ExistingFilesLinksAndDuplicatesAreNeverWrittenThrough) {
  FDir.Write("outside.txt", "untouched");
  fs::create_symlink(FDir.Path() / "outside.txt", Out() / "link.bin");
  fs::create_symlink(FDir.Path() / "nothing-there", Out() / "dangling.bin");
  FDir.Write("out/Existing.BIN", "mine");
  TZipWriter w;
  w.Add("link.bin", "through the link");
  w.Add("dangling.bin", "through a dangling link");
  w.Add("existing.bin", "replacement");
  w.Add("twice.bin", "first");
  w.Add("TWICE.bin", "second");
  w.Add("twice.bin", "third");
  EXPECT_EQ(Run(w), 1);
  // Kept files are news, not problems; names the archive holds twice are problems of its own.
  std::vector<std::string> problems;
  for (const TCall& c : Problems()) problems.push_back(c.Text);
  EXPECT_EQ(problems, (std::vector<std::string>{
                          "Another entry differs only in letter case, skipped: TWICE.bin",
                          "Another entry has the same name, skipped: twice.bin"}));
  EXPECT_EQ(ReadFileBytes(FDir.Path() / "outside.txt"), "untouched");
  EXPECT_FALSE(fs::exists(FDir.Path() / "nothing-there"));
  EXPECT_EQ(ReadFileBytes(Out() / "Existing.BIN"), "mine");
  EXPECT_EQ(ReadFileBytes(Out() / "twice.bin"), "first");
  EXPECT_FALSE(fs::exists(Out() / "TWICE.bin"));
  const std::vector<std::string> written = {"twice.bin"};
  EXPECT_EQ(Written(), written);
}

TEST_F(UnzipLibTest, CancelStopsAtOnceAndLeavesNoPartialFile) {
  TZipWriter w;
  w.Add("a.bin", "a");
  w.Add("b.bin", "b");
  w.Add("c.bin", "c");
  OnCall = [](const TCall& c) { return c.Action == UNZIP_ACTION_NEWFILE && c.Text == "b.bin"; };
  EXPECT_EQ(Run(w), 1);
  EXPECT_EQ(FilesOut(), 1u);
  EXPECT_TRUE(fs::exists(Out() / "a.bin"));
}

TEST_F(UnzipLibTest, LargeEntriesGoThroughInPiecesAndBadOnesLoseOnlyThemselves) {
  const std::string big = Pattern(9u << 20);  // past what is inflated whole
  TZipWriter w;
  w.Add("crc.bin", big).Crc = 1;
  w.Add("stored_crc.bin", big, TZipWriterEntry::zmStored).Crc = 1;
  w.Add("longer.bin", big).Size = (10u << 20);  // data shorter than declared
  w.Add("shorter.bin", big).Size = (8u << 20) + 1;
  w.Add("garbage.bin", big).RawData = std::string(100000, '\xFF');
  w.Add("good.bin", big);
  EXPECT_EQ(Run(w, [](TUnzipParams& p) { p.Test = -1; }), 1);
  const std::vector<int> codes = {UNZIP_ERR_CRC, UNZIP_ERR_CRC, UNZIP_ERR_DATA, UNZIP_ERR_DATA,
                                  UNZIP_ERR_DATA};
  auto problemCodes = [&] {
    std::vector<int> out;
    for (const TCall& c : Problems()) out.push_back(c.Error);
    return out;
  };
  EXPECT_EQ(problemCodes(), codes);
  Calls.clear();
  EXPECT_EQ(Run(w), 1);
  EXPECT_EQ(problemCodes(), codes);
  EXPECT_EQ(FilesOut(), 1u);  // no partial file of any of them
  EXPECT_TRUE(ReadFileBytes(Out() / "good.bin") == big);
  // Progress comes within the file; all of it adds up to the file's size.
  std::uint64_t progress = 0;
  int calls = 0;
  for (const TCall& c : Calls)
    if (c.Action == UNZIP_ACTION_PROGRESS && c.Text == "good.bin") progress += c.Number, ++calls;
  EXPECT_EQ(progress, big.size());
  EXPECT_GE(calls, 3);
}

TEST_F(UnzipLibTest, ACancelInsideALargeEntryStopsItAndRemovesItsFile) {
  // 500 MB of zeros, deflated in a moment by zlib's fastest level.
  constexpr std::size_t kSize = 500u << 20;
  const std::string zeros(1u << 20, '\0');
  z_stream zs{};
  ASSERT_EQ(deflateInit2(&zs, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string packed;
  std::uint32_t crc = 0;
  char out[1 << 16];
  for (std::size_t done = 0; done < kSize; done += zeros.size()) {
    crc = static_cast<std::uint32_t>(
        crc32(crc, reinterpret_cast<const Bytef*>(zeros.data()), static_cast<uInt>(zeros.size())));
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    zs.avail_in = static_cast<uInt>(zeros.size());
    const int flush = done + zeros.size() == kSize ? Z_FINISH : Z_NO_FLUSH;
    do {
      zs.next_out = reinterpret_cast<Bytef*>(out);
      zs.avail_out = sizeof out;
      deflate(&zs, flush);
      packed.append(out, sizeof out - zs.avail_out);
    } while (zs.avail_out == 0);
  }
  deflateEnd(&zs);
  TZipWriter w;
  TZipWriterEntry& e = w.Add("huge.bin", "x");
  e.RawData = packed;
  e.Size = static_cast<std::uint32_t>(kSize);
  e.Crc = crc;
  w.Add("after.bin", "after");

  const auto start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point cancelled;
  OnCall = [&](const TCall& c) {
    if (c.Action != UNZIP_ACTION_PROGRESS || c.Text != "huge.bin") return false;
    if (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(300)) return false;
    cancelled = std::chrono::steady_clock::now();
    return true;
  };
  EXPECT_EQ(Run(w), 0);
  const auto stopped = std::chrono::steady_clock::now();
  ASSERT_NE(cancelled, decltype(cancelled)()) << "no progress 0.3 s into the entry";
  EXPECT_LT(stopped - cancelled, std::chrono::seconds(5));  // 0.5 s as measured by the bench
  EXPECT_EQ(FilesOut(), 0u);
  EXPECT_EQ(Calls.back().Action, UNZIP_ACTION_ENDBATCH);
  EXPECT_TRUE(Written().empty());
}

TEST_F(UnzipLibTest, AChangeOfTheWorkingDirectoryDuringTheCallbackRedirectsNothing) {
  const fs::path elsewhere = FDir.MakeDir("elsewhere");
  TZipWriter w;
  w.Add("a.bin", "a");
  w.Add("b.bin", "b");
  OnCall = [&](const TCall&) {
    fs::current_path(elsewhere);
    return false;
  };
  EXPECT_EQ(Run(w), 2);
  EXPECT_TRUE(fs::exists(Out() / "b.bin"));
  EXPECT_TRUE(fs::is_empty(elsewhere));
}

TEST_F(UnzipLibTest, TestFlagChecksEverythingAndWritesNothing) {
  TZipWriter w;
  w.Add("good.bin", Pattern(4000));
  w.Add("bad.bin", Pattern(4000)).Crc = 7;
  const std::string archive = FDir.Write("t.zip", w.Build()).string();
  EXPECT_EQ(Run(archive, [](TUnzipParams& p) { p.Test = -1; }), 1);
  ASSERT_EQ(Problems().size(), 1u);
  EXPECT_EQ(Problems()[0].Error, UNZIP_ERR_CRC);
  EXPECT_EQ(FilesOut(), 0u);
}

TEST_F(UnzipLibTest, FileSpecsPickEntriesByWholeOrBareName) {
  TZipWriter w;
  w.Add("roms/a.bin", "a");
  w.Add("roms/b.dat", "b");
  w.Add("other/c.bin", "c");
  const std::string archive = FDir.Write("s.zip", w.Build()).string();
  TUnzipFileSpec specs[2];
  std::memset(specs, 0, sizeof specs);
  specs[0].FileSpec = "*.dat";
  specs[1].FileSpec = "OTHER\\*";
  EXPECT_EQ(Run(archive,
                [&](TUnzipParams& p) {
                  p.FileSpecCount = 2;
                  p.FileSpecs = specs;
                }),
            2);
  EXPECT_TRUE(fs::exists(Out() / "b.dat"));
  EXPECT_TRUE(fs::exists(Out() / "c.bin"));
  EXPECT_FALSE(fs::exists(Out() / "a.bin"));
}

}  // namespace
