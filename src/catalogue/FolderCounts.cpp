#include "FolderCounts.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <type_traits>

#include "platform/Text.h"

namespace {

// The file: kMagic, kByteOrder, the number of entries, the checksum of what follows the header,
// the length of the emulator folder's path; then that path, zero-padded to a multiple of eight
// bytes, and the entries sorted by name.
constexpr char kMagic[16] = "StartVELK dirs1";
constexpr std::uint64_t kByteOrder = 0x0102030405060708ull;
constexpr std::size_t kHeader = sizeof kMagic + 4 * sizeof(std::uint64_t);
// More than any catalogue's folders take: a larger file is not ours and is not read.
constexpr std::uint64_t kMaxBytes = std::uint64_t{256} << 20;

std::size_t Padded(std::size_t n) { return (n + 7) / 8 * 8; }

// The cache files of emulator folders not started for this long are deleted when another is
// written: such a folder has moved or gone, and if not, its next start only reads its folders.
constexpr auto kUnusedFor = std::chrono::hours(24 * 90);

// A file that served a start unchanged is dated anew once a day, so that it counts as used.
void MarkUsed(const std::filesystem::path& file) {
  namespace fs = std::filesystem;
  std::error_code ignored;
  const auto now = fs::file_time_type::clock::now();
  if (fs::last_write_time(file, ignored) < now - std::chrono::hours(24))
    fs::last_write_time(file, now, ignored);
}

void DeleteUnusedSiblings(const std::filesystem::path& file) {
  namespace fs = std::filesystem;
  std::error_code error;
  const auto before = fs::file_time_type::clock::now() - kUnusedFor;
  for (fs::directory_iterator it(file.parent_path(), error), end; !error && it != end;
       it.increment(error)) {
    const fs::path& path = it->path();
    std::error_code ignored;
    const std::string name = path.filename().string();
    if (path != file && (name.rfind("folders-", 0) == 0 || name.rfind("listing-", 0) == 0) &&
        it->is_regular_file(ignored) && it->last_write_time(ignored) < before)
      fs::remove(path, ignored);
  }
}

std::uint64_t Word(std::string_view bytes, std::size_t at) {
  std::uint64_t value;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}

}  // namespace

TFolderCounts::TFolderCounts(std::string file, std::string gameDir)
    : FFile(std::move(file)), FGameDir(std::move(gameDir)) {
  static_assert(std::is_trivially_copyable_v<TEntry> && sizeof(TEntry) == 56);
  if (FFile.empty()) return;
  if (auto bytes = platform::ReadWholeFile(FFile, kMaxBytes)) Take(std::move(*bytes));
}

TFolderCounts::TEntry TFolderCounts::Loaded(std::size_t i) const {
  TEntry entry;
  std::memcpy(static_cast<void*>(&entry), FBytes.data() + FEntriesAt + i * sizeof(TEntry),
              sizeof entry);
  return entry;
}

std::vector<TFolderCounts::TEntry> TFolderCounts::AllLoaded() const {
  std::vector<TEntry> all(FCount);
  if (FCount != 0)
    std::memcpy(static_cast<void*>(all.data()), FBytes.data() + FEntriesAt,
                FCount * sizeof(TEntry));
  return all;
}

bool TFolderCounts::Take(std::string bytes) {
  FBytes.clear();
  FCount = 0;
  FIndex = TFoldedIndex();
  FIndexed = false;
  if (bytes.size() < kHeader) return false;
  const std::string_view text(bytes);
  if (text.substr(0, sizeof kMagic) != std::string_view(kMagic, sizeof kMagic) ||
      Word(text, 16) != kByteOrder)
    return false;
  const std::uint64_t count = Word(text, 24), checksum = Word(text, 32), dirLength = Word(text, 40);
  if (dirLength != FGameDir.size() || count >= std::uint32_t{0xFFFFFFFF} ||
      text.size() != kHeader + Padded(FGameDir.size()) + count * sizeof(TEntry) ||
      ChecksumWords(text.substr(kHeader)) != checksum ||
      text.substr(kHeader, FGameDir.size()) != FGameDir)
    return false;
  FEntriesAt = kHeader + Padded(FGameDir.size());
  const auto entries = static_cast<std::size_t>(count);
  FBytes = std::move(bytes);
  // What the checksum cannot tell: a file of ours holds only plain names, in order, once each.
  TEntry previous;
  for (std::size_t i = 0; i < entries; ++i) {
    const TEntry e = Loaded(i);
    if (e.Name[kMaxName] != '\0' || e.NameView().empty() || HasControlCharacter(e.NameView()) ||
        e.Filled > 1 || (i > 0 && !(previous.NameView() < e.NameView()))) {
      FBytes.clear();
      return false;
    }
    previous = e;
  }
  FCount = entries;
  return true;
}

const TFoldedIndex& TFolderCounts::Index() const {
  // Made at the first name not found where it was looked for first: an unchanged start, which
  // asks in the file's order, needs none.
  if (!FIndexed.load(std::memory_order_acquire)) {
    const std::lock_guard<std::mutex> lock(FIndexLock);
    if (!FIndexed.load(std::memory_order_relaxed)) {
      TFoldedIndex index(FCount);
      for (std::size_t i = 0; i < FCount; ++i)
        index.Add(Loaded(i).NameView(), static_cast<std::uint32_t>(i));
      FIndex = std::move(index);
      FIndexed.store(true, std::memory_order_release);
    }
  }
  return FIndex;
}

