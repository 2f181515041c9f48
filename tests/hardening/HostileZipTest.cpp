// Hostile archives through the zip component and UNZIPLIB.DLL, as a zipped game's start uses
// them: the user is told, and nothing lands outside the game's folder or stays half written.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "FakeUserInteraction.h"
#include "TempDir.h"
#include "ZipWriter.h"
#include "launch/ZipArchive.h"
#include "platform/Files.h"

namespace fs = std::filesystem;

namespace {

class HostileZip : public ::testing::Test {
 protected:
  HostileZip() : FCwd(FDir.Path()) {
    FZip.SetDLLDirectory(UNZIPLIB_DIR);
    FZip.OnMessage = [this](TZipArchive&, int code, const std::string& text) {
      All.push_back(text);
      if (code != 0) Problems.push_back(text);
    };
  }
  ~HostileZip() override { TZipArchive::UnloadUnzipLibrary(); }

  // Lists and extracts an archive into the game folder "game", as a zipped game's start does.
  void Extract(const TZipWriter& writer) {
    Archive = FDir.Write("zips/game.zip", writer.Build());
    FZip.SetZipFilename(Archive.string());
    FZip.SetExtrBaseDir(Game.string());
    FZip.Extract();
  }
  std::vector<std::string> GameFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Game)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  bool Told(const std::string& part) const {
    for (const std::string& p : Problems)
      if (p.find(part) != std::string::npos) return true;
    return false;
  }

  TempDir FDir;
  ScopedCurrentDir FCwd;
  fs::path Game = FDir.MakeDir("game");
  fs::path Archive;
  FakeUserInteraction Ui;
  TZipArchive FZip{Ui};
  std::vector<std::string> Problems;  // the library's, which the main window shows
  std::vector<std::string> All;
};

}  // namespace

TEST_F(HostileZip, ZipSlipAbsoluteAndDotDotNamesNeverLeaveTheGameFolder) {
  TZipWriter w;
  const std::vector<std::string> names = {"../escaped.bin",
                                          "../../escaped2.bin",
                                          "roms/../../escaped3.bin",
                                          "/tmp/abs.bin",
                                          "\\windows\\x.bin",
                                          "C:\\boot.ini",
                                          "C:relative.bin",
                                          "..",
                                          ".",
                                          "roms/..",
                                          "..\\escaped4.bin",
                                          "a\\..\\..\\e5.bin"};
  for (const std::string& n : names) w.Add(n, "attack");
  w.Add("roms/good.bin", "good");
  Extract(w);
  EXPECT_EQ(GameFiles(), (std::vector<std::string>{"good.bin"}));
  EXPECT_EQ(Problems.size(), names.size());
  for (const char* n : {"escaped.bin", "escaped2.bin", "escaped3.bin", "escaped4.bin", "e5.bin"}) {
    EXPECT_FALSE(fs::exists(FDir.Path() / n)) << n;
    EXPECT_FALSE(fs::exists(FDir.Path() / "zips" / n)) << n;
  }
  EXPECT_FALSE(fs::exists("/tmp/abs.bin"));
  EXPECT_TRUE(Told("Refused unsafe file name: ..\\escaped.bin"));  // shown with "\\"
}

TEST_F(HostileZip, TinyBombsAreRefusedBeforeAnythingIsWritten) {
  // 16 MiB of zeros deflate to about 16 KB; 256 entries sharing those bytes claim 4 GiB.
  TZipWriter bomb;
  bomb.Add("kernel.bin", std::string(16 << 20, '\0'));
  for (int i = 1; i < 256; ++i) {
    TZipWriterEntry e;
    e.Name = "copy" + std::to_string(i) + ".bin";
    e.SameDataAs = 0;
    bomb.Add(e);
  }
  Extract(bomb);
  EXPECT_LT(fs::file_size(Archive), 100000u);
  EXPECT_TRUE(GameFiles().empty());
  EXPECT_TRUE(FZip.ExtractedFiles().empty());
  ASSERT_EQ(Problems.size(), 1u);  // one clear message, whichever bound it met first
  EXPECT_TRUE(Told("zip bomb") || Told("a game may take") || Told("Not enough disk space"))
      << Problems[0];

  // Sharing is refused however little it claims.
  TZipWriter small;
  small.Add("kernel.bin", std::string(1 << 20, '\0'));
  for (int i = 1; i < 4; ++i) {
    TZipWriterEntry e;
    e.Name = "copy" + std::to_string(i) + ".bin";
    e.SameDataAs = 0;
    small.Add(e);
  }
  Problems.clear();
  Extract(small);
  EXPECT_TRUE(GameFiles().empty());
  EXPECT_EQ(Problems, (std::vector<std::string>{
                          "Entries of the archive share their data, as in a zip bomb; nothing "
                          "extracted"}));
}

