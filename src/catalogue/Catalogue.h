#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ShortString.h"

namespace platform {
class TDirListing;
}

/// One catalogue entry: a plain value record, copied by assignment.
struct TGameRecord {
  TString30 Name;
  TString8 ZipName;
  std::int32_t CurrentSS = 0;
  bool UseDefSettings = true;
  bool Vsync = true;
  bool ScanLines = false;
  TString8 Resolution;
  bool RotateScreen = false;
  bool Sound = true;
  bool AltFMBase = false;
  bool Joystick = false;
  bool FrameSkip = false;
};

/// Fills a record with the initial defaults: "Default" names, Vsync and Sound on, the rest off.
void InitGameRecord(TGameRecord& record);

enum TGameStatus : std::int32_t { gsNotAvailable = 0, gsInstalled = 1, gsZipAvailable = 2 };

/// The program-wide state: the catalogue and its scalars. Entry 0 of Games is the default-settings
/// record; GameStatus has one element per entry (element 0 unused).
/// A game folder into which another start unzipped files that it may still use or has yet to
/// remove: those names never make the game count as installed.
struct TClaimedFolder {
  std::string Folder;
  std::vector<std::string> Names;
};

struct TCatalogue {
  std::vector<TGameRecord> Games;
  std::vector<std::int32_t> GameStatus;
  std::int32_t CurrentGame = -1;  ///< -1 none, 0 default settings, 1.. a game
  std::int32_t LastGameListPos = 0;
  std::string AltRomPath;  ///< empty (working directory) or ending in the separator
  std::string GameDir;     ///< the emulator's directory, recorded at start-up
  /// Asked by every availability scan, when set (the clean-up records of unzipped games), with
  /// the listing of GameDir the scan used: its records are found without reading the folder again.
  std::function<std::vector<TClaimedFolder>(const platform::TDirListing&)> ClaimedFolders;
};

/// The one catalogue of the running program.
TCatalogue& Catalogue();

/// A relative path taken from the emulator's directory (GameDir), whatever the working directory
/// is; an absolute path, or any path while GameDir is not recorded, stays as it is.
std::string InGameDir(const TCatalogue& cat, const std::string& path);

class TFolderSurvey;
class TSettingsAhead;
class TUserInteraction;
struct TWindowState;

/// True when the file exists in the working directory (found ignoring letter case); otherwise shows
/// "File not found: <name>" and "This file is needed by StartVELK." in an error box with "Cancel".
bool RequireFile(const std::string& fileName, TUserInteraction& ui);

/// The program entry's check: velk.exe, then readme.txt only when velk.exe is there, so at most
/// one message is shown. False means the program ends without a window.
bool RequireStartupFiles(TUserInteraction& ui);

/// The same check without a message: whether the program will go on to its window.
bool StartupFilesExist();

/// The required files that folder lacks, in the order they are asked for; empty when it holds both.
std::vector<std::string> MissingStartupFiles(const std::string& folder);

/// Builds cat.Games from the settings file, and when the emulator changed from its driver
/// directories and the readme, reporting new games and driver directories the readme lacks.
/// Throws ESettingsFile when the settings file exists but cannot be read. True when it showed a
/// report. The settings file is taken as ahead read it, when it did.
bool LoadCatalogue(TCatalogue& cat, TUserInteraction& ui, TWindowState& window,
                   TSettingsAhead* ahead = nullptr);

/// The catalogue's start-up: writeBatchFile, LoadCatalogue, ScanGameAvailability, taking the
/// answers of survey unless a report kept the start waiting on the user. Errors of writeBatchFile
/// and LoadCatalogue propagate and stop it there.
void StartupIO(TCatalogue& cat, TUserInteraction& ui, TWindowState& window,
               const std::function<void()>& writeBatchFile, TFolderSurvey* survey = nullptr,
               TSettingsAhead* settings = nullptr);

/// The catalogue's shutdown: SaveSettings from cat and window, then deleteBatchFiles, which runs
/// also when saving failed. A failed save keeps the old settings file and is shown as an error box
/// with "OK" after the batch files are gone; the result says whether the settings were saved.
/// A catalogue that was never loaded (an empty Games, after a failed start-up) is not saved, so
/// the file keeps what the failed start could not read; no box is shown for it.
bool ShutdownIO(const TCatalogue& cat, TUserInteraction& ui, const TWindowState& window,
                const std::function<void()>& deleteBatchFiles);
