// Writes the fuzz targets' seed corpora, built with the tests' own fixture builders, so that no
// binary is kept in the repository. Usage: startvelk_fuzz_seeds OUTDIR  (OUTDIR/<target>/<seed>)

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "EmulatorDir.h"
#include "PictureFixtures.h"
#include "TempDir.h"
#include "ZipWriter.h"
#include "catalogue/EmuExeDate.h"
#include "catalogue/FolderCounts.h"
#include "catalogue/SettingsFile.h"
#include "launch/BatchFile.h"
#include "platform/ListingFile.h"
#include "platform/Unchanged.h"
#include "screenshots/JpegCodec.h"

namespace fs = std::filesystem;

namespace {

// One target's seed folder.
class TSeeds {
 public:
  explicit TSeeds(fs::path dir) : FDir(std::move(dir)) { fs::create_directories(FDir); }

  void Add(const std::string& name, std::string_view bytes) {
    std::ofstream out(FDir / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write seed " + (FDir / name).string());
  }

 private:
  fs::path FDir;
};

void ReadmeSeeds(TSeeds& seeds) {
  EmulatorDir emu;
  const auto add = [&](const std::string& name, const std::vector<std::string>& lines) {
    emu.WriteReadme(lines);
    seeds.Add(name, ReadFileBytes(emu.Dir.Path() / "readme.txt"));
  };
  add("plain", {"Pac Racer               pacrcr", "Space Racer II          spcrcr2",
                "Mr. X's Revenge         mrx"});
  add("barred", {"| Pac Racer | pacrcr |", "|Legend Of Hero Tonma|loth|", "| Rally-X | rallyx |"});
  add("oneword", {"pacrcr", "", "   ", "\tzzz"});
  add("long", {std::string(300, 'N') + " " + std::string(40, 'z')});
  seeds.Add("nomarker", "just a readme\r\nwithout the list\r\npacrcr\r\n");
  seeds.Add("lf", "intro\ngameslist:\nPac Racer pacrcr\nMr X mrx\n");
}

void SettingsSeeds(TSeeds& seeds) {
  EmulatorDir emu;
  TCatalogue cat;
  InitGameRecord(cat.Games.emplace_back());
  for (int i = 1; i <= 3; ++i) {
    TGameRecord& game = cat.Games.emplace_back();
    InitGameRecord(game);
    game.Name = "Game number " + std::to_string(i);
    game.ZipName = "game" + std::to_string(i);
    game.CurrentSS = i * 7;
    game.UseDefSettings = i != 2;
    game.Resolution = "800x600";
  }
  cat.AltRomPath = "zips/";
  TWindowState window;
  const std::string date = FormatEmuExeDate(EmulatorDir::EmuDate);
  seeds.Add("saved", SettingsText(cat, window, date));
  const std::string start = "[StartVELK]\r\nNumOfGames=3\r\nEmuExeDate=" + date + "\r\n\r\n";
  seeds.Add("handmade", start + GameSectionText(0, "Default", "Default") +
                            GameSectionText(1, "Pac Racer", "pacrcr", 3) +
                            GameSectionText(2, "Mr. X", "mrx", -1));
  seeds.Add("hostile",
            "[startvelk]\nNumOfGames=2147483647\n[Window]\nState=-1\nWidth=-2147483648\n"
            "[Screenshot]\nTimer=2147484\n[View]\nAll=0\nInstalled=1\n" +
                GameSectionText(1, std::string(40, 'n'), "toolongname"));
  seeds.Add("bom", "\xEF\xBB\xBF[StartVELK]\r\n; comment\r\n NumOfGames = 1 \r\n");
}

void FolderCountsSeeds(TSeeds& seeds) {
  TempDir dir;
  const std::string file = (dir.Path() / "folders").string();
  const platform::TDirStamp stamp{1, 2, 3, 4};
  // A volume whose times step finely, read long after the folders changed.
  const platform::TScopedChangeClock fine(
      {nullptr, [](const platform::TDirStamp&) { return std::int64_t{1000}; }});
  TFolderCounts counts(file, "/emu");
  for (int i = 0; i < 40; ++i)
    counts.Keep("g" + std::to_string(i), stamp, i % 3 == 0, std::int64_t{1} << 62);
  if (!counts.Save([](const std::string&) { return true; }))
    throw std::runtime_error("cannot write the folder counts seed");
  const std::string whole = ReadFileBytes(file);
  seeds.Add("whole", whole);
  seeds.Add("cut", whole.substr(0, whole.size() - 20));
}

void ListingFileSeeds(TSeeds& seeds) {
  platform::TDirListing::TData entries;
  for (const char* name : {".", "..", "g0", "G1", "readme.txt", "velk.exe"})
    entries.Add(name, name[0] == 'g' || name[0] == 'G' || name[0] == '.'
                          ? platform::TDirListing::TData::kDirectory
                          : platform::TDirListing::TData::kOther);
  seeds.Add("whole", platform::EncodeListing("/emu", {1, 2, 3, 4}, std::int64_t{1} << 61, entries));
}

void BatchSeeds(TSeeds& seeds) {
  seeds.Add("frontend", BatchFileText());
  seeds.Add("echo",
            "echo first %1\r\n@echo second\r\n\r\nrem echo not this\r\n@ECHO OFF\r\n"
            "echo 3. Check \"close on exit\"  \r\necho\r\ncls\r\nEcho On\r\n@echo 100%% done\r\n");
  seeds.Add("redirect",
            "prog %1 %2 > out.txt\r\nprog \"a b\" >> \"log file.txt\"\r\nprog >\r\n> %7\r\n");
}

std::string Pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + i / 13) & 0xFF);
  return s;
}

