#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The play history file, StartVELK.history beside StartVELK.ini: a header line, then one record
// a line, its fields separated by tabs. Lines are only ever appended; a compaction now and then
// replaces the file by an equal one without the runs it has folded into totals.
//
//   P <key> <value>                      a choice of the program's own (a view, an order)
//   F <game> <1|0>                       the game is, or is no longer, a favourite
//   G <game> <plays> <unknown> <failed> <totalMs> <longestMs> <lastPlayedMs> <lastStartMs>
//     [<startMs> <ended> <endMs> <durationMs> <outcome> <status> <extracted> <removed>]
//                                        totals of runs a compaction folded, and the numbers of
//                                        the game's last run when its lines were not kept
//   S <id> <game> <startMs> <extracted> <details> <command line> <folder> <archive> <batch text>
//                                        a run begins (written before the emulator starts)
//   E <id> <endMs> <durationMs> <outcome> <status> <removed> <reason> <output>
//                                        the run of that id has ended
//
// Text fields escape backslash, tab, line feed and carriage return as \\ \t \n \r. Times are
// milliseconds since 1970 (UTC). A game is its short name.

inline constexpr std::string_view HistoryFileName = "StartVELK.history";
inline constexpr std::string_view HistoryHeader = "StartVELK play history 1\n";

/// Bounds of what the file may hold; a file beyond them is no file of ours.
inline constexpr std::size_t MaxHistoryBytes = std::size_t{256} << 20;
inline constexpr std::size_t MaxHistoryLine = std::size_t{256} << 10;
inline constexpr std::size_t MaxGameName = 64;
inline constexpr std::size_t MaxPathText = 4096;
inline constexpr std::size_t MaxBatchText = 8192;
inline constexpr std::size_t MaxReasonText = 1024;
inline constexpr std::size_t MaxOutputText = 32768;
/// A compaction keeps the last runs of this many games (the most recently started) whole; the
/// other games keep their totals and the numbers of their last run.
inline constexpr std::size_t DetailedLastRuns = 200;

/// How a run ended. A run ended within ten seconds with a status other than 0, or one that could
/// not be started, is a failed start, not a play.
enum class TRunOutcome : char {
  roPlayed = 'p',
  roFailed = 'f',      ///< ended at once with a status other than 0
  roNotStarted = 'n',  ///< the emulator was never started
  roCancelled = 'c',   ///< the user stopped the start before the emulator ran
};

/// The outcome of a run from what is known of it.
TRunOutcome ClassifyRun(bool started, bool cancelled, std::int64_t durationMs, int exitStatus);

/// One run as recorded.
struct TRunRecord {
  std::uint64_t Id = 0;
  std::string Game;
  std::int64_t StartMs = 0;
  std::int32_t Extracted = 0;  ///< files unzipped for it
  bool Details = true;         ///< the batch text and output are kept
  std::string CommandLine;
  std::string WorkingFolder;
  std::string Archive;  ///< the archive it was unzipped from; empty for an installed game
  std::string BatchText;
  bool Ended = false;  ///< an end was recorded
  std::int64_t EndMs = 0;
  std::int64_t DurationMs = 0;
  TRunOutcome Outcome = TRunOutcome::roPlayed;
  std::int32_t ExitStatus = -1;  ///< -1: not known
  std::int32_t Removed = 0;      ///< unzipped files removed after it
  std::string Reason;            ///< why it was not started
  std::string Output;            ///< the end of the emulator's output
};

/// The numbers of a run that its game's totals need.
struct TRunSummary {
  std::int64_t StartMs = 0;
  bool Ended = false;
  std::int64_t DurationMs = 0;
  TRunOutcome Outcome = TRunOutcome::roPlayed;
  std::int32_t ExitStatus = -1;
};

TRunSummary SummaryOf(const TRunRecord& run);

/// A game's totals. A run without a recorded end counts as a play of unknown length.
struct TPlayTally {
  std::int32_t Plays = 0;
  std::int32_t UnknownPlays = 0;
  std::int32_t FailedStarts = 0;
  std::int64_t TotalMs = 0;
  std::int64_t LongestMs = 0;
  std::int64_t LastPlayedMs = 0;  ///< start of the last play; 0 when never played
  std::int64_t LastStartMs = 0;   ///< start of the last run of any outcome

