#include "StartGame.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "catalogue/Scans.h"
#include "launch/CommandLine.h"
#include "platform/Files.h"

namespace {

// Sets a flag for the length of a scope, also when the scope is left by an exception.
class TFlagScope {
 public:
  explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
  ~TFlagScope() { FFlag = false; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& FFlag;
};

// The text after the last separator; archive names use "\" whatever the platform.
std::string_view BareName(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

std::string_view Extension(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

bool SameDirectory(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

}  // namespace

std::string DriverMissingText(std::string_view zipName) {
  const std::string name(zipName);
  return "Velk driver for " + name + " not found!\rMake sure you have " + name + ".vlk in gamedir.";
}

std::string UnsafeZipNameText(std::string_view zipName) {
  return "The game's short name \"" + std::string(zipName) +
         "\" is no plain folder name!\rIt cannot be started; correct ZipName in the settings file.";
}

std::string UnzippingText(int count, std::string_view zipName) {
  return "Unzipping " + std::to_string(count) + " files from " + std::string(zipName) + ".zip";
}

TGameStarter::TGameStarter(TCatalogue& catalogue, TExecFile& execEmu, TZipArchive& zipArchive,
                           TUserInteraction& ui, TStartWindow& window)
    : FCatalogue(catalogue), FExecEmu(execEmu), FZipArchive(zipArchive), FUi(ui), FWindow(window) {
  ConfigureExecEmu(FExecEmu);
  FExecEmu.OnFail = [this](TExecFile*) { ExecEmuFail(FUi); };
  ConfigureZipArchive(FZipArchive, FUi);
}

const TGameRecord& TGameStarter::CurrentRecord() const {
  return FCatalogue.Games[static_cast<std::size_t>(FCatalogue.CurrentGame)];
}

void TGameStarter::EnterGameDir() {
  if (FCatalogue.GameDir.empty()) return;
  if (!platform::SetCurrentDir(FCatalogue.GameDir)) {
    const int code = errno;
    throw EStartError("Cannot change to the folder " + FCatalogue.GameDir + ": " +
                      std::strerror(code));
  }
}

void TGameStarter::StartEmuButtonClick() {
  // The window stays live during a run and while an archive is unzipped, so a second start can
  // arrive from inside the first; running both would share the launcher and the clean-up list.
  if (FRunning || FExecEmu.Running() || FZipArchive.Busy()) {
    FUi.Beep();
    FUi.MessageDlg(std::string(AlreadyRunningText), TMsgDlgType::mtError, mbOK);
    return;
  }
  // Entry 0 holds the default settings, not a game; -1 is an empty selection.
  const std::int32_t current = FCatalogue.CurrentGame;
  if (current < 1 || static_cast<std::size_t>(current) >= FCatalogue.Games.size()) {
    FUi.Beep();
    FUi.MessageDlg(std::string(NoGameSelectedText), TMsgDlgType::mtError, mbOK);
    return;
  }
  if (!IsPlainZipName(CurrentRecord().ZipName.view())) {
    FUi.Beep();
    FUi.MessageDlg(UnsafeZipNameText(CurrentRecord().ZipName.view()), TMsgDlgType::mtError, mbOK);
    return;
  }
  TFlagScope running(FRunning);

  EnterGameDir();
  const std::string zipName = CurrentRecord().ZipName.str();
  if (platform::FileExists(platform::JoinPath(zipName, zipName + ".vlk"))) {
    FWindow.StopSlideShowTimer();
  } else {
    // A warning only: the emulator may still find what it needs.
    FUi.Beep();
    FUi.MessageDlg(DriverMissingText(zipName), TMsgDlgType::mtError, mbOK);
  }

  std::string commandLine;
  BuildCommandLine(FCatalogue, FWindow.SelectedGameChecked(), commandLine);

  bool joined = false;
  try {
    FWindow.JoinClipboardChain();
    joined = true;
    const std::size_t index = static_cast<std::size_t>(current);
    if (index < FCatalogue.GameStatus.size() && FCatalogue.GameStatus[index] == gsZipAvailable) {
      UnzipAndStart(commandLine);
    } else {
      RunEmulator(commandLine);
    }
  } catch (...) {
    // A start that failed half way leaves the window as a finished run would.
    if (joined) FWindow.LeaveClipboardChain();
    FWindow.FollowSlideShowPlayButton();
    throw;
  }
  FWindow.LeaveClipboardChain();
  // A window closed during the run is going away: nothing left to show.
  if (FUi.QuitRequested()) return;
  FWindow.FollowSlideShowPlayButton();
  FWindow.LoadScreenShots();
}

void TGameStarter::RunEmulator(const std::string& commandLine) {
  FExecEmu.Parameters = commandLine;
  FExecEmu.Execute();
}

void TGameStarter::UnzipAndStart(const std::string& commandLine) {
  const std::string zipName = CurrentRecord().ZipName.str();
  FZipArchive.SetZipFilename(FCatalogue.AltRomPath + zipName + ".zip");
  const int count = FZipArchive.Count();
  if (count == 0) {
    FUi.ShowMessage(std::string(NoFilesInZipText));
    return;
  }

  struct TStatusReset {
    TUserInteraction& Ui;
    ~TStatusReset() { Ui.ResetStatusText(); }
  } statusReset{FUi};
  FUi.SetStatusText(UnzippingText(count, zipName));

  // The component extracts into the working directory when the game's folder is missing, which
  // would scatter the game's files over the emulator's folder; an existing case variant is kept.
  const std::string gameFolder = platform::ResolvePath(
      platform::JoinPath(FCatalogue.GameDir.empty() ? "." : FCatalogue.GameDir, zipName));
  if (!platform::DirectoryExists(gameFolder) && !platform::CreateDir(gameFolder)) {
    const int code = errno;
    throw EStartError("Cannot create the folder " + gameFolder + ": " + std::strerror(code));
  }
  FZipArchive.SetExtrBaseDir(platform::IncludeTrailingPathDelimiter(gameFolder));
  FZipArchive.Extract();
  // Only what this extraction wrote goes again: files that were there before were not replaced.
  std::vector<std::string> written;
  for (const std::string& path : FZipArchive.ExtractedFiles())
    if (SameDirectory(std::filesystem::path(path).parent_path(), gameFolder))
      written.push_back(path);

  FUi.SetStatusText(std::string(StartingVelkText));
  EnterGameDir();
  RunEmulator(commandLine);

  // Driver files that came with the archive stay: the game needs them on its next start.
  for (const std::string& path : written)
    if (Extension(BareName(path)) != ".vlk") platform::DeleteFile(path);
}

void ExecEmuFail(TUserInteraction& ui) {
  ui.Beep();
  ui.MessageDlg(std::string(ExecEmuFailText), TMsgDlgType::mtError, mbCancel);
}

void ZipArchiveMessage(TUserInteraction& ui, int errCode, const std::string& message) {
  if (errCode != 0) ui.ShowMessage(message);
}

void ConfigureZipArchive(TZipArchive& zipArchive, TUserInteraction& ui) {
  zipArchive.SetVerbose(false);
  zipArchive.SetTrace(false);
  zipArchive.SetExtrOptions(0);
  zipArchive.FSpecArgs().clear();
  zipArchive.SetUnattended(false);
  zipArchive.SetPassword("");
  zipArchive.SetDLLDirectory(".");
  zipArchive.SetCodePage(cpAuto);
  // A window that handles the messages itself keeps its handler.
  if (!zipArchive.OnMessage)
    zipArchive.OnMessage = [&ui](TZipArchive&, int errCode, const std::string& message) {
      ZipArchiveMessage(ui, errCode, message);
    };
}
