#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>

#include "Catalogue.h"
#include "IniFile.h"
#include "NewGames.h"
#include "WindowState.h"

class TNewGames;

/// The settings file and the emulator whose date it records, both in the working directory.
inline constexpr const char* SettingsFileName = "StartVELK.ini";
inline constexpr const char* EmuExeName = "velk.exe";

/// The settings file could not be read or written; what() is a text to show the user.
class ESettingsFile : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Game sections beyond those in the file that NumOfGames may still promise; a larger count is
/// cut there, so a hostile count never makes millions of entries.
inline constexpr std::int32_t MaxMissingGameSections = 1000;

/// Reads StartVELK.ini into cat (Games, AltRomPath, LastGameListPos) and window. When velk.exe's
/// date differs from the stored EmuExeDate (or either cannot be read), fills newGames from the
/// driver directories and drops every game whose ZipName is not among them. A missing file reads
/// as empty: Games becomes entry 0 with the initial defaults and window is left as given.
/// Throws ESettingsFile when the file exists but cannot be read, so it is never overwritten by a
/// catalogue that lost its contents.
void ReadSettings(TCatalogue& cat, TNewGames& newGames, TWindowState& window);

/// ReadSettings on a thread of its own from the moment it is made, into a fresh window state: the
/// start parses the catalogue's largest file while the window is being built.
class TSettingsAhead {
 public:
  explicit TSettingsAhead(std::string gameDir);  ///< starts reading gameDir's file at once
  ~TSettingsAhead();                             ///< waits for the reading to end
  TSettingsAhead(const TSettingsAhead&) = delete;
  TSettingsAhead& operator=(const TSettingsAhead&) = delete;

  /// What ReadSettings put in cat, newGames and window, once, for cat.GameDir; throws what it
  /// threw. False, with nothing changed, when it read another folder, could not run, or was
  /// taken already: the caller reads the file itself.
  bool Take(TCatalogue& cat, TNewGames& newGames, TWindowState& window);

  /// What was read may be out of date (files of a killed start were removed, whose drivers the
  /// reading may have counted, or a report kept the start waiting): the load reads again.
  void Discard() { FDiscarded = true; }

 private:
  TCatalogue FCat;
  TNewGames FNewGames;
  TWindowState FWindow;
  std::exception_ptr FError;
  bool FTaken = false;
  bool FDiscarded = false;
  std::thread FThread;
};

/// Section Game<n> as a record. For n other than 0 the record starts as entry0 and, when it uses
/// the default settings, keeps entry0's settings; a missing section gives the names "error".
TGameRecord ReadGameSection(const TIniFile& ini, std::int32_t n, const TGameRecord& entry0);

/// The whole settings file as SaveSettings stores it, with emuExeDate as EmuExeDate's text.
std::string SettingsText(const TCatalogue& cat, const TWindowState& window,
                         const std::string& emuExeDate);

/// Rewrites StartVELK.ini from cat and window, taking velk.exe's date again now (written empty
/// when it cannot be read, so the next start rescans). The window supplies its state as it is to
/// be stored: the Installed view when the list shows no game, the normal-state size when it is
/// maximised. The text goes to a temporary file that replaces the old one only when complete.
/// Throws ESettingsFile when it cannot be written, or when cat holds no entry at all (the load
/// never completed); the old file is then unchanged.
void SaveSettings(const TCatalogue& cat, const TWindowState& window);

/// Appends section Game<n> for record to writer: the four naming keys, then the eight settings
/// unless the record uses the default settings and n is not 0.
void WriteGameSection(TIniWriter& writer, std::int32_t n, const TGameRecord& record);
