// Archives as today's tools make them (Info-ZIP zip, 7-Zip, bsdtar, Python's zipfile), listed by
// the zip component and extracted through the real UNZIPLIB.DLL, beside what unzip and Python read
// from the same files; and what the tools cannot make, from the project's own writer.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "FakeUserInteraction.h"
#include "TempDir.h"
#include "ToolRun.h"
#include "ZipWriter.h"
#include "launch/ZipArchive.h"

namespace fs = std::filesystem;

namespace {

using TFiles = std::map<std::string, std::string>;  // name: bytes

const std::string kCafe = "caf\xC3\xA9.bin";

// Prints "name<TAB>size<TAB>header offset" per entry of argv[1] into argv[2], as Python reads it.
constexpr const char* kPythonList = R"(import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z, open(sys.argv[2], 'w', encoding='utf-8') as out:
    for i in z.infolist():
        out.write('%s\t%d\t%d\n' % (i.filename, i.file_size, i.header_offset))
)";

class ZipToolArchives : public ::testing::Test {
 protected:
  ZipToolArchives() : FCwd(FDir.MakeDir("src")) {
    FZip.SetDLLDirectory(UNZIPLIB_DIR);
    FZip.SetUnattended(true);  // the component's own boxes, recorded instead of shown
    FZip.OnMessage = [this](TZipArchive&, int code, const std::string& text) {
      (code ? Problems : Notes).push_back(text);
    };
    Sources = {{kCafe, "caf\xC3\xA9 data"}, {"rom1.bin", Pattern(100000)}, {"empty.bin", ""}};
    for (const auto& [name, bytes] : Sources) FDir.Write("src/" + name, bytes);
  }
  ~ZipToolArchives() override { TZipArchive::UnloadUnzipLibrary(); }

  static std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = "ROM chip data "[i % 14] + (i / 997) % 3;
    return s;
  }
  std::string Path(const std::string& name) const { return (FDir.Path() / name).string(); }
  static void Tool(const std::vector<std::string>& args) {
    ASSERT_TRUE(RunTool(args)) << args[0] << " " << args[1] << " failed";
  }
  static std::vector<std::string> Names(const TFiles& files) {
    std::vector<std::string> names;
    for (const auto& f : files) names.push_back(f.first);
    return names;
  }
  static TFiles Folder(const fs::path& dir) {
    TFiles files;
    for (const auto& e : fs::directory_iterator(dir))
      files[e.path().filename().string()] = ReadFileBytes(e.path());
    return files;
  }
  // Lists the archive and extracts it (or the entries specs name) into a fresh folder.
  TFiles Extract(const std::string& archive, const std::vector<std::string>& specs = {}) {
    const fs::path out = FDir.Path() / ("out" + std::to_string(++FRuns));
    fs::create_directories(out);
    FZip.SetZipFilename(archive);
    FZip.SetExtrBaseDir(out.string());
    FZip.FSpecArgs() = specs;
    FZip.Extract();
    fs::current_path(FDir.Path() / "src");
    return Folder(out);
  }
  // What unzip extracts from the same archive, bare names, in a UTF-8 locale.
  TFiles UnzipExtract(const std::string& archive) {
    const fs::path out = FDir.Path() / ("unzip" + std::to_string(++FRuns));
    RunTool({"env", "LC_ALL=C.UTF-8", "unzip", "-j", "-qq", "-o", archive, "-d", out.string()});
    return Folder(out);
  }
  // Python's listing: name, size and header offset of each entry.
  std::vector<std::string> PythonList(const std::string& archive) {
    const std::string listing = Path("python.txt");
    Tool({"python3", "-c", kPythonList, archive, listing});
    std::vector<std::string> lines;
    std::string text = ReadFileBytes(listing);
    for (std::size_t at = 0, nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
      lines.push_back(text.substr(at, nl - at));
    return lines;
  }
  std::vector<std::string> ListedNames() const {
    std::vector<std::string> names;
    for (const TZipEntry& e : FZip.Entries()) names.emplace_back(e.FileName);
    return names;
  }

  TempDir FDir;
  ScopedCurrentDir FCwd;
  FakeUserInteraction Ui;
  TZipArchive FZip{Ui};
  TFiles Sources;
  std::vector<std::string> Problems, Notes;
  int FRuns = 0;
};

