#include "Scans.h"

#include <optional>
#include <unordered_map>

#include "Catalogue.h"
#include "NewGames.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace {

// One listing of a directory, answering "which entry would a case-insensitive look-up of this
// name find" in constant time: the exact name first, else the smallest case variant in byte order,
// as the file seam resolves names. A scan of many games asks it instead of listing once per game.
class TDirIndex {
 public:
  explicit TDirIndex(const std::string& dir) {
    platform::ForEachEntry(
        dir, "*",
        [this](const platform::TSearchRec& rec) {
          FExact.emplace(rec.Name, rec.IsDirectory);
          auto [it, added] = FFolded.try_emplace(LowerAscii(rec.Name), rec.Name, rec.IsDirectory);
          if (!added && rec.Name < it->second.first) it->second = {rec.Name, rec.IsDirectory};
          return true;
        },
        platform::TListDetail::ldKind);
  }

  struct TFound {
    std::string Name;
    bool IsDirectory;
  };

  std::optional<TFound> Find(const std::string& name) const {
    if (const auto it = FExact.find(name); it != FExact.end()) return TFound{name, it->second};
    if (const auto it = FFolded.find(LowerAscii(name)); it != FFolded.end())
      return TFound{it->second.first, it->second.second};
    return std::nullopt;
  }

 private:
  std::unordered_map<std::string, bool> FExact;  // name -> is a directory
  std::unordered_map<std::string, std::pair<std::string, bool>> FFolded;
};

}  // namespace

bool IsPlainZipName(std::string_view name) {
  return !name.empty() && name.size() <= 8 && name != "." && name != ".." &&
         name.find_first_of("/\\:") == std::string_view::npos && !HasControlCharacter(name);
}

void ScanDriverDirs(TNewGames& names, const std::string& dir) {
  platform::ForEachEntry(
      dir, "*",
      [&](const platform::TSearchRec& rec) {
        if (rec.IsDirectory && rec.Name != "." && rec.Name != ".." &&
            platform::FileExists(
                platform::JoinPath(platform::JoinPath(dir, rec.Name), rec.Name + ".vlk")))
          names.Add(rec.Name);
        return true;
      },
      platform::TListDetail::ldKind);
}

bool DirHasEntries(const std::string& dir, int minCount) {
  if (minCount <= 0) return true;
  // Only the count matters, so the listing looks nothing up per entry.
  const auto wanted = static_cast<std::size_t>(minCount);
  return platform::CountEntries(dir, wanted) >= wanted;
}

void ScanGameAvailability(TCatalogue& cat) {
  cat.GameStatus.resize(cat.Games.size(), gsNotAvailable);
  if (cat.Games.size() <= 1) return;

  const TDirIndex workDir(cat.GameDir);
  std::optional<TDirIndex> romDirStore;
  if (!cat.AltRomPath.empty()) romDirStore.emplace(InGameDir(cat, cat.AltRomPath));
  const TDirIndex& romDir = romDirStore ? *romDirStore : workDir;

  for (std::size_t i = 1; i < cat.Games.size(); ++i) {
    const std::string zipName = cat.Games[i].ZipName.str();
    const std::string archive = zipName + ".zip";
    // A name such as "..", "../x" or "C:x" would lead out of the emulator's directory.
    bool installed = false, zipped = false;
    if (IsPlainZipName(zipName)) {
      const auto dir = workDir.Find(zipName);
      installed = dir && dir->IsDirectory &&
                  DirHasEntries(platform::JoinPath(cat.GameDir, dir->Name), InstalledMinEntries);
      const auto zip = romDir.Find(archive);
      zipped = zip && !zip->IsDirectory;
    }
    cat.GameStatus[i] = installed ? gsInstalled : zipped ? gsZipAvailable : gsNotAvailable;
  }
}