  void Add(const TRunSummary& run);
  void Add(const TPlayTally& other);
  bool Empty() const { return LastStartMs == 0 && Plays == 0 && FailedStarts == 0; }
};

/// What the list and the statistics line show of a game.
struct TGameStats : TPlayTally {
  bool Favourite = false;
  bool HasLastRun = false;
  TRunSummary LastRun;
};

/// Why a file could not be taken as it is.
enum class THistoryProblem { hpNone, hpForeign, hpNewer, hpDamaged };

/// The play history in memory: parsed from the file's text, changed by what this program records.
class THistoryLog {
 public:
  /// Parses the file's text. Every line is checked; a line that is not a record of this format
  /// makes the text damaged (the lines before and after it are still taken). A last line without
  /// its end, which a crash during a write leaves, is not taken and is no damage.
  static THistoryLog Parse(std::string text);

  THistoryProblem Problem() const { return FProblem; }
  /// The first line (counted from 1) that made the text damaged.
  std::size_t DamagedLine() const { return FDamagedLine; }

  /// The stats of a game; nothing when it has no history and is no favourite.
  std::optional<TGameStats> Stats(std::string_view game) const;
  bool Favourite(std::string_view game) const;
  /// The last run of a game with everything recorded of it.
  std::optional<TRunRecord> LastRun(std::string_view game) const;
  /// Games started most recently, most recent first; at most limit.
  std::vector<std::string> RecentGames(std::size_t limit) const;
  /// Calls back for every game the history knows, in no particular order.
  void ForEachGame(const std::function<void(const std::string&, const TGameStats&)>& each) const;
  std::string Preference(std::string_view key) const;

  /// What a line written by the program does, applied to memory.
  void SetFavourite(std::string_view game, bool favourite);
  void SetPreference(std::string_view key, std::string_view value);
  void AddRun(const TRunRecord& run);

  /// Lines a compaction would leave out or merge.
  std::size_t FoldableLines() const { return FLines - KeptLines(); }
  /// Lines a compaction would write.
  std::size_t KeptLines() const;
  /// The compacted file: the same stats, favourites, choices and last runs, the older runs
  /// folded into totals.
  std::string Compacted() const;

 private:
  struct TLineRef {
    std::size_t At = 0;
    std::size_t Length = 0;
  };
  struct TGameEntry {
    std::string Game;
    bool Favourite = false;
    TPlayTally Folded;  // every run but the last
    bool HasLastRun = false;
    TRunSummary Last;
    // Where the rest of the last run is: its lines in FText, a record of this program's, or
    // only these numbers (a compaction kept no more).
    TLineRef StartLine, EndLine;
    std::shared_ptr<const TRunRecord> Owned;
    std::int64_t LastEndMs = 0;
    std::int32_t LastExtracted = 0, LastRemoved = 0;
  };

  const TGameEntry* Find(std::string_view game) const;
  std::size_t Index(std::string_view game);  // made when missing
  void SetLast(TGameEntry& entry, const TRunSummary& run, TLineRef start, TLineRef end,
               std::shared_ptr<const TRunRecord> owned);
  std::optional<TRunRecord> RecordOf(const TGameEntry& entry) const;
  void Damaged(std::size_t line);

  std::string FText;
  std::vector<TGameEntry> FGames;
  // Open addressing over FGames: position + 1, 0 for a free slot; a power of two in size.
  std::vector<std::uint32_t> FSlots;
  std::map<std::string, std::string, std::less<>> FPreferences;
  THistoryProblem FProblem = THistoryProblem::hpNone;
  std::size_t FDamagedLine = 0;
  std::size_t FLines = 0;  // record lines, as the file would hold them
};

/// A text field as the file holds it, appended to out.
void AppendEscaped(std::string& out, std::string_view text);
/// The text of an escaped field; nothing when an escape is not one of the four.
std::optional<std::string> Unescaped(std::string_view field);

/// The lines that record a run's start (S) and end (E), each ended by a line feed.
std::string StartLine(const TRunRecord& run);
std::string EndLine(const TRunRecord& run);
std::string FavouriteLine(std::string_view game, bool favourite);
std::string PreferenceLine(std::string_view key, std::string_view value);

/// Whether a name can be a game's in the file: 1 to MaxGameName bytes, no control character.
bool IsHistoryGameName(std::string_view game);
