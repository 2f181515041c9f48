#include "HistoryLog.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>

#include "platform/Text.h"

namespace {

constexpr std::int64_t kMaxMs = 100'000'000'000'000;  // about the year 5138
constexpr std::int32_t kMaxCount = 1'000'000'000;
constexpr std::size_t kMaxOpenRuns = 1024;  // runs without an end that an end may still follow
constexpr std::int64_t kFailWithinMs = 10'000;
constexpr std::string_view kVersionPrefix = "StartVELK play history ";

std::int64_t SaturatedAdd(std::int64_t a, std::int64_t b) {
  return a > std::numeric_limits<std::int64_t>::max() - b ? std::numeric_limits<std::int64_t>::max()
                                                          : a + b;
}
std::int32_t SaturatedAdd(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{a} + b, kMaxCount));
}

template <class T>
bool Number(std::string_view field, T& out, T low, T high) {
  if (field.empty() || field.size() > 20) return false;
  const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), out);
  return ec == std::errc() && end == field.data() + field.size() && out >= low && out <= high;
}

bool Id(std::string_view field, std::uint64_t& out) {
  if (field.size() != 16) return false;
  const auto [end, ec] = std::from_chars(field.data(), field.data() + 16, out, 16);
  return ec == std::errc() && end == field.data() + 16 &&
         std::all_of(field.begin(), field.end(), [](char c) { return c < 'A' || c > 'F'; });
}

bool ValidEscapes(std::string_view field) {
  for (std::size_t at = field.find('\\'); at != std::string_view::npos;
       at = field.find('\\', at + 2)) {
    if (at + 1 >= field.size()) return false;
    const char c = field[at + 1];
    if (c != '\\' && c != 't' && c != 'n' && c != 'r') return false;
  }
  return true;
}

bool IsOutcome(char c) {
  return c == 'p' || c == 'f' || c == 'n' || c == 'c';
}

// Splits a line at its tabs into at most fields.size() fields; the count, or more than the size
// when the line holds more.
template <std::size_t N>
std::size_t Split(std::string_view line, std::array<std::string_view, N>& fields) {
  std::size_t count = 0;
  for (;;) {
    if (count == N) return N + 1;
    const std::size_t tab = line.find('\t');
    fields[count++] = line.substr(0, tab);
    if (tab == std::string_view::npos) return count;
    line.remove_prefix(tab + 1);
  }
}

void AppendNumber(std::string& out, std::int64_t value) {
  char buffer[24];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, end);
}

void AppendId(std::string& out, std::uint64_t id) {
  char buffer[17];
  for (int i = 15; i >= 0; --i) {
    buffer[i] = "0123456789abcdef"[id & 15];
    id >>= 4;
  }
  out.append(buffer, 16);
}

void AppendField(std::string& out, std::string_view text, std::size_t maxBytes) {
  out.push_back('\t');
  AppendEscaped(out, std::string_view(text).substr(0, TruncatedLength(text, maxBytes)));
}

std::int64_t Clamped(std::int64_t value, std::int64_t high) {
  return std::clamp<std::int64_t>(value, 0, high);
}

}  // namespace

TRunOutcome ClassifyRun(bool started, bool cancelled, std::int64_t durationMs, int exitStatus) {
  if (cancelled) return TRunOutcome::roCancelled;
  if (!started) return TRunOutcome::roNotStarted;
  if (exitStatus != 0 && exitStatus != -1 && durationMs < kFailWithinMs)
    return TRunOutcome::roFailed;
  return TRunOutcome::roPlayed;
}

TRunSummary SummaryOf(const TRunRecord& run) {
  return {run.StartMs, run.Ended, run.DurationMs, run.Outcome, run.ExitStatus};
}

void TPlayTally::Add(const TRunSummary& run) {
  LastStartMs = std::max(LastStartMs, run.StartMs);
  if (!run.Ended || run.Outcome == TRunOutcome::roPlayed) {
    Plays = SaturatedAdd(Plays, 1);
    LastPlayedMs = std::max(LastPlayedMs, run.StartMs);
    if (!run.Ended) {
      UnknownPlays = SaturatedAdd(UnknownPlays, 1);
    } else {
      TotalMs = SaturatedAdd(TotalMs, run.DurationMs);
      LongestMs = std::max(LongestMs, run.DurationMs);
    }
  } else if (run.Outcome != TRunOutcome::roCancelled) {
    FailedStarts = SaturatedAdd(FailedStarts, 1);
  }
}

