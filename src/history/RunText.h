#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "history/HistoryLog.h"

// The play history in words: the statistics line, the reason a start failed, the report of a
// game's last run and the exported table.

/// "0 s", "45 s", "3 min 5 s", "12 min", "1 h 12 min".
std::string DurationText(std::int64_t ms);
/// Local date and time: "2024-05-01 14:03", with seconds "2024-05-01 14:03:12".
std::string LocalTimeText(std::int64_t ms, bool withSeconds = false);
/// "exit status 3", with what the platform reads into it: "exit status 139 (signal 11, ...)".
std::string ExitStatusText(int status);

/// "Last start failed: exit status 3, after 2 s", "Last start failed: not started (reason)";
/// empty when run was no failed start.
std::string FailedStartText(const TRunSummary& run, std::string_view reason = {});

/// The statistics line of a game (null: no history), longest form first; a shorter form is for
/// less room. A failed last start comes first.
std::vector<std::string> PlayStatsTexts(const TGameStats* stats);
/// The statistics as lines, for a tool tip.
std::vector<std::string> PlayStatsLines(const TGameStats* stats);

/// Everything recorded of a run, as text for the user and a bug report; name is the game's name.
std::string LastRunReport(const TRunRecord& run, std::string_view name);

/// The last lines (at most 200) of what a program wrote, from the end of its output file; cut
/// says the bytes do not begin at the file's start, so their first line is not whole.
std::string OutputTail(std::string_view bytes, bool cut);
/// How many bytes of the output file are read for OutputTail.
inline constexpr std::size_t OutputTailBytes = 64 * 1024;

/// One line of the exported table.
struct TExportRow {
  std::string ShortName;
  std::string Name;  ///< empty for a game no longer in the catalogue
  TGameStats Stats;
};
/// The table as CSV (UTF-8 with its byte order mark, CR LF lines, RFC 4180 quoting): short name,
/// name, favourite, times played, total seconds, last played (ISO 8601, local time), failed
/// starts. A text that a spreadsheet would take for a formula is kept as text.
std::string PlayHistoryCsv(const std::vector<TExportRow>& rows);