TEST_F(ZipToolArchives, Zip64AndUtf8ArchivesOfTheCommonToolsExtractAsUnzipDoes) {
  const std::vector<std::string> files = {kCafe, "rom1.bin", "empty.bin"};
  auto with = [&](std::vector<std::string> args) {
    args.insert(args.end(), files.begin(), files.end());
    return args;
  };
  Tool(with({"zip", "-q", "-fz", Path("infozip.zip")}));  // zip64 fields forced, raw UTF-8 names
  Tool(with({"bsdtar", "--format", "zip", "--options", "zip:zip64", "-cf", Path("bsdtar.zip")}));
  Tool(with({"7z", "a", "-tzip", "-bso0", "-bsp0", Path("7zip.zip")}));  // flag bit 11
  Tool(with({"python3", "-c",
             "import sys, zipfile\n"
             "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
             "    for name in sys.argv[2:]:\n"
             "        with open(name, 'rb') as f, z.open(name, 'w', force_zip64=True) as e:\n"
             "            e.write(f.read())\n",
             Path("python.zip")}));
  for (const char* archive : {"infozip.zip", "bsdtar.zip", "7zip.zip", "python.zip"}) {
    SCOPED_TRACE(archive);
    Problems.clear();
    const TFiles got = Extract(Path(archive));
    std::vector<std::string> listed = ListedNames();
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, Names(Sources));
    EXPECT_TRUE(got == Sources) << "extracted: " << ::testing::PrintToString(Names(got));
    EXPECT_TRUE(got == UnzipExtract(Path(archive)));
    EXPECT_TRUE(Problems.empty()) << Problems.front();
  }
}

TEST_F(ZipToolArchives, MoreThan65535EntriesCountThroughTheZip64Record) {
  Tool({"python3", "-c",
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
        "    for i in range(70000): z.writestr('roms/f%05d.bin' % i, 'entry %d' % i)\n",
        Path("many.zip")});
  const TFiles got = Extract(Path("many.zip"), {"f00000.bin", "f69999.bin"});
  ASSERT_EQ(FZip.Count(), 70000);
  EXPECT_EQ(FZip.Entries().back().FileName, "roms\\f69999.bin");
  EXPECT_EQ(got, (TFiles{{"f00000.bin", "entry 0"}, {"f69999.bin", "entry 69999"}}));
  EXPECT_TRUE(Problems.empty());
}

TEST_F(ZipToolArchives, EncryptedEntriesAndOtherMethodsAreNamedAndTheNextEntryComes) {
  const std::string archive = Path("methods.zip");
  const std::vector<std::pair<std::string, std::vector<std::string>>> adds = {
      {"deflate64.bin", {"-mm=Deflate64"}},
      {"bzip2.bin", {"-mm=BZip2"}},
      {"lzma.bin", {"-mm=LZMA"}},
      {"ppmd.bin", {"-mm=PPMd"}},
      {"xz.bin", {"-mm=xz"}},
      {"aes.bin", {"-pPW", "-mem=AES256"}},
      {"zipcrypto.bin", {"-pPW", "-mem=ZipCrypto", "-mx0"}}};
  for (const auto& [name, options] : adds) {
    FDir.Write("src/" + name, Pattern(3000));
    std::vector<std::string> args = {"7z", "a", "-tzip", "-bso0", "-bsp0", archive, name};
    args.insert(args.end(), options.begin(), options.end());
    Tool(args);
  }
  FDir.Write("src/stored-pkware.bin", Pattern(3000));
  Tool({"zip", "-q", "-0", "-P", "PW", archive, "stored-pkware.bin"});
  Tool({"zip", "-q", archive, "rom1.bin"});
  EXPECT_EQ(Extract(archive), (TFiles{{"rom1.bin", Sources["rom1.bin"]}}));
  EXPECT_EQ(Problems, (std::vector<std::string>{
                          "Encrypted file skipped (AES encryption): aes.bin",
                          "Unsupported compression method 12 (bzip2): bzip2.bin",
                          "Unsupported compression method 9 (deflate64): deflate64.bin",
                          "Unsupported compression method 14 (LZMA): lzma.bin",
                          "Unsupported compression method 98 (PPMd): ppmd.bin",
                          "Unsupported compression method 95 (xz): xz.bin",
                          "Encrypted file skipped (PKWARE encryption): zipcrypto.bin",
                          "Encrypted file skipped (PKWARE encryption): stored-pkware.bin"}));

  // Methods no tool here writes: zstd, and one without a name.
  TZipWriter w;
  w.Add("zstd.bin", "z", TZipWriterEntry::zmStored).Method = 93;
  w.Add("odd.bin", "o", TZipWriterEntry::zmStored).Method = 77;
  w.Add("ok.bin", "fine");
  Problems.clear();
  EXPECT_EQ(Extract(FDir.Write("crafted.zip", w.Build()).string()), (TFiles{{"ok.bin", "fine"}}));
  EXPECT_EQ(Problems,
            (std::vector<std::string>{"Unsupported compression method 93 (zstd): zstd.bin",
                                      "Unsupported compression method 77: odd.bin"}));
}