void TPlayTally::Add(const TPlayTally& other) {
  Plays = SaturatedAdd(Plays, other.Plays);
  UnknownPlays = SaturatedAdd(UnknownPlays, other.UnknownPlays);
  FailedStarts = SaturatedAdd(FailedStarts, other.FailedStarts);
  TotalMs = SaturatedAdd(TotalMs, other.TotalMs);
  LongestMs = std::max(LongestMs, other.LongestMs);
  LastPlayedMs = std::max(LastPlayedMs, other.LastPlayedMs);
  LastStartMs = std::max(LastStartMs, other.LastStartMs);
}

bool IsHistoryGameName(std::string_view game) {
  return !game.empty() && game.size() <= MaxGameName && !HasControlCharacter(game);
}

void AppendEscaped(std::string& out, std::string_view text) {
  std::size_t from = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char* escape = c == '\\'   ? "\\\\"
                         : c == '\t' ? "\\t"
                         : c == '\n' ? "\\n"
                         : c == '\r' ? "\\r"
                                     : nullptr;
    if (!escape) continue;
    out.append(text.data() + from, i - from);
    out.append(escape, 2);
    from = i + 1;
  }
  out.append(text.data() + from, text.size() - from);
}

std::optional<std::string> Unescaped(std::string_view field) {
  if (!ValidEscapes(field)) return std::nullopt;
  std::string text;
  text.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\') {
      text.push_back(field[i]);
      continue;
    }
    const char c = field[++i];
    text.push_back(c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : '\\');
  }
  return text;
}

std::string StartLine(const TRunRecord& run) {
  std::string line = "S\t";
  AppendId(line, run.Id);
  line += '\t';
  line += run.Game;
  line += '\t';
  AppendNumber(line, Clamped(run.StartMs, kMaxMs));
  line += '\t';
  AppendNumber(line, Clamped(run.Extracted, kMaxCount));
  line += run.Details ? "\t1" : "\t0";
  AppendField(line, run.CommandLine, MaxPathText);
  AppendField(line, run.WorkingFolder, MaxPathText);
  AppendField(line, run.Archive, MaxPathText);
  AppendField(line, run.Details ? std::string_view(run.BatchText) : std::string_view(),
              MaxBatchText);
  line += '\n';
  return line;
}

std::string EndLine(const TRunRecord& run) {
  std::string line = "E\t";
  AppendId(line, run.Id);
  line += '\t';
  AppendNumber(line, Clamped(run.EndMs, kMaxMs));
  line += '\t';
  AppendNumber(line, Clamped(run.DurationMs, kMaxMs));
  line += '\t';
  line += static_cast<char>(run.Outcome);
  line += '\t';
  AppendNumber(line, run.ExitStatus);
  line += '\t';
  AppendNumber(line, Clamped(run.Removed, kMaxCount));
  AppendField(line, run.Reason, MaxReasonText);
  AppendField(line, run.Details ? std::string_view(run.Output) : std::string_view(), MaxOutputText);
  line += '\n';
  return line;
}

std::string FavouriteLine(std::string_view game, bool favourite) {
  std::string line = "F\t";
  line += game;
  line += favourite ? "\t1\n" : "\t0\n";
  return line;
}

std::string PreferenceLine(std::string_view key, std::string_view value) {
  std::string line = "P\t";
  line += key;
  AppendField(line, value, MaxReasonText);
  line += '\n';
  return line;
}

void THistoryLog::Damaged(std::size_t line) {
  if (FProblem == THistoryProblem::hpNone) {
    FProblem = THistoryProblem::hpDamaged;
    FDamagedLine = line;
  }
}

