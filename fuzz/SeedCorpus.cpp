// Writes the fuzz targets' seed corpora, built with the tests' own fixture builders, so that no
// binary is kept in the repository. Usage: startvelk_fuzz_seeds OUTDIR  (OUTDIR/<target>/<seed>)

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "EmulatorDir.h"
#include "TempDir.h"
#include "catalogue/EmuExeDate.h"
#include "catalogue/SettingsFile.h"
#include "launch/BatchFile.h"

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

void BatchSeeds(TSeeds& seeds) {
  seeds.Add("frontend", BatchFileText());
  seeds.Add("echo",
            "echo first %1\r\n@echo second\r\n\r\nrem echo not this\r\n@ECHO OFF\r\n"
            "echo 3. Check \"close on exit\"  \r\necho\r\ncls\r\nEcho On\r\n@echo 100%% done\r\n");
  seeds.Add("redirect",
            "prog %1 %2 > out.txt\r\nprog \"a b\" >> \"log file.txt\"\r\nprog >\r\n> %7\r\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: startvelk_fuzz_seeds OUTDIR" << std::endl;
    return 2;
  }
  const fs::path out = fs::absolute(argv[1]);
  const std::map<std::string, std::function<void(TSeeds&)>> targets = {
      {"fuzz_readme", ReadmeSeeds},
      {"fuzz_settings", SettingsSeeds},
      {"fuzz_batch_line", BatchSeeds},
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
