#include "RunText.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "platform/ExitStatus.h"
#include "platform/Text.h"

namespace {

constexpr std::size_t kTailLines = 200;
constexpr std::size_t kTailLineBytes = 1000;

std::string Times(std::int32_t count, const char* one, const char* many) {
  return count == 1 ? std::string(one) : std::to_string(count) + many;
}

std::string FailedStarts(std::int32_t count) {
  return std::to_string(count) + (count == 1 ? " failed start" : " failed starts");
}

std::string LongStats(const TGameStats& s) {
  const std::int32_t timed = s.Plays - s.UnknownPlays;
  std::string text = "Played " + Times(s.Plays, "once", " times");
  if (s.UnknownPlays > 0)
    text += " (" +
            (s.UnknownPlays == s.Plays ? std::string(s.Plays == 1 ? "" : "all ")
                                       : std::to_string(s.UnknownPlays) + " ") +
            "of unknown length)";
  if (s.Plays == 1 && timed == 1) {
    text += ", for " + DurationText(s.TotalMs) + ", on ";
  } else {
    if (timed > 0) text += ", " + DurationText(s.TotalMs) + " in all";
    if (timed > 1) text += ", longest " + DurationText(s.LongestMs);
    text += ", last on ";
  }
  text += LocalTimeText(s.LastPlayedMs);
  if (s.FailedStarts > 0) text += ", " + FailedStarts(s.FailedStarts);
  return text;
}

std::string Field(std::string_view label, std::string_view value) {
  std::string line(label);
  line += ':';
  line.append(label.size() < 16 ? 16 - label.size() : 1, ' ');
  line += value;
  line += '\n';
  return line;
}

std::string CsvField(std::string_view bytes) {
  std::string text = DisplayText(bytes);
  // A leading =, +, - or @ would be a formula to a spreadsheet: a game's name is never run.
  if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
    text.insert(0, 1, '\'');
  if (text.find_first_of(",\"\r\n") == std::string::npos &&
      (text.empty() || (text.front() != ' ' && text.back() != ' ')))
    return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

bool LocalTm(std::int64_t ms, std::tm& out) {
  const auto time = static_cast<std::time_t>(ms / 1000);
  const std::tm* local = std::localtime(&time);
  if (!local) return false;
  out = *local;
  return true;
}

}  // namespace

std::string DurationText(std::int64_t ms) {
  const std::int64_t seconds = std::max<std::int64_t>(ms, 0) / 1000;
  if (seconds < 60) return std::to_string(seconds) + " s";
  const std::int64_t minutes = seconds / 60;
  if (minutes < 10)
    return std::to_string(minutes) + " min" +
           (seconds % 60 ? " " + std::to_string(seconds % 60) + " s" : std::string());
  if (minutes < 60) return std::to_string(minutes) + " min";
  return std::to_string(minutes / 60) + " h" +
         (minutes % 60 ? " " + std::to_string(minutes % 60) + " min" : std::string());
}

std::string LocalTimeText(std::int64_t ms, bool withSeconds) {
  std::tm tm{};
  if (!LocalTm(ms, tm)) return "?";
  char text[80];
  std::snprintf(text, sizeof text,
                withSeconds ? "%04d-%02d-%02d %02d:%02d:%02d" : "%04d-%02d-%02d %02d:%02d",
                tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

std::string ExitStatusText(int status) {
  const std::string meaning = platform::ExitStatusMeaning(status);
  return "exit status " + std::to_string(status) + (meaning.empty() ? "" : " (" + meaning + ")");
}

std::string FailedStartText(const TRunSummary& run, std::string_view reason) {
  if (!run.Ended) return {};
  if (run.Outcome == TRunOutcome::roFailed)
    return "Last start failed: " + ExitStatusText(run.ExitStatus) + ", after " +
           DurationText(run.DurationMs);
  if (run.Outcome == TRunOutcome::roNotStarted) {
    std::string why(reason.substr(0, reason.find('\r')));
    return "Last start failed: not started" + (why.empty() ? "" : " (" + why + ")");
  }
  return {};
}

std::vector<std::string> PlayStatsTexts(const TGameStats* stats) {
  if (!stats || stats->LastStartMs == 0) return {"Not played yet"};
  const TGameStats& s = *stats;
  std::vector<std::string> texts;
  std::string played, shorter, shortest;
  if (s.Plays > 0) {
    played = LongStats(s);
    shorter = "Played " + Times(s.Plays, "once", " times") + ", " + DurationText(s.TotalMs) +
              ", last " + LocalTimeText(s.LastPlayedMs).substr(0, 10);
    shortest = Times(s.Plays, "1 play", " plays") + ", " + DurationText(s.TotalMs);
  } else {
    played = "Not played yet, " + FailedStarts(s.FailedStarts);
    shorter = shortest = "Not played yet";
  }
  const std::string failed = s.HasLastRun ? FailedStartText(s.LastRun) : std::string();
  if (failed.empty()) return {played, shorter, shortest};
  const std::string failedShort =
      "Last start failed: status " + std::to_string(s.LastRun.ExitStatus);
  if (s.LastRun.Outcome == TRunOutcome::roNotStarted)
    return {failed + "; " + played, failed + "; " + shortest, failed, "Last start failed"};
  return {failed + "; " + played, failed + "; " + shortest, failed, failedShort};
}

std::vector<std::string> PlayStatsLines(const TGameStats* stats) {
  if (!stats || stats->LastStartMs == 0) return {"Not played yet"};
  const TGameStats& s = *stats;
  std::vector<std::string> lines;
  if (s.HasLastRun) {
    const std::string failed = FailedStartText(s.LastRun);
    if (!failed.empty()) lines.push_back(failed);
  }
  lines.push_back(s.Plays > 0 ? LongStats(s) : "Not played yet, " + FailedStarts(s.FailedStarts));
  return lines;
}

std::string LastRunReport(const TRunRecord& run, std::string_view name) {
  std::string text = "Last run of " + DisplayText(name) + " (" + DisplayText(run.Game) + ")\n\n";
  std::string result;
  if (!run.Ended) {
    result = "no end recorded: StartVELK or the computer stopped during the run, or it still runs";
  } else {
    switch (run.Outcome) {
      case TRunOutcome::roPlayed:
        result = "played for " + DurationText(run.DurationMs);
        break;
      case TRunOutcome::roFailed:
        result = "failed start: " + ExitStatusText(run.ExitStatus) + ", after " +
                 DurationText(run.DurationMs);
        break;
      case TRunOutcome::roNotStarted:
        result = "failed start: the emulator was not started";
        break;
      case TRunOutcome::roCancelled:
        result = "cancelled before the emulator started";
        break;
    }
  }
  text += Field("Result", result);
  if (run.Ended && run.Outcome == TRunOutcome::roNotStarted && !run.Reason.empty()) {
    std::string reason = DisplayText(run.Reason);
    std::replace(reason.begin(), reason.end(), '\r', ' ');
    text += Field("Reason", reason);
  }
  text += Field("Started", LocalTimeText(run.StartMs, true));
  if (run.Ended) text += Field("Ended", LocalTimeText(run.EndMs, true));
  const bool launched =
      run.Ended ? run.Outcome == TRunOutcome::roPlayed || run.Outcome == TRunOutcome::roFailed
                : true;
  if (run.Ended && launched)
    text += Field("Exit status", ExitStatusText(run.ExitStatus).substr(12));
  // A compaction keeps only the numbers of a run long ago.
  const bool numbersOnly = !run.Details && run.CommandLine.empty() && run.WorkingFolder.empty();
  text += Field("Command line", numbersOnly               ? "(not kept)"
                                : run.CommandLine.empty() ? "(none)"
                                                          : DisplayText(run.CommandLine));
  text += Field("Working folder", numbersOnly ? "(not kept)" : DisplayText(run.WorkingFolder));
  if (run.Archive.empty() && numbersOnly && run.Extracted > 0) {
    text += Field("Archive", "(not kept)");
    text += Field("Unzipped", std::to_string(run.Extracted) + " extracted, " +
                                  std::to_string(run.Removed) + " removed");
  } else if (run.Archive.empty()) {
    text += Field("Archive", "none (an installed game)");
  } else {
    std::string files = std::to_string(run.Extracted) +
                        (run.Extracted == 1 ? " file extracted" : " files extracted");
    if (run.Ended) files += ", " + std::to_string(run.Removed) + " removed";
    text += Field("Archive", DisplayText(run.Archive));
    text += Field("Unzipped", files);
  }
  const std::string notKept = "(not kept: only the most recently played games keep it)\n";
  text += "\nBatch file:\n";
  if (!run.Details)
    text += notKept;
  else if (run.BatchText.empty())
    text += "(none)\n";
  else {
    std::string batch = DisplayText(run.BatchText);
    batch.erase(std::remove(batch.begin(), batch.end(), '\r'), batch.end());
    text += batch;
    if (text.back() != '\n') text += '\n';
  }
  text += "\nEmulator output (the last 200 lines of VELKStart.txt):\n";
  if (!run.Details)
    text += notKept;
  else if (!launched || !run.Ended)
    text += "(none)\n";
  else if (run.Output.empty())
    text += "(nothing)\n";
  else {
    text += DisplayText(run.Output);
    if (text.back() != '\n') text += '\n';
  }
  return text;
}

std::string OutputTail(std::string_view bytes, bool cut) {
  if (cut) {
    const std::size_t first = bytes.find('\n');
    bytes = first == std::string_view::npos ? std::string_view() : bytes.substr(first + 1);
  }
  std::vector<std::string_view> lines;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  const std::size_t from = lines.size() > kTailLines ? lines.size() - kTailLines : 0;
  std::vector<std::string> kept;
  std::size_t total = 0;
  for (std::size_t i = lines.size(); i-- > from;) {
    std::string line = TruncateBytes(lines[i], kTailLineBytes);
    if (total + line.size() + 1 > MaxOutputText) break;
    total += line.size() + 1;
    kept.push_back(std::move(line));
  }
  std::string text;
  text.reserve(total);
  for (std::size_t i = kept.size(); i-- > 0;) {
    text += kept[i];
    text += '\n';
  }
  return text;
}

std::string PlayHistoryCsv(const std::vector<TExportRow>& rows) {
  std::string csv =
      "\xEF\xBB\xBFShort name,Name,Favourite,Times played,Total seconds,Last played,Failed "
      "starts\r\n";
  for (const TExportRow& row : rows) {
    const TGameStats& s = row.Stats;
    std::string played;
    if (s.LastPlayedMs > 0) {
      std::tm tm{};
      char text[80];
      if (LocalTm(s.LastPlayedMs, tm)) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", tm.tm_year + 1900,
                      tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
        played = text;
      }
    }
    csv += CsvField(row.ShortName) + ',' + CsvField(row.Name) + ',' + (s.Favourite ? "yes" : "no") +
           ',' + std::to_string(s.Plays) + ',' + std::to_string(s.TotalMs / 1000) + ',' + played +
           ',' + std::to_string(s.FailedStarts) + "\r\n";
  }
  return csv;
}