THistoryLog THistoryLog::Parse(std::string text) {
  THistoryLog log;
  log.FText = std::move(text);
  const std::string_view all(log.FText);
  if (!all.starts_with(HistoryHeader)) {
    // Nothing yet, or the header cut short by a crash during the very first write.
    if (all.size() < HistoryHeader.size() && HistoryHeader.starts_with(all)) return log;
    const std::size_t end = all.find('\n');
    std::uint32_t version = 0;
    if (all.starts_with(kVersionPrefix) && end != std::string_view::npos &&
        Number<std::uint32_t>(all.substr(kVersionPrefix.size(), end - kVersionPrefix.size()),
                              version, 2, 1'000'000))
      log.FProblem = THistoryProblem::hpNewer;
    else
      log.FProblem = THistoryProblem::hpForeign;
    return log;
  }

  struct TParsedRun {
    std::size_t Game;
    std::uint64_t Id;
    TRunSummary Summary;
    TLineRef Start, End;  // none for a run of which a G line keeps the numbers only
    std::int64_t EndMs;
    std::int32_t Extracted, Removed;
  };
  std::vector<TParsedRun> runs;
  const std::size_t lines = std::min<std::size_t>(all.size() / 64, std::size_t{1} << 20);
  runs.reserve(lines / 2);
  log.FGames.reserve(lines);
  std::vector<std::size_t> open;  // runs whose end has not come, oldest first
  std::size_t pos = HistoryHeader.size();
  std::size_t lineNumber = 1;
  std::array<std::string_view, 17> f;
  while (pos < all.size()) {
    const std::size_t end = all.find('\n', pos);
    ++lineNumber;
    if (end == std::string_view::npos) break;  // cut short by a crash: not taken
    const TLineRef ref{pos, end - pos};
    const std::string_view line = all.substr(pos, end - pos);
    pos = end + 1;
    const std::size_t count = line.size() <= MaxHistoryLine ? Split(line, f) : 0;
    bool good = false;
    if (count == 10 && f[0] == "S") {
      TParsedRun run{};
      std::int32_t extracted = 0;
      good = Id(f[1], run.Id) && IsHistoryGameName(f[2]) &&
             Number<std::int64_t>(f[3], run.Summary.StartMs, 0, kMaxMs) &&
             Number<std::int32_t>(f[4], extracted, 0, kMaxCount) && (f[5] == "0" || f[5] == "1") &&
             ValidEscapes(f[6]) && ValidEscapes(f[7]) && ValidEscapes(f[8]) && ValidEscapes(f[9]);
      if (good) {
        run.Game = log.Index(f[2]);
        run.Start = ref;
        open.push_back(runs.size());
        runs.push_back(run);
        if (open.size() > kMaxOpenRuns) open.erase(open.begin());
      }
    } else if (count == 9 && f[0] == "E") {
      std::uint64_t id = 0;
      TRunSummary ended;
      std::int64_t endMs = 0;
      std::int32_t removed = 0;
      good = Id(f[1], id) && Number<std::int64_t>(f[2], endMs, 0, kMaxMs) &&
             Number<std::int64_t>(f[3], ended.DurationMs, 0, kMaxMs) && f[4].size() == 1 &&
             IsOutcome(f[4][0]) &&
             Number<std::int32_t>(f[5], ended.ExitStatus, std::numeric_limits<std::int32_t>::min(),
                                  std::numeric_limits<std::int32_t>::max()) &&
             Number<std::int32_t>(f[6], removed, 0, kMaxCount) && ValidEscapes(f[7]) &&
             ValidEscapes(f[8]);
      if (good) {
        // Mostly the run just before; an end whose start is not known is left out.
        for (std::size_t i = open.size(); i-- > 0;) {
          TParsedRun& run = runs[open[i]];
          if (run.Id != id) continue;
          run.Summary.Ended = true;
          run.Summary.DurationMs = ended.DurationMs;
          run.Summary.Outcome = static_cast<TRunOutcome>(f[4][0]);
          run.Summary.ExitStatus = ended.ExitStatus;
          run.End = ref;
          open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
          break;
        }
      }
    } else if ((count == 9 || count == 17) && f[0] == "G") {
      TPlayTally tally;
      good =
          IsHistoryGameName(f[1]) && Number<std::int32_t>(f[2], tally.Plays, 0, kMaxCount) &&
          Number<std::int32_t>(f[3], tally.UnknownPlays, 0, tally.Plays) &&
          Number<std::int32_t>(f[4], tally.FailedStarts, 0, kMaxCount) &&
          Number<std::int64_t>(f[5], tally.TotalMs, 0, std::numeric_limits<std::int64_t>::max()) &&
          Number<std::int64_t>(f[6], tally.LongestMs, 0, kMaxMs) &&
          Number<std::int64_t>(f[7], tally.LastPlayedMs, 0, kMaxMs) &&
          Number<std::int64_t>(f[8], tally.LastStartMs, 0, kMaxMs);
      TParsedRun last{};
      if (good && count == 17) {
        good = Number<std::int64_t>(f[9], last.Summary.StartMs, 0, kMaxMs) &&
               (f[10] == "0" || f[10] == "1") &&
               Number<std::int64_t>(f[11], last.EndMs, 0, kMaxMs) &&
               Number<std::int64_t>(f[12], last.Summary.DurationMs, 0, kMaxMs) &&
               f[13].size() == 1 && IsOutcome(f[13][0]) &&
               Number<std::int32_t>(f[14], last.Summary.ExitStatus,
                                    std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max()) &&
               Number<std::int32_t>(f[15], last.Extracted, 0, kMaxCount) &&
               Number<std::int32_t>(f[16], last.Removed, 0, kMaxCount);
        last.Summary.Ended = f[10] == "1";
        if (good) last.Summary.Outcome = static_cast<TRunOutcome>(f[13][0]);
      }
      if (good) {
        const std::size_t game = log.Index(f[1]);
        log.FGames[game].Folded.Add(tally);
        if (count == 17) {
          last.Game = game;
          runs.push_back(last);
        }
      }
    } else if (count == 3 && f[0] == "F") {
      good = IsHistoryGameName(f[1]) && (f[2] == "0" || f[2] == "1");
      if (good) log.FGames[log.Index(f[1])].Favourite = f[2] == "1";
    } else if (count == 3 && f[0] == "P") {
      const std::optional<std::string> value =
          IsHistoryGameName(f[1]) ? Unescaped(f[2]) : std::nullopt;
      good = value.has_value();
      if (good) log.FPreferences[std::string(f[1])] = *value;
    }
    if (good)
      ++log.FLines;
    else
      log.Damaged(lineNumber);
  }

  for (const TParsedRun& run : runs) {
    TGameEntry& entry = log.FGames[run.Game];
    if (entry.HasLastRun && run.Summary.StartMs < entry.Last.StartMs) {
      entry.Folded.Add(run.Summary);
      continue;
    }
    log.SetLast(entry, run.Summary, run.Start, run.End, nullptr);
    entry.LastEndMs = run.EndMs;
    entry.LastExtracted = run.Extracted;
    entry.LastRemoved = run.Removed;
  }
  return log;
}

