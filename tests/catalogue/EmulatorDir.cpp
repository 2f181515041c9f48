#include "EmulatorDir.h"

#include <utime.h>

#include <stdexcept>

EmulatorDir::EmulatorDir() : FCurrent(Dir.Path()) {
  WriteEmulator(EmuDate);
}

void EmulatorDir::WriteEmulator(std::time_t date) {
  const auto path = Dir.Write("velk.exe", "MZ");
  utimbuf times{date, date};
  if (::utime(path.c_str(), &times) != 0) throw std::runtime_error("utime");
}

void EmulatorDir::WriteReadme(const std::vector<std::string>& gameLines,
                              std::string_view fileName) {
  std::string text = "VELK arcade emulator\r\n\r\nSupported games, gameslist:\r\n";
  for (const std::string& line : gameLines) text += line + "\r\n";
  Dir.Write(fileName, text);
}

void EmulatorDir::AddDriverDir(const std::string& name, int extraFiles) {
  Dir.Write(name + "/" + name + ".vlk", "driver");
  for (int i = 0; i < extraFiles; ++i) Dir.Write(name + "/rom" + std::to_string(i), "rom");
}

std::string EmulatorDir::Settings() const {
  return ReadFileBytes(Dir.Path() / "StartVELK.ini");
}

std::vector<std::string> ZipNames(const TCatalogue& cat) {
  std::vector<std::string> names;
  for (std::size_t i = 1; i < cat.Games.size(); ++i) names.push_back(cat.Games[i].ZipName.str());
  return names;
}

std::string GameSectionText(int n, std::string_view name, std::string_view zipName, int currentSS) {
  return "[Game" + std::to_string(n) + "]\r\nName=" + std::string(name) +
         "\r\nZipName=" + std::string(zipName) + "\r\nCurrentSS=" + std::to_string(currentSS) +
         "\r\nUseDefSettings=1\r\n\r\n";
}
