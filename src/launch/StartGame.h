#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "catalogue/Catalogue.h"
#include "launch/ExecFile.h"
#include "launch/UnzipJournal.h"
#include "launch/ZipArchive.h"
#include "platform/UserInteraction.h"

// The start of a game from the main window: driver check, argument string, clipboard capture
// around the run, and for a zipped game the extraction before and the clean-up after it.

/// A start that cannot go on (the emulator's folder or the game's folder is unusable); its text
/// is for the general error report.
class EStartError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr std::string_view ExecEmuFailText =
    "Failed to execute BatchFile, Please contact Orlen";
inline constexpr std::string_view NoFilesInZipText = "Error - no files in the Zip file";
inline constexpr std::string_view StartingVelkText = "Starting VELK";
/// Shown when a start arrives while a game still runs (the window stays live during a run).
inline constexpr std::string_view AlreadyRunningText =
    "VELK is already running!\rClose the running game before you start another one.";
/// Shown when a start arrives while no game is selected (a double click on an empty list).
inline constexpr std::string_view NoGameSelectedText =
    "No game selected!\rSelect a game in the list before you start VELK.";

/// "Velk driver for <zipName> not found!" CR "Make sure you have <zipName>.vlk in gamedir."
std::string DriverMissingText(std::string_view zipName);
/// Shown when the game's short name could name a folder outside the emulator's (hand-edited
/// settings file): nothing is started, created or unzipped.
std::string UnsafeZipNameText(std::string_view zipName);
/// Shown when another start's journal names the game's folder for a run that goes on.
std::string GameInUseText(std::string_view gameName);
/// Shown once when the files of a run cannot all be removed; the journal keeps the rest.
std::string CleanUpFailedText(int count, std::string_view folder, std::string_view reason);
/// "Removing unzipped files <done> of <total>"
std::string CleanUpProgressText(int done, int total);
/// "Unzipping <count> files from <zipName>.zip"
std::string UnzippingText(int count, std::string_view zipName);

/// What one start did, for the record of the game's runs.
struct TRunFacts {
  std::int32_t Game = -1;     ///< catalogue index
  std::string CommandLine;    ///< as the launcher started it
  std::string WorkingFolder;  ///< where it was started
  std::string Archive;        ///< the archive a zipped game was unzipped from
  int Extracted = 0;          ///< files this start unzipped
  int Removed = 0;            ///< of those, removed after the run
  bool Cancelled = false;     ///< stopped by the user before the emulator ran
  bool EmulatorStarted = false;
  /// The run was followed to its end; not so when the program was asked to quit meanwhile and
  /// left it running.
  bool Ended = false;
  int ExitStatus = -1;
  std::int64_t DurationMs = 0;  ///< from the launch until the run had ended
  std::string Failure;          ///< why the emulator was not started
};

/// The parts of the main window that a start drives.
class TStartWindow {
 public:
  virtual ~TStartWindow() = default;
  /// The check mark of the game list's selected row; false when no row is selected.
  virtual bool SelectedGameChecked() const = 0;
  /// Creates ScreenShots when missing, empties the clipboard and starts saving every picture that
  /// reaches it. Throws when the folder cannot be created or the clipboard cannot be emptied.
  virtual void JoinClipboardChain() = 0;
  virtual void LeaveClipboardChain() = 0;
  virtual void StopSlideShowTimer() = 0;
  /// Runs the slide-show timer exactly when the Play button is down.
  virtual void FollowSlideShowPlayButton() = 0;
  /// Re-reads the current game's screenshots and shows the current one.
  virtual void LoadScreenShots() = 0;
  /// Shows how many of an archive's files are extracted, with a way to cancel the extraction.
  virtual void ShowUnzipProgress(int /*done*/, int /*total*/) {}
  /// Shows how many of the files of a run are removed (no way to cancel that).
  virtual void ShowCleanUpProgress(int /*done*/, int /*total*/) {}
  virtual void HideUnzipProgress() {}
  /// A start of the game (catalogue index) begins; RunEnded follows when the start is over,
  /// whichever way it ends.
  virtual void RunBegins(std::int32_t /*game*/) {}
  /// The emulator is about to be started: the command line, folder and archive are known.
  virtual void EmulatorStarting(const TRunFacts& /*facts*/) {}
  virtual void RunEnded() {}
  /// The window was closed while the game runs: the clean-up waits for the game's end.
  virtual void ClosedDuringRun() {}
};