std::size_t THistoryLog::Index(std::string_view game) {
  // Kept at most half full, so a probe ends soon at a free slot.
  if ((FGames.size() + 1) * 2 > FSlots.size()) {
    std::vector<std::uint32_t> slots(std::max<std::size_t>(FSlots.size() * 2, 1024), 0);
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = 0; i < FGames.size(); ++i) {
      std::size_t at = std::hash<std::string_view>{}(FGames[i].Game) & mask;
      while (slots[at] != 0) at = (at + 1) & mask;
      slots[at] = static_cast<std::uint32_t>(i + 1);
    }
    FSlots = std::move(slots);
  }
  const std::size_t mask = FSlots.size() - 1;
  std::size_t at = std::hash<std::string_view>{}(game)&mask;
  for (; FSlots[at] != 0; at = (at + 1) & mask)
    if (FGames[FSlots[at] - 1].Game == game) return FSlots[at] - 1;
  FGames.push_back({});
  FGames.back().Game = std::string(game);
  FSlots[at] = static_cast<std::uint32_t>(FGames.size());
  return FGames.size() - 1;
}

const THistoryLog::TGameEntry* THistoryLog::Find(std::string_view game) const {
  if (FSlots.empty()) return nullptr;
  const std::size_t mask = FSlots.size() - 1;
  for (std::size_t at = std::hash<std::string_view>{}(game)&mask; FSlots[at] != 0;
       at = (at + 1) & mask)
    if (FGames[FSlots[at] - 1].Game == game) return &FGames[FSlots[at] - 1];
  return nullptr;
}

void THistoryLog::SetLast(TGameEntry& entry, const TRunSummary& run, TLineRef start, TLineRef end,
                          std::shared_ptr<const TRunRecord> owned) {
  if (entry.HasLastRun) entry.Folded.Add(entry.Last);
  entry.HasLastRun = true;
  entry.Last = run;
  entry.StartLine = start;
  entry.EndLine = end;
  entry.Owned = std::move(owned);
}

