#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/RecordFile.h"
#include "platform/UserInteraction.h"

namespace platform {
class TDirListing;
}

// A record of one extraction, kept in the emulator's folder while a zipped game is unzipped and
// run, so that the next start can remove what a crashed or killed front-end left behind. It lives
// beside the emulator, never in a game folder, where it would count as one of the game's files.
// Its writer holds it locked while it runs.
//
// One line per record, names and paths with control characters, '%' and DEL written as %XX:
//   StartVELK unzip journal 2
//   owner <pid> <start mark> <boot id>   the front-end that writes it
//   begun <time>                         when the extraction began (seconds since the epoch)
//   folder <name>                        the game folder: one plain name in the emulator's folder
//   created <0|1>                        whether the start creates that folder
//   archive <path>
//   want <size> <name>                   a file the extraction may write (absent from the folder)
//   file <size> <mtime> <ctime> <inode> <name>   a file it wrote, as it stood when written (ns)
//   run <pid> <start mark> <boot id>     the first process of the emulator's run
//
// A journal is input like any other file: it may have been planted. Its replay deletes only
// regular files directly inside the one game folder it names, that folder a plain entry of the
// emulator's folder and no link, and only files that came into being after the journal did.

/// A file that an extraction may write: its bare name and the size the archive gives it.
struct TJournalWant {
  std::string Name;
  std::uint64_t Size = 0;
};

/// The journal of the extraction in progress. Lines are written as they happen, so a killed
/// process leaves them all; the header with the names an extraction may write is on the disk
/// before the name of the journal appears.
class TUnzipJournal {
 public:
  TUnzipJournal() = default;
  TUnzipJournal(const TUnzipJournal&) = delete;
  TUnzipJournal& operator=(const TUnzipJournal&) = delete;

  /// Creates a journal in emuDir under a name no other journal has, for the game folder folder
  /// (one plain name in emuDir); false with a reason when it cannot.
  bool Begin(const std::string& emuDir, const std::string& archive, const std::string& folder,
             bool createdFolder, const std::vector<TJournalWant>& wants, std::string* error);
  /// Records a written file of the game folder with its stamp as it is now. False when the file
  /// is not one this extraction can have made (no regular file, or older than the journal).
  bool RecordFile(const std::string& name);
  /// Records the first process of the emulator's run.
  void RecordRun(std::int64_t pid);
  /// Flushes what is written to the disk.
  void Sync();
  /// Removes the journal: the clean-up it guards is done.
  void Finish();
  /// Leaves the journal for a later start (a clean-up that could not finish) and lets it go.
  void Keep();
  bool Active() const { return FRecord.IsOpen(); }
  const std::string& Path() const { return FRecord.Path(); }

 private:
  platform::TLockedRecord FRecord;
  std::string FEmuDir;
  std::string FFolder;
  std::int64_t FBornNs = 0;  // the journal's creation as the file system tells it
};

/// What became of one journal at start-up.
enum class TReplayOutcome {
  roCleaned,     ///< done: the journal is removed
  roPending,     ///< its front-end or its run still goes on: left for a later start
  roIncomplete,  ///< some files could not be removed: the journal is kept for a later start
  roDamaged      ///< not a journal of this program's, or one naming what it may not: set aside
};

/// Carries out one journal of emuDir left behind (name: its file name there): deletes the files
/// it names that are still as the extraction wrote them (.vlk drivers kept after a run), removes a
/// folder the start created once it is empty, and deletes the journal. why tells what stopped an
/// incomplete or damaged replay.
TReplayOutcome ReplayUnzipJournal(const std::string& emuDir, const std::string& name,
                                  std::string* why = nullptr);

/// Replays every journal in emuDir; damaged ones and clean-ups that could not finish are reported
/// in one message box each kind. True when a journal was carried out, so that files in game
/// folders may have gone, or a box was shown.
bool ReplayUnzipJournals(const std::string& emuDir, TUserInteraction& ui);

/// A game folder that a journal of another start names while its files may still be in use or
/// wait for their clean-up: the names it may have written there.
struct TJournalClaim {
  std::string Folder;
  std::vector<std::string> Names;
  bool Live = false;  ///< its front-end or its run still goes on
};

/// The claims of the journals in emuDir other than the one at ownPath.
std::vector<TJournalClaim> JournalClaims(const std::string& emuDir,
                                         const std::string& ownPath = {});
/// The same for the journals of a listing of emuDir.
std::vector<TJournalClaim> JournalClaims(const std::string& emuDir,
                                         const platform::TDirListing& listing,
                                         const std::string& ownPath = {});

/// The journal file name's pattern in the emulator's folder.
inline constexpr const char* UnzipJournalMask = "StartVELK-*.journal";