TEST_F(HostileZip, HonestLookingSizesAboveTheBoundAreRefusedWhole) {
  // Declared sizes within deflate's ratio, adding up to more than a game may take (or the disk
  // holds): junk stands in for the data, which is never reached.
  TZipWriter w;
  w.Add("first.bin", "would be fine alone");
  for (int i = 0; i < 2; ++i) {
    TZipWriterEntry& e = w.Add("big" + std::to_string(i) + ".bin", "");
    e.RawData = std::string(1200000, static_cast<char>('a' + i));
    e.Size = 1200000u * 1000u;
  }
  Extract(w);
  EXPECT_TRUE(GameFiles().empty());
  ASSERT_EQ(Problems.size(), 1u);
  const auto free = platform::FreeDiskSpace(Game.string());
  ASSERT_TRUE(free);
  if (*free > 2400000019u + (64u << 20))
    EXPECT_EQ(Problems[0],
              "The archive would unpack to 2400000019 bytes, more than the 2147483648 a game may "
              "take; nothing extracted");
  else
    EXPECT_TRUE(Told("Not enough disk space"));
}

TEST_F(HostileZip, SizeLiesCrcMismatchAndCutDataLoseOnlyTheirEntry) {
  TZipWriter w;
  w.Add("crc.bin", std::string(5000, 'c')).Crc = 0x12345678;
  w.Add("bomb.bin", std::string(100, 'b')).Size = 0xFFFFFFF0u;  // beyond deflate's ratio
  w.Add("short.bin", std::string(5000, 's')).Size = 4000;       // inflates past its size
  w.Add("ok.bin", "fine");
  w.Add("cut.bin", std::string(100, 'x')).CompressedSize = 100000;  // past the end of the file
  Extract(w);
  EXPECT_EQ(GameFiles(), (std::vector<std::string>{"ok.bin"}));
  EXPECT_TRUE(Told("CRC error: crc.bin"));
  EXPECT_TRUE(Told("bomb.bin"));
  EXPECT_TRUE(Told("short.bin"));
  EXPECT_TRUE(Told("cut.bin"));
}

TEST_F(HostileZip, TruncatedAndCorruptArchivesListNothingAndSaySo) {
  TZipWriter w;
  w.Add("a.bin", std::string(3000, 'a'));
  w.Add("b.bin", std::string(3000, 'b'));
  TZipLayout layout;
  const std::string whole = w.Build(&layout);

  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string badCentral = whole;
  badCentral[layout.CentralHeaders[1]] = 'X';
  std::string countLie = whole;
  countLie[layout.EndRecord + 10] = '\xFF';  // 65535 entries promised
  countLie[layout.EndRecord + 11] = '\xFF';
  // The same archive with a zip64 end record, whose 64-bit fields lie.
  w.Zip64End = true;
  const std::string zip64 = w.Build(&layout);
  auto zip64Lie = [&](std::size_t field, std::uint64_t value) {
    std::string bytes = zip64;
    for (int i = 0; i < 8; ++i)
      bytes[layout.EndRecord - 20 - 56 + field + i] = static_cast<char>(value >> (8 * i));
    return bytes;
  };
  const Case cases[] = {
      {"cut in the middle", whole.substr(0, whole.size() / 2)},
      {"end record cut", whole.substr(0, whole.size() - 5)},
      {"empty file", ""},
      {"damaged central header", badCentral},
      {"count that lies", countLie},
      {"no zip at all", std::string(70000, '\x50')},
      {"zip64 count of 2^60", zip64Lie(32, std::uint64_t{1} << 60)},
      {"zip64 directory larger than the file", zip64Lie(40, std::uint64_t{1} << 62)},
      {"zip64 volume numbers out of range", zip64Lie(16, ~std::uint64_t{0})},
  };
  FZip.SetUnattended(true);  // the component's own boxes, recorded instead of shown
  for (const Case& c : cases) {
    All.clear();
    FZip.SetZipFilename(FDir.Write("bad.zip", c.bytes).string());
    EXPECT_EQ(FZip.Count(), 0) << c.what;
    EXPECT_TRUE(FZip.ZipFilename().empty()) << c.what;
    EXPECT_FALSE(All.empty()) << c.what;  // the reason was given
    FZip.SetExtrBaseDir(Game.string());
    FZip.Extract();  // with the name cleared nothing is extracted
    EXPECT_TRUE(GameFiles().empty()) << c.what;
  }
}
