#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ShortString.h"

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
struct TCatalogue {
  std::vector<TGameRecord> Games;
  std::vector<std::int32_t> GameStatus;
  std::int32_t CurrentGame = -1;      ///< -1 none, 0 default settings, 1.. a game
  std::int32_t LastGameListPos = 0;
  std::string AltRomPath;             ///< empty (working directory) or ending in the separator
  std::string GameDir;                ///< the emulator's directory, recorded at start-up
};

/// The one catalogue of the running program.
TCatalogue& Catalogue();