TEST_F(ZipToolArchives, NamesFollowTheUtf8FlagTheUnicodePathFieldOrTheCodePage) {
  TZipWriter w;
  auto add = [&](std::string name, std::uint16_t madeBy, std::uint16_t flags = 0) -> auto& {
    TZipWriterEntry& e = w.Add(name, "data of " + name);
    e.VersionMadeBy = madeBy;
    e.Flags = flags;
    return e;
  };
  add(kCafe, 0x0014, 0x800);                 // DOS host, but flagged UTF-8
  add("uni\x82.bin", 0x0014).CentralExtra =  // the field's name wins, its CRC matches
      UnicodePathExtra("uni\x82.bin", "unicode-\xC3\xA9.bin");
  add("crc\x82.bin", 0x0014).CentralExtra =  // a CRC of another name: code page 437
      UnicodePathExtra("changed.bin", "ignored.bin");
  add("latin\xE9.bin", 0x0314);           // Unix host, Windows-1252 bytes
  add("bad\xFF\xFE.bin", 0x0314, 0x800);  // flagged UTF-8, but not UTF-8
  add("undef\x81.bin", 0x0314);           // a byte Windows-1252 leaves undefined
  add("last.bin", 0x0314);
  const std::string archive = FDir.Write("names.zip", w.Build()).string();
  const TFiles got = Extract(archive);
  EXPECT_EQ(ListedNames(),
            (std::vector<std::string>{kCafe, "unicode-\xC3\xA9.bin", "crc\xC3\xA9.bin",
                                      "latin\xC3\xA9.bin", "bad\xFF\xFE.bin", "undef\xC2\x81.bin",
                                      "last.bin"}));
  EXPECT_EQ(Names(got),
            (std::vector<std::string>{kCafe, "crc\xC3\xA9.bin", "last.bin", "latin\xC3\xA9.bin",
                                      "undef\xC2\x81.bin", "unicode-\xC3\xA9.bin"}));
  EXPECT_EQ(got.at("unicode-\xC3\xA9.bin"), "data of uni\x82.bin");
  EXPECT_EQ(
      Problems,
      (std::vector<std::string>{"Refused file name that is not valid in its encoding: bad??.bin"}));
  // unzip takes the Unicode path field the same way, Python the flag (on a name it can read).
  EXPECT_TRUE(UnzipExtract(archive).count("unicode-\xC3\xA9.bin"));
  TZipWriter flagged;
  flagged.Add(w.Entries[0]);
  EXPECT_EQ(PythonList(FDir.Write("flagged.zip", flagged.Build()).string()).at(0).substr(0, 10),
            kCafe + "\t");
}

TEST_F(ZipToolArchives, LegacyEightBitNamesAreListedAsTheirFilesAreWritten) {
  // Latin-1, KOI8-R, and the five bytes Windows-1252 leaves undefined, as older tools store them:
  // no UTF-8 flag, no Unicode path field, a Unix host.
  const std::vector<std::string> names = {"caf\xE9.bin", "\xD2\xCF\xCD.bin",
                                          "u\x81\x8D\x8F\x90\x9D.bin", "plain.bin"};
  for (const std::string& name : names) FDir.Write("src/" + name, "data of " + name);
  auto with = [&](std::vector<std::string> args) {
    args.insert(args.end(), names.begin(), names.end());
    return args;
  };
  Tool(with({"env", "LC_ALL=C", "zip", "-q", Path("c-locale.zip")}));
  Tool(with({"python3", "-c",
             "import os, sys, zipfile\n"
             "class Raw(zipfile.ZipInfo):\n"
             "    def _encodeFilenameFlags(self): return self.raw, self.flag_bits\n"
             "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
             "    for name in sys.argv[2:]:\n"
             "        raw = os.fsencode(name)\n"
             "        i = Raw(raw.decode('latin-1'))\n"
             "        i.raw, i.create_system = raw, 3\n"
             "        z.writestr(i, b'data of ' + raw)\n",
             Path("python.zip")}));
  for (const char* archive : {"c-locale.zip", "python.zip"}) {
    SCOPED_TRACE(archive);
    Problems.clear();
    const TFiles got = Extract(Path(archive));
    std::vector<std::string> listed = ListedNames();
    std::sort(listed.begin(), listed.end());
    // What the listing says is what the folder holds: the start's journal and clean-up go by it.
    EXPECT_EQ(listed, Names(got));
    EXPECT_EQ(got.size(), names.size());
    EXPECT_EQ(got.at("caf\xC3\xA9.bin"), "data of caf\xE9.bin");
    EXPECT_TRUE(got.count("u\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D.bin"));
    EXPECT_TRUE(Problems.empty()) << Problems.front();
  }
}

