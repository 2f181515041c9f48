#include "Catalogue.h"

#include <filesystem>

#include "NewGames.h"
#include "ReadmeGamesList.h"
#include "Scans.h"
#include "SettingsFile.h"
#include "WindowState.h"
#include "platform/Files.h"
#include "platform/UserInteraction.h"

void InitGameRecord(TGameRecord& record) {
  record = TGameRecord{};
  record.Name = "Default";
  record.ZipName = "Default";
  record.Resolution = "Default";
}

TCatalogue& Catalogue() {
  static TCatalogue catalogue;
  return catalogue;
}

std::string InGameDir(const TCatalogue& cat, const std::string& path) {
  if (cat.GameDir.empty() || path.empty() || std::filesystem::path(path).is_absolute()) return path;
  return platform::JoinPath(cat.GameDir, path);
}

bool RequireFile(const std::string& fileName, TUserInteraction& ui) {
  if (platform::FileExists(fileName)) return true;
  ui.MessageDlg("File not found: " + fileName + "\rThis file is needed by StartVELK.",
                TMsgDlgType::mtError, mbCancel);
  return false;
}

namespace {

// The emulator's files without which the program cannot start, in the order they are asked for.
const char* const kStartupFiles[] = {EmuExeName, "readme.txt"};

}  // namespace

bool RequireStartupFiles(TUserInteraction& ui) {
  for (const char* file : kStartupFiles)
    if (!RequireFile(file, ui)) return false;
  return true;
}

bool StartupFilesExist() {
  for (const char* file : kStartupFiles)
    if (!platform::FileExists(file)) return false;
  return true;
}

std::vector<std::string> MissingStartupFiles(const std::string& folder) {
  std::vector<std::string> missing;
  for (const char* file : kStartupFiles)
    if (!platform::FileExists(platform::JoinPath(folder, file))) missing.push_back(file);
  return missing;
}

bool LoadCatalogue(TCatalogue& cat, TUserInteraction& ui, TWindowState& window,
                   TSettingsAhead* ahead) {
  TNewGames newGames;
  if (!ahead || !ahead->Take(cat, newGames, window)) ReadSettings(cat, newGames, window);
  if (newGames.Empty()) return false;
  ui.Beep();
  ui.MessageDlg(std::to_string(newGames.Count()) + " new supported games found!",
                TMsgDlgType::mtInformation, mbOK);
  ReadReadmeGamesList(cat, newGames);
  if (!newGames.Empty()) {
    ui.Beep();
    ui.MessageDlg(std::to_string(newGames.Count()) + " gamenames not found in VELK ReadMe.txt!\r" +
                      newGames.First(),
                  TMsgDlgType::mtError, mbOK);
  }
  return true;
}

void StartupIO(TCatalogue& cat, TUserInteraction& ui, TWindowState& window,
               const std::function<void()>& writeBatchFile, TFolderSurvey* survey,
               TSettingsAhead* settings) {
  if (writeBatchFile) writeBatchFile();
  if (LoadCatalogue(cat, ui, window, settings) && survey) survey->Discard();
  ScanGameAvailability(cat, UserScanMemory(cat.GameDir), survey);
}

bool ShutdownIO(const TCatalogue& cat, TUserInteraction& ui, const TWindowState& window,
                const std::function<void()>& deleteBatchFiles) {
  std::string error;
  const bool loaded = !cat.Games.empty();  // a start-up that failed already told the user
  try {
    if (loaded) SaveSettings(cat, window);
  } catch (const ESettingsFile& e) {
    error = e.what();
  }
  if (deleteBatchFiles) deleteBatchFiles();
  if (!loaded) return false;
  if (error.empty()) return true;
  ui.Beep();
  ui.MessageDlg("The settings could not be saved; the previous settings file is kept.\r" + error,
                TMsgDlgType::mtError, mbOK);
  return false;
}
