#include "Capture.h"

#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "ScreenShot.h"
#include "catalogue/Scans.h"
#include "platform/Files.h"
#include "platform/Text.h"

std::string CaptureNumberText(int n) {
  return (n < 10 ? "0" : "") + std::to_string(n);
}

std::string NextCaptureName(const std::string& folder, std::string_view zipName) {
  // One listing instead of a lookup per number: the names taken, folded as the lookup folds them.
  std::unordered_set<std::string> taken;
  platform::ForEachEntry(folder, std::string(zipName) + "*.jpg",
                         [&](const platform::TSearchRec& rec) {
                           taken.insert(LowerAscii(rec.Name));
                           return true;
                         });
  for (int n = 1;; ++n) {
    std::string candidate = std::string(zipName) + CaptureNumberText(n) + ".jpg";
    if (!taken.count(LowerAscii(candidate))) return candidate;
  }
}

void EnsureScreenShotFolder(const std::string& gameDir) {
  const std::string folder = ScreenShotFolder(gameDir);
  if (platform::DirectoryExists(folder)) return;
  if (!platform::CreateDir(folder)) {
    const int code = errno;
    throw ECaptureError("Cannot create the folder " + folder + ": " + std::strerror(code));
  }
}

std::string SaveCaptureScreenShot(const std::string& gameDir, std::string_view zipName,
                                  const TRgbImage& picture) {
  std::string error;
  const std::optional<std::string> jpeg = EncodeJpeg(picture, CaptureJpegQuality, &error);
  if (!jpeg) throw ECaptureError("Cannot encode the screenshot: " + error);
  const std::string folder = ScreenShotFolder(gameDir);
  const std::string path = platform::JoinPath(folder, NextCaptureName(folder, zipName));
  if (!platform::WriteFileAtomically(path, *jpeg, &error)) throw ECaptureError(error);
  return path;
}

std::optional<std::string> SaveClipboardScreenShot(const TCatalogue& catalogue,
                                                   const TRgbImage& picture) {
  return SaveClipboardScreenShot(catalogue, catalogue.CurrentGame, picture);
}

std::optional<std::string> SaveClipboardScreenShot(const TCatalogue& catalogue,
                                                   std::int32_t current, const TRgbImage& picture) {
  if (current < 0 || static_cast<std::size_t>(current) >= catalogue.Games.size())
    return std::nullopt;
  const std::string_view zipName =
      catalogue.Games[static_cast<std::size_t>(current)].ZipName.view();
  // The picture's name starts with the short name: one that is no plain name could lead it out
  // of the screenshot folder.
  if (!zipName.empty() && !IsPlainZipName(zipName))
    throw ECaptureError("Cannot save a screenshot for the short name \"" + std::string(zipName) +
                        "\": it is no plain name");
  return SaveCaptureScreenShot(catalogue.GameDir, zipName, picture);
}