std::optional<bool> TFolderCounts::Find(std::string_view name, const platform::TDirStamp& stamp,
                                        std::size_t hint) const {
  std::optional<bool> answer;
  // What the file says is taken only where a fresh stamp could tell a change: the file may have
  // been written elsewhere, or the folder moved to a volume whose times do not step finely.
  if (!platform::StampCanTell(stamp)) return answer;
  const auto take = [&](std::size_t i) {
    const TEntry e = Loaded(i);
    if (e.NameView() != name) return false;
    if (e.Device == stamp.Device && e.Inode == stamp.Inode && e.ModifiedNs == stamp.ModifiedNs &&
        e.ChangedNs == stamp.ChangedNs)
      answer = e.Filled != 0;
    return true;
  };
  // Each name is in the file once: the entry at the hint, when it has the name, is the one.
  // Folders asked in the file's order read it from start to end instead of all over.
  if (hint >= FCount || !take(hint)) Index().Probe(name, take);
  if (answer) FFound.fetch_add(1, std::memory_order_relaxed);
  return answer;
}

void TFolderCounts::Keep(std::string_view name, const platform::TDirStamp& stamp, bool filled,
                         std::int64_t readNs) {
  if (FFile.empty() || name.empty() || name.size() > kMaxName || HasControlCharacter(name)) return;
  if (!platform::StampVouches(stamp, readNs)) return;
  TEntry& e = FKept.emplace_back();
  std::memcpy(e.Name, name.data(), name.size());
  e.Device = stamp.Device;
  e.Inode = stamp.Inode;
  e.ModifiedNs = stamp.ModifiedNs;
  e.ChangedNs = stamp.ChangedNs;
  e.Filled = filled ? 1 : 0;
}

bool TFolderCounts::Save(const std::function<bool(const std::string&)>& stillThere) {
  if (FFile.empty()) return true;
  if (FKept.empty() && FFound.load() == FCount) {
    if (FCount != 0) MarkUsed(FFile);
    return true;
  }
  const std::vector<TEntry> loaded = AllLoaded();
  const auto byName = [](const TEntry& a, const TEntry& b) { return a.NameView() < b.NameView(); };
  std::stable_sort(FKept.begin(), FKept.end(), byName);
  // A folder two games share was asked about twice, with one answer.
  FKept.erase(std::unique(FKept.begin(), FKept.end(),
                          [](const TEntry& a, const TEntry& b) {
                            return a.NameView() == b.NameView();
                          }),
              FKept.end());
  std::vector<TEntry> merged;
  merged.reserve(FKept.size() + loaded.size());
  // Both sorted by name: the kept answer where both have one.
  auto kept = FKept.begin();
  for (const TEntry& old : loaded) {
    for (; kept != FKept.end() && kept->NameView() < old.NameView(); ++kept)
      merged.push_back(*kept);
    if ((kept == FKept.end() || kept->NameView() != old.NameView()) &&
        stillThere(std::string(old.NameView())))
      merged.push_back(old);
  }
  merged.insert(merged.end(), kept, FKept.end());
  FKept = std::move(merged);
  if (FKept == loaded) {
    MarkUsed(FFile);
    return true;
  }

  std::string body(Padded(FGameDir.size()) + FKept.size() * sizeof(TEntry), '\0');
  std::memcpy(body.data(), FGameDir.data(), FGameDir.size());
  std::memcpy(body.data() + Padded(FGameDir.size()), static_cast<const void*>(FKept.data()),
              FKept.size() * sizeof(TEntry));
  std::string text(kMagic, sizeof kMagic);
  for (const std::uint64_t word : {kByteOrder, std::uint64_t{FKept.size()}, ChecksumWords(body),
                                   std::uint64_t{FGameDir.size()}})
    text.append(reinterpret_cast<const char*>(&word), sizeof word);
  text += body;
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(FFile).parent_path(), ignored);
  std::string error;
  // A file that a power cut damaged fails its checksum and is not read.
  if (!platform::WriteFileAtomically(FFile, text, &error, platform::TLinkWrite::lwReplaceLink,
                                     platform::TDurability::dRewrittenEachStart))
    return false;
  DeleteUnusedSiblings(FFile);
  // What the file now holds is what is remembered, for a later Find or Save.
  Take(std::move(text));
  FKept.clear();
  FFound = FCount;
  return true;
}

namespace {

std::string CacheFile(const char* kind, const std::string& gameDir) {
  const std::string cache = platform::UserCacheDir();
  if (cache.empty() || gameDir.empty()) return {};
  // One file per emulator directory, named by a hash of its path; the file repeats the path, so
  // two directories that share a hash only ever read the folders again.
  char name[40];
  std::snprintf(name, sizeof name, "%s-%016llx", kind,
                static_cast<unsigned long long>(HashBytes(gameDir)));
  return platform::JoinPath(platform::JoinPath(cache, "startvelk"), name);
}

}  // namespace

std::string FolderCountsFile(const std::string& gameDir) {
  return CacheFile("folders", gameDir);
}

std::string FolderListingFile(const std::string& gameDir) {
  return CacheFile("listing", gameDir);
}