TEST_F(ZipToolArchives, LinksAndNamesTwiceInAnotherCaseAreSkippedWithAMessageEach) {
  fs::create_symlink("rom1.bin", FDir.Path() / "src" / "link.bin");
  FDir.Write("src/ROM.BIN", "upper");
  FDir.Write("src/rom.bin", "lower");
  const std::vector<std::string> files = {"link.bin", "ROM.BIN", "rom.bin", "rom1.bin"};
  auto with = [&](std::vector<std::string> args) {
    args.insert(args.end(), files.begin(), files.end());
    return args;
  };
  Tool(with({"zip", "-q", "-y", Path("infozip.zip")}));
  Tool(with({"7z", "a", "-tzip", "-snl", "-bso0", "-bsp0", Path("7zip.zip")}));
  Tool(with({"bsdtar", "--format", "zip", "-cf", Path("bsdtar.zip")}));
  for (const char* archive : {"infozip.zip", "7zip.zip", "bsdtar.zip"}) {
    SCOPED_TRACE(archive);
    Problems.clear();
    const TFiles got = Extract(Path(archive));
    ASSERT_EQ(FZip.Count(), 4);
    // No file holds a link's text, and the later of two names that a game folder cannot tell
    // apart is not taken for a file that was there before.
    EXPECT_EQ(got, (TFiles{{"ROM.BIN", "upper"}, {"rom1.bin", Sources["rom1.bin"]}}));
    std::sort(Problems.begin(), Problems.end());
    EXPECT_EQ(Problems, (std::vector<std::string>{
                            "Another entry differs only in letter case, skipped: rom.bin",
                            "Symbolic link skipped: link.bin"}));
  }
}