// Archives as the zip component's and the unzip library's tests build them.
void ZipSeeds(TSeeds& seeds) {
  TZipWriter plain;
  plain.Add("game.vlk", "driver");
  plain.Add("roms/a.bin", Pattern(3000));
  plain.Add("b.bin", "stored bytes", TZipWriterEntry::zmStored);
  plain.Add("zeros.bin", std::string(20000, '\0'));
  seeds.Add("plain", plain.Build());

  TZipWriter dos;
  TZipWriterEntry& oem = dos.Add("caf\x82.bin", "oem name");
  oem.VersionMadeBy = 0x0014;
  TZipWriterEntry& unix = dos.Add("caf\x82.raw", "unix name");
  unix.VersionMadeBy = 0x0314;
  dos.Add("described.bin", Pattern(500)).DataDescriptor = true;
  dos.Comment = std::string(30, 'c');
  dos.Prefix = "MZ self-extractor stub";
  dos.Trailer = std::string(100, '\0');
  seeds.Add("dos-comment-prefix", dos.Build());

  TZipWriter hostile;
  for (const char* n : {"../evil", "/abs", "C:evil", "x/..", "a\\..\\b", "ctl\x01", ""})
    hostile.Add(n, "bad");
  hostile.Add("crc.bin", Pattern(100)).Crc = 1;
  hostile.Add("lie.bin", Pattern(100)).Size = 100000000;
  hostile.Add("crypt.bin", "x").Flags = 1;
  TZipWriterEntry& again = hostile.Add("again.bin", "");
  again.SameDataAs = 7;
  seeds.Add("hostile", hostile.Build());

  TZipWriter bomb;
  bomb.Add("kernel.bin", std::string(1 << 20, '\0'));
  for (int i = 0; i < 8; ++i) bomb.Add("copy" + std::to_string(i) + ".bin", "").SameDataAs = 0;
  seeds.Add("overlap-bomb", bomb.Build());

  TZipWriter many;
  for (int i = 0; i < 300; ++i) many.Add("f" + std::to_string(i), std::to_string(i));
  many.EntryCountOverride = 65535;
  seeds.Add("count-lie", many.Build());

  TZipWriter zip64;  // zip64 records and fields, names by flag and Unicode path field
  zip64.Zip64End = true;
  zip64.Prefix = "stub";
  zip64.Add("forced.bin", Pattern(400)).Zip64 = true;
  TZipWriterEntry& streamed = zip64.Add("streamed.bin", Pattern(300));
  streamed.Zip64 = true;
  streamed.DataDescriptor = true;
  zip64.Add("caf\xC3\xA9.bin", "utf-8").Flags = 0x800;
  zip64.Add("uni\x82.bin", "unicode path").CentralExtra =
      UnicodePathExtra("uni\x82.bin", "unicode-\xC3\xA9.bin");
  zip64.Add("aes.bin", "x").Method = 99;
  zip64.Add("bzip2.bin", "x").Method = 12;
  zip64.Comment = std::string(40, 'c');
  seeds.Add("zip64-names", zip64.Build());

  std::string truncated = plain.Build();
  truncated.resize(truncated.size() / 2);
  seeds.Add("truncated", truncated);
  seeds.Add("empty-archive", TZipWriter().Build());
  const std::vector<std::string> volumes = plain.BuildVolumes(2048);
  for (std::size_t i = 0; i < volumes.size(); ++i)
    seeds.Add("volume" + std::to_string(i + 1), volumes[i]);
}

