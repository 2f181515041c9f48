#include "StartGame.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "catalogue/Scans.h"
#include "launch/BatchFile.h"
#include "launch/CommandLine.h"
#include "platform/Files.h"
#include "platform/Text.h"

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

bool IsBareFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("\\/") == std::string_view::npos;
}

// The names in a folder, "." and ".." left out.
std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  platform::ForEachEntry(
      folder, "*",
      [&](const platform::TSearchRec& entry) {
        if (entry.Name != "." && entry.Name != "..") names.push_back(entry.Name);
        return true;
      },
      platform::TListDetail::ldKind);
  return names;
}

// The entries' bare names that the folder does not hold in any letter case, each once, with the
// size the archive gives (the largest, for a name stored twice).
std::vector<TJournalWant> NewBareNames(const std::vector<TZipEntry>& entries,
                                       const std::vector<std::string>& before) {
  std::set<std::string> had;
  for (const std::string& name : before) had.insert(LowerAscii(name));
  std::map<std::string, std::size_t> index;
  std::vector<TJournalWant> wants;
  for (const TZipEntry& entry : entries) {
    const std::string_view name = BareName(entry.FileName);
    if (!IsBareFileName(name)) continue;
    const std::string key = LowerAscii(name);
    if (had.count(key)) continue;
    const auto [it, added] = index.emplace(key, wants.size());
    if (added)
      wants.push_back({std::string(name), entry.UncompressedSize()});
    else
      wants[it->second].Size =
          std::max<std::uint64_t>(wants[it->second].Size, entry.UncompressedSize());
  }
  return wants;
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

std::string GameInUseText(std::string_view gameName) {
  return "The game " + std::string(gameName) +
         " is in use by another StartVELK: it unzipped the game for a run that has not ended.\r"
         "Start it again when that run is over.";
}

std::string CleanUpFailedText(int count, std::string_view folder, std::string_view reason) {
  return "Could not remove " + std::to_string(count) + " unzipped " +
         (count == 1 ? "file" : "files") + " from the folder " + std::string(folder) + ": " +
         std::string(reason) + ".\rThey will be removed at a later start.";
}

std::string CleanUpProgressText(int done, int total) {
  return "Removing unzipped files " + std::to_string(done) + " of " + std::to_string(total);
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
  FFacts = TRunFacts{};
  FFacts.Game = current;
  struct TRunNotice {
    TStartWindow& Window;
    ~TRunNotice() { Window.RunEnded(); }
  };
  FWindow.RunBegins(current);
  const TRunNotice runNotice{FWindow};

  EnterGameDir();
  const std::string zipName = CurrentRecord().ZipName.str();
  // Files another start unzipped for a run that goes on would be deleted under this game when
  // that run ends. A zipped start asks once its own journal is written.
  const std::size_t index = static_cast<std::size_t>(current);
  const bool zipped =
      index < FCatalogue.GameStatus.size() && FCatalogue.GameStatus[index] == gsZipAvailable;
  if (platform::FileExists(InGameDir(FCatalogue, platform::JoinPath(zipName, zipName + ".vlk")))) {
    FWindow.StopSlideShowTimer();
  } else {
    // A warning only: the emulator may still find what it needs.
    FUi.Beep();
    FUi.MessageDlg(DriverMissingText(zipName), TMsgDlgType::mtError, mbOK);
  }

  if (!zipped &&
      GameFolderInUse(FCatalogue.GameDir,
                      std::string(BareName(platform::ResolvePath(InGameDir(FCatalogue, zipName)))))) {
    FUi.Beep();
    FFacts.Failure = GameInUseText(CurrentRecord().Name.view());
    FUi.MessageDlg(FFacts.Failure, TMsgDlgType::mtError, mbOK);
    FWindow.FollowSlideShowPlayButton();
    return;
  }

  std::string commandLine;
  BuildCommandLine(FCatalogue, FWindow.SelectedGameChecked(), commandLine);

  bool joined = false;
  try {
    FWindow.JoinClipboardChain();
    joined = true;
    if (zipped) {
      UnzipAndStart(commandLine);
    } else {
      RunEmulator(commandLine);
    }
  } catch (...) {
    try {
      throw;
    } catch (const std::exception& error) {
      FFacts.Failure = error.what();
    } catch (...) {
    }
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
  FFacts.CommandLine = FExecEmu.CommandLineText();
  FFacts.WorkingFolder = FCatalogue.GameDir;
  FWindow.EmulatorStarting(FFacts);
  const auto launched = std::chrono::steady_clock::now();
  FFacts.EmulatorStarted = FExecEmu.Execute();
  FFacts.DurationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - launched)
                          .count();
  FFacts.Ended = FFacts.EmulatorStarted && FExecEmu.ProcessEnded();
  FFacts.ExitStatus = FExecEmu.LastExitCode();
  if (!FFacts.EmulatorStarted) FFacts.Failure = FExecEmu.LastError();
}

void TGameStarter::CancelExtraction() {
  if (!FZipArchive.Busy()) return;
  FCancelled = true;
  FZipArchive.SetCancel(true);
}

void TGameStarter::UnzipAndStart(const std::string& commandLine) {
  const std::string zipName = CurrentRecord().ZipName.str();
  FZipIndex = static_cast<std::size_t>(FCatalogue.CurrentGame);
  FZipArchive.SetZipFilename(InGameDir(FCatalogue, FCatalogue.AltRomPath + zipName + ".zip"));
  FFacts.Archive = FZipArchive.ZipFilename();
  const int count = FZipArchive.Count();
  if (count == 0) {
    FFacts.Failure = NoFilesInZipText;
    FUi.ShowMessage(std::string(NoFilesInZipText));
    return;
  }

  struct TStatusReset {
    TUserInteraction& Ui;
    ~TStatusReset() { Ui.ResetStatusText(); }
  } statusReset{FUi};
  FUi.SetStatusText(UnzippingText(count, zipName));

  // An existing case variant of the game's folder is used; a missing one is created, so that the
  // component does not scatter the game's files over the emulator's folder.
  const std::string gameFolder = platform::ResolvePath(InGameDir(FCatalogue, zipName));
  const std::string folderName(BareName(gameFolder));

  // What the extraction writes is known from the listing and the folder's content before it,
  // whatever the library reports; the journal lets a later start remove it after a crash.
  FCancelled = false;
  FWindow.ShowUnzipProgress(0, count);
  TJournaledExtraction extraction;
  try {
    extraction = ExtractJournaled(FZipArchive, FJournal, FCatalogue.GameDir, folderName,
                                  [&](int done) { FWindow.ShowUnzipProgress(done, count); });
  } catch (...) {
    FWindow.HideUnzipProgress();
    CleanUp(gameFolder, {}, false, false);
    throw;
  }
  FWindow.HideUnzipProgress();
  if (extraction.InUse) {
    FFacts.Failure = GameInUseText(CurrentRecord().Name.view());
    FUi.Beep();
    FUi.MessageDlg(FFacts.Failure, TMsgDlgType::mtError, mbOK);
    return;
  }
  const std::vector<std::string>& written = extraction.Written;
  const bool created = extraction.CreatedFolder;
  FFacts.Extracted = static_cast<int>(written.size());

  // A write error that every later file would meet too (a full disk, a read-only folder) was
  // said once by the library; the game is not started without its files.
  if (FCancelled || FUi.QuitRequested() || FZipArchive.StoppedByWriteError()) {
    if (FCancelled || FUi.QuitRequested())
      FFacts.Cancelled = true;
    else
      FFacts.Failure = "Unzipping stopped at a write error";
    // Nothing ran: the folder goes back to what it held, drivers included.
    CleanUp(gameFolder, written, false, created);
    return;
  }

  FUi.SetStatusText(std::string(StartingVelkText));
  EnterGameDir();
  bool quitDuringRun = false;
  FExecEmu.OnStarted = [this](std::int64_t pid) {
    FJournal.RecordRun(pid);
    FUi.ResetStatusText();  // started: the status bar names the game that runs
  };
  // A close during the run ends the window at once; the files stay until the emulator is done.
  FExecEmu.OnQuitWhileWaiting = [this, &quitDuringRun](TExecFile*) {
    quitDuringRun = true;
    FWindow.LeaveClipboardChain();
    FWindow.ClosedDuringRun();
    FUi.ProcessMessages();  // the closed window leaves the screen before the wait blocks
  };
  struct TRunScope {
    TGameStarter& Starter;
    explicit TRunScope(TGameStarter& starter) : Starter(starter) { Starter.FZippedRun = true; }
    ~TRunScope() {
      Starter.FZippedRun = false;
      Starter.FExecEmu.OnStarted = nullptr;
      Starter.FExecEmu.OnQuitWhileWaiting = nullptr;
    }
  };
  {
    TRunScope run(*this);
    RunEmulator(commandLine);
  }

  // Driver files that came with the archive stay: the game needs them on its next start.
  CleanUp(gameFolder, written, true, created);
  // The shutdown left the batch files to the run that used them.
  if (quitDuringRun) DeleteBatchFiles(FCatalogue.GameDir);
}

void TGameStarter::CleanUp(const std::string& gameFolder, const std::vector<std::string>& written,
                           bool keepDrivers, bool createdFolder) {
  std::vector<std::string> doomed;
  for (const std::string& name : written)
    if (!keepDrivers || Extension(name) != ".vlk") doomed.push_back(name);
  platform::TConfinedFolder folder;
  const std::string parent = FCatalogue.GameDir.empty() ? "." : FCatalogue.GameDir;
  const bool opened = folder.Open(parent, std::string(BareName(gameFolder)), nullptr);
  // Thousands of files take seconds to delete: the window is served between them, and a quit
  // meanwhile lets the clean-up finish before the program ends.
  int failed = 0, failure = 0;
  auto lastServed = std::chrono::steady_clock::now();
  for (std::size_t i = 0; opened && i < doomed.size(); ++i) {
    int code = 0;
    if (!folder.RemoveFile(doomed[i], &code)) {
      ++failed;
      failure = code;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - lastServed >= std::chrono::milliseconds(50)) {
      lastServed = now;
      FWindow.ShowCleanUpProgress(static_cast<int>(i + 1), static_cast<int>(doomed.size()));
      FUi.ProcessMessages();
    }
  }
  FWindow.HideUnzipProgress();
  if (opened) FFacts.Removed += static_cast<int>(doomed.size()) - failed;
  if (opened && createdFolder) folder.RemoveIfEmpty(nullptr);
  if (failed > 0) {
    // The journal stays, so that a later start removes what is left once it can.
    FJournal.Keep();
    FUi.Beep();
    FUi.MessageDlg(CleanUpFailedText(failed, BareName(gameFolder), std::strerror(failure)),
                   TMsgDlgType::mtError, mbOK);
  } else {
    FJournal.Finish();
  }
  // A scan made while the files were there counted the game as installed; it is not any more.
  if (FZipIndex < FCatalogue.GameStatus.size() &&
      FCatalogue.GameStatus[FZipIndex] != gsZipAvailable)
    ScanGameAvailability(FCatalogue);
}

bool GameFolderInUse(const std::string& emuDir, const std::string& folderName,
                     const std::string& ownJournal) {
  for (const TJournalClaim& claim : JournalClaims(emuDir, ownJournal))
    if (claim.Live && SameTextAscii(claim.Folder, folderName)) return true;
  return false;
}

TJournaledExtraction ExtractJournaled(TZipArchive& zip, TUnzipJournal& journal,
                                      const std::string& emuDir, const std::string& folderName,
                                      const std::function<void(int done)>& onFile) {
  const std::string dir = emuDir.empty() ? "." : emuDir;
  const std::string folder = platform::JoinPath(dir, folderName);
  TJournaledExtraction result;
  result.CreatedFolder = !platform::DirectoryExists(folder);
  const std::vector<std::string> before =
      result.CreatedFolder ? std::vector<std::string>() : FolderNames(folder);
  const std::vector<TJournalWant> wants = NewBareNames(zip.Entries(), before);
  std::string error;
  // The journal comes first: a crash right after the folder is made leaves a record of it.
  if (!journal.Begin(dir, zip.ZipFilename(), folderName, result.CreatedFolder, wants, &error))
    throw EStartError(error);
  // Another start that unzipped into this folder and still runs would delete these files under
  // this one's game, and this one's under its own: the later start gives way. Asked once the
  // journal is there, so that of two starts at one moment at least the later one sees the other.
  if (GameFolderInUse(dir, folderName, journal.Path())) {
    journal.Finish();
    result.InUse = true;
    return result;
  }
  if (result.CreatedFolder && !platform::CreateDir(folder)) {
    const int code = errno;
    journal.Finish();
    throw EStartError("Cannot create the folder " + folder + ": " + std::strerror(code));
  }

  std::map<std::string, std::string> wanted;  // lower-case name -> the archive's spelling
  for (const TJournalWant& want : wants) wanted.emplace(LowerAscii(want.Name), want.Name);
  std::set<std::string> recorded;  // the names recorded as this extraction's
  auto record = [&](const std::string& name) {
    if (recorded.count(name) || !journal.RecordFile(name)) return false;
    recorded.insert(name);
    return true;
  };

  // A file is complete when the library goes on to the next one.
  int done = 0;
  std::string current;
  zip.OnProgress = [&](TZipArchive&, TProgressType type, const std::string& name, std::int64_t) {
    if (type != NewFile) return;
    if (!current.empty() && wanted.count(LowerAscii(current))) record(current);
    current = std::string(BareName(name));
    if (onFile) onFile(++done);
  };
  zip.SetExtrBaseDir(platform::IncludeTrailingPathDelimiter(folder));
  try {
    zip.Extract();
  } catch (...) {
    zip.OnProgress = nullptr;
    throw;
  }
  zip.OnProgress = nullptr;
  // Not synced again: after a power loss the names synced at the start match the files (the
  // archive's sizes), and a killed process leaves every line written so far.
  for (const std::string& name : FilesWrittenByExtraction(zip.Entries(), before, folder)) {
    // A file that was not this extraction's (older than its journal) is never deleted by it.
    if (recorded.count(name) || record(name)) result.Written.push_back(name);
  }
  return result;
}

std::vector<std::string> FilesWrittenByExtraction(const std::vector<TZipEntry>& entries,
                                                  const std::vector<std::string>& before,
                                                  const std::string& folder) {
  // A library that compares names with their case may write a case variant beside a file that
  // was there: that variant is new, the file that was there is not.
  const std::set<std::string> had(before.begin(), before.end());
  std::map<std::string, std::vector<std::string>> added;  // lower-case name -> new files
  platform::ForEachEntry(
      folder, "*",
      [&](const platform::TSearchRec& entry) {
        if (!entry.IsDirectory && !had.count(entry.Name))
          added[LowerAscii(entry.Name)].push_back(entry.Name);
        return true;
      },
      platform::TListDetail::ldKind);
  std::vector<std::string> written;
  for (const TZipEntry& entry : entries) {
    const std::string_view name = BareName(entry.FileName);
    if (!IsBareFileName(name)) continue;
    const auto it = added.find(LowerAscii(name));
    if (it == added.end()) continue;
    std::sort(it->second.begin(), it->second.end());
    written.insert(written.end(), it->second.begin(), it->second.end());
    added.erase(it);  // a name stored twice is written once
  }
  return written;
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