/// The main window's start handler and the unzip-run-clean-up of a zipped game.
class TGameStarter {
 public:
  /// execEmu is configured here (batch.bat, real-time, waited, ExecEmuFail), zipArchive through
  /// ConfigureZipArchive.
  TGameStarter(TCatalogue& catalogue, TExecFile& execEmu, TZipArchive& zipArchive,
               TUserInteraction& ui, TStartWindow& window);
  TGameStarter(const TGameStarter&) = delete;
  TGameStarter& operator=(const TGameStarter&) = delete;

  /// Starts the current game and returns when its run has ended. A start while another one runs,
  /// or without a current game, is refused with a message. Throws EStartError (and the window's
  /// capture errors) for a start that cannot go on; the window's state is restored first.
  void StartEmuButtonClick();

  /// Lists <AltRomPath><ZipName>.zip, extracts it into the game's folder (created when missing),
  /// runs the emulator and deletes the files this extraction wrote, driver files (".vlk") kept.
  void UnzipAndStart(const std::string& commandLine);

  /// True from the start of StartEmuButtonClick until it returns.
  bool Running() const { return FRunning; }
  /// True while an archive is extracted for a start.
  bool Extracting() const { return FZipArchive.Busy(); }
  /// Stops the running extraction at the library's next call: what it wrote is deleted and the
  /// emulator is not started. Nothing happens when no extraction runs.
  void CancelExtraction();
  /// True while the emulator of a zipped game runs: the batch files it uses stay until it ends,
  /// also when the window is closed meanwhile.
  bool ZippedRunActive() const { return FZippedRun; }
  /// What the last start did, complete once RunEnded is called.
  const TRunFacts& LastRunFacts() const { return FFacts; }

 private:
  void RunEmulator(const std::string& commandLine);
  void CleanUp(const std::string& gameFolder, const std::vector<std::string>& written,
               bool keepDrivers, bool createdFolder);
  void EnterGameDir();
  const TGameRecord& CurrentRecord() const;

  TCatalogue& FCatalogue;
  TExecFile& FExecEmu;
  TZipArchive& FZipArchive;
  TUserInteraction& FUi;
  TStartWindow& FWindow;
  bool FRunning = false;
  bool FCancelled = false;
  bool FZippedRun = false;
  std::size_t FZipIndex = 0;  // the zipped game being started
  TRunFacts FFacts;
  TUnzipJournal FJournal;
};

/// What ExtractJournaled did.
struct TJournaledExtraction {
  /// The files this extraction created (FilesWrittenByExtraction, less any file older than the
  /// journal), each recorded in the journal.
  std::vector<std::string> Written;
  bool CreatedFolder = false;  ///< the game folder was made for it
  /// A journal of another start names the folder for a run that goes on: nothing was extracted.
  bool InUse = false;
};

/// Extracts zip's archive into the game folder folderName of emuDir with a journal begun there:
/// the names the extraction may write first, then the folder (created when missing), then each
/// file as it is written; onFile(done) is called as the library begins each file. The journal
/// stays open for the run. Throws EStartError when the journal or the folder cannot be made,
/// before anything is extracted.
TJournaledExtraction ExtractJournaled(TZipArchive& zip, TUnzipJournal& journal,
                                      const std::string& emuDir, const std::string& folderName,
                                      const std::function<void(int done)>& onFile);

/// Whether a journal of emuDir other than ownJournal names the game folder folderName (any letter
/// case) for a start whose front-end or run still goes on.
bool GameFolderInUse(const std::string& emuDir, const std::string& folderName,
                     const std::string& ownJournal = {});

/// The files of folder that an extraction of entries wrote: the files it holds now and did not
/// hold before whose names are, without regard to letter case, bare names of the entries. before
/// holds the folder's names as they were before the extraction.
std::vector<std::string> FilesWrittenByExtraction(const std::vector<TZipEntry>& entries,
                                                  const std::vector<std::string>& before,
                                                  const std::string& folder);

/// ExecEmu's failure handler: the beep and the error box with the single button "Cancel".
void ExecEmuFail(TUserInteraction& ui);

/// The zip component's message handler: a message with an error code other than 0 (the unzip
/// library's own) in a plain box; the component has already shown its own messages.
void ZipArchiveMessage(TUserInteraction& ui, int errCode, const std::string& message);

/// The main window's zip component: library looked for in "." first, every entry extracted under
/// its bare name without overwriting, messages through ZipArchiveMessage unless a handler is set.
void ConfigureZipArchive(TZipArchive& zipArchive, TUserInteraction& ui);