// A PCX header from the origin to (xmax, ymax), with a 16-colour palette of greys.
std::string PcxSeedHeader(int bitsPerPixel, int planes, int xmax, int ymax, int bytesPerLine) {
  std::string h = PcxHeader(bitsPerPixel, planes, 0, 0, xmax, ymax, bytesPerLine);
  for (int i = 0; i < 48; ++i) h[16 + i] = static_cast<char>(i * 5);
  return h;
}

void PcxSeeds(TSeeds& seeds) {
  std::string palette(1, '\x0C');
  for (int i = 0; i < 768; ++i) palette += static_cast<char>(i / 3);
  std::string p256 = PcxSeedHeader(8, 1, 2, 1, 4) + "\x01\x02\x03" + std::string(1, '\0') +
                     "\xC3\x05\x3F" + palette;
  seeds.Add("256", p256);
  std::string p16 = PcxSeedHeader(1, 4, 15, 3, 2);
  for (int i = 0; i < 32; ++i) p16 += static_cast<char>(i % 2 ? 0xC2 : 0x5A);
  seeds.Add("16", p16);
  seeds.Add("16-short", PcxSeedHeader(1, 4, 15, 99, 2) + "\x11\x22\x33");
  seeds.Add("256-nomarker",
            PcxSeedHeader(8, 1, 7, 7, 8) + std::string(64, '\x41') + std::string(769, '\x01'));
  seeds.Add("huge", PcxSeedHeader(8, 1, 32767, 32767, 32767) + palette);
}

void JpegSeeds(TSeeds& seeds) {
  TRgbImage image;
  image.Width = 40;
  image.Height = 24;
  for (int y = 0; y < image.Height; ++y)
    for (int x = 0; x < image.Width; ++x)
      for (int c = 0; c < 3; ++c) image.Pixels.push_back(static_cast<std::uint8_t>(x * 6 + y * c));
  const std::string capture = EncodeJpeg(image).value();
  seeds.Add("capture", capture);
  seeds.Add("truncated", capture.substr(0, capture.size() / 2));
  seeds.Add("grey", FlatJpeg(JCS_GRAYSCALE, {90}, 75));
  seeds.Add("cmyk", FlatJpeg(JCS_CMYK, {10, 200, 30, 0}, 75));
  seeds.Add("progressive", FlatJpeg(JCS_RGB, {200, 100, 50}, 75, true));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: startvelk_fuzz_seeds OUTDIR" << std::endl;
    return 2;
  }
  const fs::path out = fs::absolute(argv[1]);
  const std::map<std::string, std::function<void(TSeeds&)>> targets = {
      {"fuzz_readme", ReadmeSeeds},    {"fuzz_settings", SettingsSeeds},
      {"fuzz_batch_line", BatchSeeds}, {"fuzz_zip_list", ZipSeeds},
      {"fuzz_unzip", ZipSeeds},        {"fuzz_pcx", PcxSeeds},
      {"fuzz_jpeg", JpegSeeds},        {"fuzz_folder_counts", FolderCountsSeeds},
      {"fuzz_listing_file", ListingFileSeeds},
  };
  try {
    for (const auto& [name, make] : targets) {
      TSeeds seeds(out / name);
      make(seeds);
    }
  } catch (const std::exception& e) {
    std::cerr << "startvelk_fuzz_seeds: " << e.what() << std::endl;
    return 1;
  }
  return 0;
}