std::optional<TGameStats> THistoryLog::Stats(std::string_view game) const {
  const TGameEntry* entry = Find(game);
  if (!entry) return std::nullopt;
  TGameStats stats;
  static_cast<TPlayTally&>(stats) = entry->Folded;
  if (entry->HasLastRun) stats.Add(entry->Last);
  stats.Favourite = entry->Favourite;
  stats.HasLastRun = entry->HasLastRun;
  stats.LastRun = entry->Last;
  return stats;
}

bool THistoryLog::Favourite(std::string_view game) const {
  const TGameEntry* entry = Find(game);
  return entry && entry->Favourite;
}

std::optional<TRunRecord> THistoryLog::RecordOf(const TGameEntry& entry) const {
  if (!entry.HasLastRun) return std::nullopt;
  if (entry.Owned) return *entry.Owned;
  TRunRecord run;
  if (entry.StartLine.Length == 0) {
    run.Game = entry.Game;
    run.StartMs = entry.Last.StartMs;
    run.Details = false;
    run.Ended = entry.Last.Ended;
    run.EndMs = entry.LastEndMs;
    run.DurationMs = entry.Last.DurationMs;
    run.Outcome = entry.Last.Outcome;
    run.ExitStatus = entry.Last.ExitStatus;
    run.Extracted = entry.LastExtracted;
    run.Removed = entry.LastRemoved;
    return run;
  }
  const std::string_view all(FText);
  std::array<std::string_view, 10> s;
  if (Split(all.substr(entry.StartLine.At, entry.StartLine.Length), s) != 10) return std::nullopt;
  Id(s[1], run.Id);
  run.Game = std::string(s[2]);
  Number<std::int64_t>(s[3], run.StartMs, 0, kMaxMs);
  Number<std::int32_t>(s[4], run.Extracted, 0, kMaxCount);
  run.Details = s[5] == "1";
  run.CommandLine = Unescaped(s[6]).value_or("");
  run.WorkingFolder = Unescaped(s[7]).value_or("");
  run.Archive = Unescaped(s[8]).value_or("");
  run.BatchText = Unescaped(s[9]).value_or("");
  std::array<std::string_view, 9> e;
  if (entry.Last.Ended && Split(all.substr(entry.EndLine.At, entry.EndLine.Length), e) == 9) {
    run.Ended = true;
    Number<std::int64_t>(e[2], run.EndMs, 0, kMaxMs);
    run.DurationMs = entry.Last.DurationMs;
    run.Outcome = entry.Last.Outcome;
    run.ExitStatus = entry.Last.ExitStatus;
    Number<std::int32_t>(e[6], run.Removed, 0, kMaxCount);
    run.Reason = Unescaped(e[7]).value_or("");
    run.Output = Unescaped(e[8]).value_or("");
  }
  return run;
}

std::optional<TRunRecord> THistoryLog::LastRun(std::string_view game) const {
  const TGameEntry* entry = Find(game);
  return entry ? RecordOf(*entry) : std::nullopt;
}

std::vector<std::string> THistoryLog::RecentGames(std::size_t limit) const {
  std::vector<std::pair<std::int64_t, std::size_t>> started;
  for (std::size_t i = 0; i < FGames.size(); ++i) {
    const TGameEntry& entry = FGames[i];
    const std::int64_t last =
        std::max(entry.Folded.LastStartMs, entry.HasLastRun ? entry.Last.StartMs : 0);
    if (last > 0 || entry.HasLastRun) started.emplace_back(last, i);
  }
  const std::size_t count = std::min(limit, started.size());
  std::partial_sort(started.begin(), started.begin() + static_cast<std::ptrdiff_t>(count),
                    started.end(), [](const auto& a, const auto& b) {
                      return a.first != b.first ? a.first > b.first : a.second > b.second;
                    });
  std::vector<std::string> games;
  for (std::size_t i = 0; i < count; ++i) games.push_back(FGames[started[i].second].Game);
  return games;
}

void THistoryLog::ForEachGame(
    const std::function<void(const std::string&, const TGameStats&)>& each) const {
  for (const TGameEntry& entry : FGames)
    if (const auto stats = Stats(entry.Game)) each(entry.Game, *stats);
}

std::string THistoryLog::Preference(std::string_view key) const {
  const auto it = FPreferences.find(key);
  return it == FPreferences.end() ? std::string() : it->second;
}

void THistoryLog::SetFavourite(std::string_view game, bool favourite) {
  FGames[Index(game)].Favourite = favourite;
  ++FLines;
}

void THistoryLog::SetPreference(std::string_view key, std::string_view value) {
  FPreferences[std::string(key)] = std::string(value);
  ++FLines;
}

