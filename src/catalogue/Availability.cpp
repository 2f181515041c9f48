#include "Availability.h"

#include "catalogue/Catalogue.h"
#include "catalogue/Scans.h"
#include "platform/Files.h"

namespace {

std::string Files(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " file" : " files");
}

// A folder as it is shown: without the separator at its end.
std::string Shown(std::string folder) {
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  return folder;
}

}  // namespace

std::string AvailabilityReason(const TCatalogue& cat, std::int32_t index) {
  if (index < 1 || static_cast<std::size_t>(index) >= cat.Games.size()) return {};
  const std::int32_t status = static_cast<std::size_t>(index) < cat.GameStatus.size()
                                  ? cat.GameStatus[static_cast<std::size_t>(index)]
                                  : gsNotAvailable;
  const std::string zipName = cat.Games[static_cast<std::size_t>(index)].ZipName.str();
  if (!IsPlainZipName(zipName))
    return "Not available: the short name \"" + zipName + "\" cannot name a folder";

  const std::string folder = platform::ResolvePath(InGameDir(cat, zipName));
  const bool hasFolder = platform::DirectoryExists(folder);
  // The listing counts "." and ".." too.
  const std::size_t entries = hasFolder ? platform::CountEntries(folder, 1'000'000) : 0;
  const std::size_t files = entries >= 2 ? entries - 2 : 0;
  const std::string romDir =
      Shown(cat.AltRomPath.empty() ? (cat.GameDir.empty() ? "." : cat.GameDir)
                                   : InGameDir(cat, cat.AltRomPath));
  const std::string archive = platform::ResolvePath(platform::JoinPath(romDir, zipName + ".zip"));
  const bool hasArchive = platform::FileExists(archive);
  const bool installedNow = entries >= static_cast<std::size_t>(InstalledMinEntries);
  const std::int32_t now = installedNow ? gsInstalled
                           : hasArchive ? gsZipAvailable
                                        : gsNotAvailable;
  const std::string changed = now == status ? "" : " (changed since the last check)";

  if (status == gsInstalled) {
    if (!hasFolder) return "Installed: folder " + zipName + " is gone" + changed;
    return "Installed: folder " + zipName + " holds " + Files(files) + changed;
  }
  if (status == gsZipAvailable) {
    return "Zipped: " + archive + (hasArchive ? "" : " is gone") + changed;
  }
  std::string reason = "Not available: ";
  if (!hasFolder || files == 0)
    reason += "no folder " + zipName + " with its files";
  else
    reason += "folder " + zipName + " holds only " + Files(files);
  return reason + ", no " + zipName + ".zip in " + romDir + changed;
}