TEST_F(ZipToolArchives, InfoZipSplitArchivesAreJoinedAndExtracted) {
  std::mt19937 random(7);
  TFiles files;
  for (const char* name : {"a.bin", "b.bin", "c.bin"}) {
    std::string bytes(100000, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    files[name] = bytes;
    FDir.Write(std::string("src/") + name, bytes);
  }
  Tool({"zip", "-q", "-s", "64k", Path("split.zip"), "a.bin", "b.bin", "c.bin"});
  ASSERT_TRUE(fs::exists(Path("split.z04")));
  const fs::path temp = FDir.MakeDir("tmp");
  FZip.SetTempDir(temp.string());
  EXPECT_EQ(Extract(Path("split.zip")), files);
  EXPECT_TRUE(Problems.empty()) << Problems.front();
  EXPECT_EQ(std::count_if(Notes.begin(), Notes.end(),
                          [](const std::string& n) { return n.starts_with("Copying: "); }),
            5);
  EXPECT_TRUE(fs::is_empty(temp));

  // A part missing is named as the set names it.
  fs::remove(Path("split.z02"));
  EXPECT_TRUE(Extract(Path("split.zip")).empty());
  EXPECT_EQ(FZip.Message(), "Zip file could not be opened: " + Path("split.z02"));
  EXPECT_TRUE(fs::is_empty(temp));
}

TEST_F(ZipToolArchives, TheEndRecordIsTheOneUnzipAndPythonTake) {
  TZipWriter inner;  // a whole archive stored as an entry: an end record inside the data
  inner.Add("inner.bin", "inside");
  TZipWriter w;
  w.Add("outer.bin", "outside");
  w.Add("nested.zip", inner.Build(), TZipWriterEntry::zmStored);
  w.Comment = std::string(40, 'c');
  const std::string whole = w.Build();
  const std::string innerEnd = inner.Build().substr(inner.Build().size() - 22);
  // A record whose directory would start on a later volume than its own: impossible.
  std::string impossible = innerEnd;
  impossible[6] = 1;

  struct TCase {
    const char* What;
    std::string Bytes;
    bool Python;  // Python reads it the same way
  };
  const TCase cases[] = {
      {"comment cut by a few bytes", whole.substr(0, whole.size() - 7), true},
      {"comment cut off whole", whole.substr(0, whole.size() - 40), true},
      // A record in the comment that points at no directory is passed over.
      {"end record in the comment",
       whole.substr(0, whole.size() - 40) + innerEnd + std::string(40 - innerEnd.size(), 'c'),
       false},
      {"impossible end record ending the comment",
       whole.substr(0, whole.size() - 40) + std::string(40 - impossible.size(), 'c') + impossible,
       false},
      {"impossible end record in the comment",
       whole.substr(0, whole.size() - 40) + "ccc" + impossible + std::string(15, 'c'), false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    const std::string archive = FDir.Write("end.zip", c.Bytes).string();
    const TFiles got = Extract(archive);
    EXPECT_EQ(ListedNames(), (std::vector<std::string>{"outer.bin", "nested.zip"}));
    EXPECT_EQ(Names(got), (std::vector<std::string>{"nested.zip", "outer.bin"}));
    if (c.Python) {
      EXPECT_EQ(PythonList(archive).size(), 2u);
    }
  }
}

TEST_F(ZipToolArchives, Zip64RecordsOnASmallArchiveWithBytesInFront) {
  TZipWriter w;
  w.Prefix = "a self-extractor stub";
  w.Zip64End = true;
  w.Add("forced.bin", Pattern(5000)).Zip64 = true;
  TZipWriterEntry& streamed = w.Add("streamed.bin", Pattern(7000));
  streamed.Zip64 = true;
  streamed.DataDescriptor = true;
  w.Add("plain.bin", "plain", TZipWriterEntry::zmStored);
  TZipLayout layout;
  const std::string archive = FDir.Write("z64.zip", w.Build(&layout)).string();
  const TFiles got = Extract(archive);
  ASSERT_EQ(FZip.Count(), 3);
  // The record handed to callers holds the values themselves where they fit.
  EXPECT_EQ(FZip.Entries()[1].UncompressedSize(), 7000u);
  EXPECT_EQ(FZip.Entries()[2].RelOffLocalHdr(), layout.LocalHeaders[2] - w.Prefix.size());
  EXPECT_EQ(Notes.front(), "Warning - Error in zip structure!");  // the stub moved everything
  EXPECT_EQ(got, (TFiles{{"forced.bin", Pattern(5000)},
                         {"plain.bin", "plain"},
                         {"streamed.bin", Pattern(7000)}}));
  EXPECT_TRUE(Problems.empty());
  EXPECT_EQ(PythonList(archive).size(), 3u);
}

TEST_F(ZipToolArchives, EntriesOf4GiBAndMoreThroughASparseFile) {
  constexpr std::uint64_t kHuge = (std::uint64_t{4} << 30) + 5;
  TZipWriter w;
  w.Add("huge.bin", "", TZipWriterEntry::zmStored).Zeros = kHuge;
  w.Add("after.bin", "after");
  const std::string archive = Path("huge.zip");
  const TZipLayout layout = w.WriteFile(archive);
  struct stat st {};
  ASSERT_EQ(::stat(archive.c_str(), &st), 0);
  if (static_cast<std::uint64_t>(st.st_blocks) * 512 > (std::uint64_t{1} << 30))
    GTEST_SKIP() << "the file system here keeps no holes in files";

  const TFiles got = Extract(archive, {"after.bin"});
  ASSERT_EQ(FZip.Count(), 2);
  EXPECT_EQ(FZip.Entries()[0].UncompressedSize(), 0xFFFFFFFFu);  // beyond 32 bits: the largest
  EXPECT_EQ(FZip.Entries()[0].CompressedSize(), 0xFFFFFFFFu);
  EXPECT_EQ(FZip.Entries()[1].RelOffLocalHdr(), 0xFFFFFFFFu);
  EXPECT_EQ(got, (TFiles{{"after.bin", "after"}}));
  EXPECT_TRUE(Problems.empty());
  EXPECT_EQ(PythonList(archive),
            (std::vector<std::string>{"huge.bin\t" + std::to_string(kHuge) + "\t0",
                                      "after.bin\t5\t" + std::to_string(layout.LocalHeaders[1])}));

  // The whole archive is more than a game may take: refused whole, as before.
  EXPECT_TRUE(Extract(archive).empty());
  ASSERT_EQ(Problems.size(), 1u);
}

}  // namespace
