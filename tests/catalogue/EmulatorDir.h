#pragma once

#include <ctime>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "TempDir.h"
#include "catalogue/Catalogue.h"

/// An emulator directory in a temporary folder, made the working directory for the test's scope:
/// velk.exe with a chosen date, a readme with a games list, driver directories and archives.
class EmulatorDir {
 public:
  EmulatorDir();

  /// velk.exe with the given modification time.
  void WriteEmulator(std::time_t date);
  /// readme.txt: some preamble, the marker line, then the lines, CRLF-terminated.
  void WriteReadme(const std::vector<std::string>& gameLines,
                   std::string_view fileName = "readme.txt");
  /// <name>/<name>.vlk plus extra files (an installed game needs four entries besides . and ..).
  void AddDriverDir(const std::string& name, int extraFiles = 0);
  std::string Settings() const;

  TempDir Dir;
  static constexpr std::time_t EmuDate = 1700000000;  // an even second

 private:
  ScopedCurrentDir FCurrent;
};

/// The ZipNames of entries 1 and up.
std::vector<std::string> ZipNames(const TCatalogue& cat);

/// A game section text with UseDefSettings=1, as the writer produces it.
std::string GameSectionText(int n, std::string_view name, std::string_view zipName,
                            int currentSS = 0);
