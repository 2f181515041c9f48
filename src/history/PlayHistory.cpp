#include "PlayHistory.h"

#include <chrono>
#include <cstring>

#include "platform/Files.h"
#include "platform/RecordFile.h"
#include "platform/SharedFile.h"

namespace {

const std::string kName(HistoryFileName);

std::string NotRecorded() {
  return "\rFavourites and plays are kept only until StartVELK ends.";
}

}  // namespace

std::string HistoryFileIn(const std::string& dir) {
  return platform::JoinPath(dir.empty() ? "." : dir, kName);
}

std::string TPlayHistory::Load(const std::string& dir) {
  FPath = HistoryFileIn(dir);
  FWritable = false;
  FLog = THistoryLog();
  platform::TSharedContent content = platform::ReadShared(FPath, MaxHistoryBytes);
  switch (content.Result) {
    case platform::TSharedRead::srMissing:
      FWritable = true;
      return {};
    case platform::TSharedRead::srUnusable:
      return "The play history " + kName + " cannot be read: " +
             (content.Error == EINVAL  ? std::string("it is not a plain file")
              : content.Error == ELOOP ? std::string("it is a link")
                                       : std::string(std::strerror(content.Error))) +
             "." + NotRecorded();
    case platform::TSharedRead::srTooLarge:
    case platform::TSharedRead::srRead:
      break;
  }
  if (content.Result == platform::TSharedRead::srRead) {
    FLog = THistoryLog::Parse(std::move(content.Bytes));
    if (FLog.Problem() == THistoryProblem::hpNone) {
      FWritable = true;
      // A history whose program never closed normally is compacted here instead.
      CompactIfWorthIt(nullptr);
      return {};
    }
    if (FLog.Problem() == THistoryProblem::hpNewer) {
      FLog = THistoryLog();
      return "The play history " + kName +
             " was written by a newer StartVELK; it is left as it is." + NotRecorded();
    }
  }
  const bool damaged = FLog.Problem() == THistoryProblem::hpDamaged;
  if (!damaged) FLog = THistoryLog();
  const std::optional<std::string> aside =
      platform::RenameAside(FPath, damaged ? ".damaged" : ".foreign");
  std::string what = content.Result == platform::TSharedRead::srTooLarge
                         ? kName + " is larger than a play history can be."
                     : damaged ? "The play history " + kName + " is damaged (line " +
                                     std::to_string(FLog.DamagedLine()) + " cannot be read)."
                               : kName + " is not a play history of StartVELK.";
  if (!aside) return what + "\rIt cannot be renamed, so it is left as it is." + NotRecorded();
  std::string shownAside = *aside;
  if (const std::size_t cut = shownAside.find_last_of("/\\"); cut != std::string::npos)
    shownAside.erase(0, cut + 1);
  what += "\rIt was renamed to " + shownAside;
  FWritable = true;
  if (!damaged) return what + "; a new play history begins.";
  // What was read stays: the new file holds it, compacted.
  std::string error;
  const std::string kept = FLog.Compacted();
  if (!Append(kept.substr(HistoryHeader.size()), &error))
    return what + "; what could be read from it cannot be kept: " + error + "." + NotRecorded();
  FLog = THistoryLog::Parse(kept);
  return what + "; what could be read from it is kept.";
}

bool TPlayHistory::Append(const std::string& lines, std::string* error) {
  if (!FWritable) {
    if (error) *error = "the play history cannot be written";
    return false;
  }
  return platform::AppendShared(FPath, HistoryHeader, lines, error);
}

std::uint64_t TPlayHistory::NewId() {
  std::uint64_t id = 0;
  while (id == 0) id = FIds();
  return id;
}

bool TPlayHistory::SetFavourite(std::string_view game, bool favourite, std::string* error) {
  if (!IsHistoryGameName(game)) {
    if (error) *error = "the game's short name cannot be kept";
    return false;
  }
  FLog.SetFavourite(game, favourite);
  return Append(FavouriteLine(game, favourite), error);
}

bool TPlayHistory::SetPreference(std::string_view key, std::string_view value, std::string* error) {
  if (!IsHistoryGameName(key)) return false;
  FLog.SetPreference(key, value);
  return Append(PreferenceLine(key, value), error);
}

bool TPlayHistory::RecordStart(TRunRecord& run, std::string* error) {
  run.Id = NewId();
  run.Ended = false;
  if (!IsHistoryGameName(run.Game)) {
    if (error) *error = "the game's short name cannot be kept";
    return false;
  }
  return Append(StartLine(run), error);
}

bool TPlayHistory::RecordEnd(TRunRecord& run, std::string* error) {
  if (!IsHistoryGameName(run.Game)) {
    if (error) *error = "the game's short name cannot be kept";
    return false;
  }
  run.Ended = true;
  std::string lines;
  if (run.Id == 0) {
    run.Id = NewId();
    lines = StartLine(run);
  }
  lines += EndLine(run);
  FLog.AddRun(run);
  return Append(lines, error);
}

bool TPlayHistory::CompactIfWorthIt(std::string* error) {
  if (!FWritable || FLog.FoldableLines() < std::max<std::size_t>(1024, FLog.KeptLines()))
    return true;
  // From the file as it is now, with what other programs appended: a file that no longer reads
  // as a history is left to the next start to set aside.
  return platform::RewriteShared(
      FPath, MaxHistoryBytes,
      [](std::string_view current) -> std::optional<std::string> {
        const THistoryLog now = THistoryLog::Parse(std::string(current));
        if (now.Problem() != THistoryProblem::hpNone) return std::nullopt;
        return now.Compacted();
      },
      error);
}