void THistoryLog::AddRun(const TRunRecord& run) {
  TGameEntry& entry = FGames[Index(run.Game)];
  if (!entry.HasLastRun || run.StartMs >= entry.Last.StartMs)
    SetLast(entry, SummaryOf(run), {}, {}, std::make_shared<const TRunRecord>(run));
  else
    entry.Folded.Add(SummaryOf(run));
  FLines += run.Ended ? 2 : 1;
}

std::size_t THistoryLog::KeptLines() const {
  std::size_t kept = FPreferences.size(), lastRuns = 0;
  for (const TGameEntry& entry : FGames) {
    kept += (entry.Favourite ? 1 : 0) + (!entry.Folded.Empty() || entry.HasLastRun ? 1 : 0);
    lastRuns += entry.HasLastRun ? 1 : 0;
  }
  kept += 2 * std::min(lastRuns, DetailedLastRuns);
  return std::min(kept, FLines);
}

std::string THistoryLog::Compacted() const {
  std::string out(HistoryHeader);
  out.reserve(FGames.size() * 96);
  for (const auto& [key, value] : FPreferences) out += PreferenceLine(key, value);
  // Only the most recently started games keep their last run whole, oldest first as they were
  // written; the others keep its numbers in their totals' line.
  std::vector<const TGameEntry*> lastRuns;
  for (const TGameEntry& entry : FGames) {
    if (entry.Favourite) out += FavouriteLine(entry.Game, true);
    if (entry.HasLastRun) lastRuns.push_back(&entry);
  }
  std::stable_sort(lastRuns.begin(), lastRuns.end(), [](const TGameEntry* a, const TGameEntry* b) {
    return a->Last.StartMs < b->Last.StartMs;
  });
  const std::size_t wholeFrom =
      lastRuns.size() > DetailedLastRuns ? lastRuns.size() - DetailedLastRuns : 0;
  std::vector<char> whole(FGames.size(), 0);
  for (std::size_t i = wholeFrom; i < lastRuns.size(); ++i)
    whole[static_cast<std::size_t>(lastRuns[i] - FGames.data())] = 1;
  for (std::size_t g = 0; g < FGames.size(); ++g) {
    const TGameEntry& entry = FGames[g];
    const bool numbers = entry.HasLastRun && !whole[g];
    if (entry.Folded.Empty() && !numbers) continue;
    const TPlayTally& t = entry.Folded;
    out += "G\t";
    out += entry.Game;
    for (const std::int64_t n :
         {std::int64_t{t.Plays}, std::int64_t{t.UnknownPlays}, std::int64_t{t.FailedStarts},
          t.TotalMs, t.LongestMs, t.LastPlayedMs, t.LastStartMs}) {
      out += '\t';
      AppendNumber(out, n);
    }
    if (numbers) {
      const TRunSummary& last = entry.Last;
      const bool owned = entry.Owned != nullptr;
      out += '\t';
      AppendNumber(out, last.StartMs);
      out += last.Ended ? "\t1\t" : "\t0\t";
      AppendNumber(out, Clamped(owned ? entry.Owned->EndMs : entry.LastEndMs, kMaxMs));
      out += '\t';
      AppendNumber(out, last.DurationMs);
      out += '\t';
      out += static_cast<char>(last.Outcome);
      out += '\t';
      AppendNumber(out, last.ExitStatus);
      out += '\t';
      AppendNumber(out, Clamped(owned ? entry.Owned->Extracted : entry.LastExtracted, kMaxCount));
      out += '\t';
      AppendNumber(out, Clamped(owned ? entry.Owned->Removed : entry.LastRemoved, kMaxCount));
    }
    out += '\n';
  }
  for (std::size_t i = wholeFrom; i < lastRuns.size(); ++i) {
    const TGameEntry& entry = *lastRuns[i];
    if (!entry.Owned && entry.StartLine.Length > 0) {
      out.append(FText, entry.StartLine.At, entry.StartLine.Length);
      out += '\n';
      if (entry.Last.Ended) {
        out.append(FText, entry.EndLine.At, entry.EndLine.Length);
        out += '\n';
      }
      continue;
    }
    const std::optional<TRunRecord> run = RecordOf(entry);
    if (!run) continue;
    out += StartLine(*run);
    if (run->Ended) out += EndLine(*run);
  }
  return out;
}
