#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "history/HistoryLog.h"

/// The play history of an emulator folder: favourites, every game's runs and totals, the last
/// run of each game and the program's own choices of view and order. It lives in a file of its own
/// beside the settings file, which it never touches. Every change is on the disk when the call
/// that makes it returns, so a start is on record before the emulator starts, whatever happens
/// next. Other programs may write the file too: their lines are appended whole under a lock, never
/// between the bytes of ours.
class TPlayHistory {
 public:
  /// Reads the history of the emulator folder dir. A file that is damaged, is no play history or
  /// is larger than one can be is renamed aside, never deleted; what could be read of a damaged
  /// one is kept in a new file. The text returned says what happened, for one message (empty when
  /// all is well). A history written by a newer StartVELK, or one that cannot be read, is left as
  /// it is and nothing is written to it.
  std::string Load(const std::string& dir);

  const std::string& Path() const { return FPath; }
  /// Whether changes reach the file; when not, they last for this session.
  bool Writable() const { return FWritable; }
  const THistoryLog& Log() const { return FLog; }

  bool SetFavourite(std::string_view game, bool favourite, std::string* error);
  bool SetPreference(std::string_view key, std::string_view value, std::string* error);

  /// Records the start of a run, before its emulator starts; gives run its id.
  bool RecordStart(TRunRecord& run, std::string* error);
  /// Records the end of run (Ended set). A run without RecordStart is recorded whole.
  bool RecordEnd(TRunRecord& run, std::string* error);

  /// Rewrites the file without the runs folded into totals once enough of them have gathered:
  /// the file stays within about twice what it must hold.
  bool CompactIfWorthIt(std::string* error);

 private:
  bool Append(const std::string& lines, std::string* error);
  std::uint64_t NewId();

  std::string FPath;
  THistoryLog FLog;
  bool FWritable = false;
  std::mt19937_64 FIds{std::random_device{}()};
};

/// The path of the history of the emulator folder dir.
std::string HistoryFileIn(const std::string& dir);
