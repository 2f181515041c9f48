#include "FolderCounts.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/Text.h"

namespace {

constexpr std::string_view kHeader = "StartVELK game folders 1";
// More than any catalogue's folders take: a larger file is not ours and is not read.
constexpr std::uint64_t kMaxBytes = std::uint64_t{64} << 20;

template <typename T>
bool TakeNumber(std::string_view& rest, T& value) {
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
  if (error != std::errc() || end == rest.data() + rest.size() || *end != ' ') return false;
  rest.remove_prefix(static_cast<std::size_t>(end - rest.data()) + 1);
  return true;
}

bool TakeLine(std::string_view& text, std::string_view& line) {
  const std::size_t eol = text.find('\n');
  if (eol == std::string_view::npos) return false;  // every line ends, the last one too
  line = text.substr(0, eol);
  text.remove_prefix(eol + 1);
  return true;
}

}  // namespace

TFolderCounts::TFolderCounts(std::string file, std::string gameDir)
    : FFile(std::move(file)), FGameDir(std::move(gameDir)) {
  if (!Load()) FLoaded.clear();
}

bool TFolderCounts::Load() {
  if (FFile.empty()) return false;
  const auto bytes = platform::ReadWholeFile(FFile, kMaxBytes);
  if (!bytes) return false;
  std::string_view text(*bytes), line;
  if (!TakeLine(text, line) || line != kHeader) return false;
  if (!TakeLine(text, line) || line != FGameDir) return false;
  while (TakeLine(text, line)) {
    if (line.rfind("end ", 0) == 0) {
      // The count at the end tells a file cut short from a whole one.
      std::size_t count = 0;
      const std::string_view n = line.substr(4);
      const auto [end, error] = std::from_chars(n.data(), n.data() + n.size(), count);
      return error == std::errc() && end == n.data() + n.size() && count == FLoaded.size() &&
             text.empty();
    }
    TEntry entry;
    int filled = 0;
    if (!TakeNumber(line, filled) || (filled != 0 && filled != 1) ||
        !TakeNumber(line, entry.Stamp.Device) || !TakeNumber(line, entry.Stamp.Inode) ||
        !TakeNumber(line, entry.Stamp.ModifiedNs) || !TakeNumber(line, entry.Stamp.ChangedNs) ||
        line.empty() || HasControlCharacter(line))
      return false;
    entry.Filled = filled == 1;
    entry.Name = line;
    // Written in byte order, one line a name; anything else is not a file of ours.
    if (!FLoaded.empty() && !(FLoaded.back().Name < entry.Name)) return false;
    FLoaded.push_back(std::move(entry));
  }
  return false;
}

std::optional<bool> TFolderCounts::Find(std::string_view name,
                                        const platform::TDirStamp& stamp) const {
  const auto it = std::lower_bound(FLoaded.begin(), FLoaded.end(), name,
                                   [](const TEntry& e, std::string_view n) { return e.Name < n; });
  if (it == FLoaded.end() || it->Name != name || !(it->Stamp == stamp)) return std::nullopt;
  return it->Filled;
}

void TFolderCounts::Keep(std::string_view name, const platform::TDirStamp& stamp, bool filled,
                         std::int64_t settledBeforeNs) {
  if (FFile.empty() || name.empty() || HasControlCharacter(name)) return;
  if (std::max(stamp.ModifiedNs, stamp.ChangedNs) >= settledBeforeNs) return;
  FKept.push_back({std::string(name), stamp, filled});
}

bool TFolderCounts::Save(const std::function<bool(const std::string&)>& stillThere) {
  if (FFile.empty()) return true;
  const auto byName = [](const TEntry& a, const TEntry& b) { return a.Name < b.Name; };
  std::stable_sort(FKept.begin(), FKept.end(), byName);
  // A folder two games share was asked about twice, with one answer.
  FKept.erase(std::unique(FKept.begin(), FKept.end(),
                          [](const TEntry& a, const TEntry& b) { return a.Name == b.Name; }),
              FKept.end());
  std::vector<TEntry> merged;
  merged.reserve(FKept.size() + FLoaded.size());
  // Both sorted by name: the kept answer where both have one.
  auto kept = FKept.begin();
  for (const TEntry& old : FLoaded) {
    for (; kept != FKept.end() && kept->Name < old.Name; ++kept) merged.push_back(*kept);
    if ((kept == FKept.end() || kept->Name != old.Name) && stillThere(old.Name))
      merged.push_back(old);
  }
  merged.insert(merged.end(), kept, FKept.end());
  FKept = std::move(merged);
  if (FKept == FLoaded) return true;
  std::string text;
  text.reserve(64 + FGameDir.size() + FKept.size() * 72);
  text.append(kHeader).append("\n").append(FGameDir).append("\n");
  char line[128];
  for (const TEntry& e : FKept) {
    const int n = std::snprintf(line, sizeof line, "%d %llu %llu %lld %lld ", e.Filled ? 1 : 0,
                                static_cast<unsigned long long>(e.Stamp.Device),
                                static_cast<unsigned long long>(e.Stamp.Inode),
                                static_cast<long long>(e.Stamp.ModifiedNs),
                                static_cast<long long>(e.Stamp.ChangedNs));
    text.append(line, static_cast<std::size_t>(n)).append(e.Name).append("\n");
  }
  text.append("end ").append(std::to_string(FKept.size())).append("\n");
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(FFile).parent_path(), ignored);
  std::string error;
  if (!platform::WriteFileAtomically(FFile, text, &error)) return false;
  FLoaded = FKept;
  return true;
}

std::string FolderCountsFile(const std::string& gameDir) {
  const std::string cache = platform::UserCacheDir();
  if (cache.empty() || gameDir.empty()) return {};
  // One file per emulator directory, named by a hash of its path; the file repeats the path, so
  // two directories that share a hash only ever read the folders again.
  std::uint64_t h = 14695981039346656037ull;
  for (const char c : gameDir) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char name[32];
  std::snprintf(name, sizeof name, "folders-%016llx", static_cast<unsigned long long>(h));
  return platform::JoinPath(platform::JoinPath(cache, "startvelk"), name);
}
