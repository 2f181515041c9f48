// The real program's hooks of the main window: catalogue, batch files, unzip library, dialogs.

#include "About.h"
#include "AltRomPath.h"
#include "FontScale.h"
#include "MainWindow.h"
#include "SetScreenShotTimer.h"
#include "StartUtils.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Scans.h"
#include "catalogue/SettingsFile.h"
#include "launch/BatchFile.h"
#include "launch/UnzipJournal.h"
#include "launch/ZipArchive.h"
#include "platform/UserInteraction.h"
#include "screenshots/Placement.h"

TMainHooks DefaultMainHooks(TUserInteraction& ui, TFolderSurvey* survey,
                            TSettingsAhead* settings) {
  TMainHooks hooks;
  // Another StartVELK cannot begin a start in this folder meanwhile (one per folder), so the
  // records in the scan's listing are all there are.
  Catalogue().ClaimedFolders = [](const platform::TDirListing& gameDir) {
    std::vector<TClaimedFolder> folders;
    for (TJournalClaim& claim : JournalClaims(Catalogue().GameDir, gameDir))
      folders.push_back({std::move(claim.Folder), std::move(claim.Names)});
    return folders;
  };
  hooks.StartupIO = [&ui, survey, settings](TWindowState& window) {
    StartupIO(
        Catalogue(), ui, window,
        [&ui, survey, settings] {
          // Before the scans: files a killed front-end left would make their game count as
          // installed (or their drivers as new games), and what the survey and the settings'
          // reading found before is out of date. Before the batch file too: the emulator
          // folder's listing that the survey read still serves the search for the journals.
          if (ReplayUnzipJournals(Catalogue().GameDir, ui)) {
            if (survey) survey->Discard();
            if (settings) settings->Discard();
          }
          WriteBatchFile(Catalogue().GameDir);
        },
        survey, settings);
  };
  hooks.ShutdownIO = [&ui](const TWindowState& window) {
    ShutdownIO(Catalogue(), ui, window, [] { DeleteBatchFiles(Catalogue().GameDir); });
  };
  hooks.DeleteBatchFiles = [] { DeleteBatchFiles(Catalogue().GameDir); };
  hooks.ScanGameAvailability = [] { ScanGameAvailability(Catalogue()); };
  // The library is looked for in the emulator's folder first, then beside the program.
  hooks.LoadUnzipLibrary = [](TZipArchive& zip) {
    zip.SetDLLDirectory(".");
    zip.LoadUnzipLibrary();
  };
  hooks.UnloadUnzipLibrary = [] { TZipArchive::UnloadUnzipLibrary(); };
  hooks.EditZipRompath = [](const std::string& path) { return EditZipRompath(path); };
  hooks.EditScreenShotTimer = [](std::int32_t interval) {
    return EditScreenShotTimer(interval, [](std::int32_t& seconds) {
      TimerSeconds = seconds;
      ShowScreenShotTimerForm();
      seconds = TimerSeconds;
    });
  };
  hooks.ShowAbout = [](const std::string& version) { ShowAbout(version); };
  // The emulator's documents are in its folder, the program's own also where it is installed;
  // web addresses are not paths and stay as they are. What cannot be opened is said.
  hooks.ShellOpen = [&ui](const std::string& target) {
    if (target.find("://") != std::string::npos || target.rfind("mailto:", 0) == 0)
      OpenOrSay({target}, ui);
    else if (target.rfind("StartVELK", 0) == 0)
      OpenOrSay(ProgramDocumentPlaces(target, Catalogue().GameDir), ui);
    else
      OpenOrSay({InGameDir(Catalogue(), target)}, ui);
  };
  hooks.ScaleFonts = [](QWidget& window) { ScaleFonts(&window); };
  return hooks;
}
