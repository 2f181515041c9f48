#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/UserInteraction.h"

// A record of one extraction, kept in the emulator's folder while a zipped game is unzipped and
// run, so that the next start can remove what a crashed or killed front-end left behind. It lives
// beside the emulator, never in a game folder, where it would count as one of the game's files.
//
// One line per record, names and paths with control characters, '%' and DEL written as %XX:
//   StartVELK unzip journal 1
//   owner <pid> <start mark>       the front-end that writes it
//   begun <time>                   when the extraction began (seconds since the epoch)
//   folder <path>                  the game folder
//   created <0|1>                  whether the start created that folder
//   archive <path>
//   want <size> <name>             a file the extraction may write (absent from the folder before)
//   file <size> <mtime> <name>     a file the extraction wrote, as it stood when written
//   run <pid> <start mark>         the emulator's process

/// A file that an extraction may write: its bare name and the size the archive gives it.
struct TJournalWant {
  std::string Name;
  std::uint64_t Size = 0;
};

/// The journal of the extraction in progress. Lines are written as they happen, so a killed
/// process leaves them all; the header with the names an extraction may write and the list of
/// written files before the run are also flushed to the disk, so that a power loss leaves them.
class TUnzipJournal {
 public:
  TUnzipJournal() = default;
  ~TUnzipJournal();
  TUnzipJournal(const TUnzipJournal&) = delete;
  TUnzipJournal& operator=(const TUnzipJournal&) = delete;

  /// Creates the journal in emuDir and writes its header; false with a reason when it cannot.
  bool Begin(const std::string& emuDir, const std::string& archive, const std::string& folder,
             bool createdFolder, const std::vector<TJournalWant>& wants, std::string* error);
  /// Records a written file (folder/name) with its size and modification time as they are now.
  void RecordFile(const std::string& name);
  /// Records the process that runs the emulator.
  void RecordRun(std::int64_t pid);
  /// Flushes what is written to the disk.
  void Sync();
  /// Removes the journal: the clean-up it guards is done.
  void Finish();
  bool Active() const { return FFd >= 0; }
  const std::string& Path() const { return FPath; }

 private:
  void WriteLine(const std::string& line);

  int FFd = -1;
  std::string FPath;
  std::string FFolder;
};

/// What became of one journal at start-up.
enum class TReplayOutcome { roCleaned, roPending, roDamaged };

/// Carries out one journal left behind: deletes the files it names that are still as the
/// extraction wrote them (.vlk drivers kept, as after a normal run), removes a folder the start
/// created once it is empty, and deletes the journal. A journal whose front-end or emulator still
/// runs is left for a later start. A damaged journal deletes nothing and is removed.
TReplayOutcome ReplayUnzipJournal(const std::string& journalPath);

/// Replays every journal in emuDir; a damaged one is reported in one message box. True when a
/// journal was carried out, so that files in game folders may have gone, or a box was shown.
bool ReplayUnzipJournals(const std::string& emuDir, TUserInteraction& ui);

/// The journal file name's pattern in the emulator's folder.
inline constexpr const char* UnzipJournalMask = "StartVELK-*.journal";

/// A mark of a process's start that tells it from a later process with the same id; empty
/// when the process does not run.
std::string ProcessStartMark(std::int64_t pid);
