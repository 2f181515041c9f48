#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "JpegCodec.h"
#include "catalogue/Catalogue.h"

// The files that captured pictures become: ScreenShots/<ZipName><NN>.jpg below GameDir.

/// A capture that could not be stored (folder, encoding or file); its text is for the general
/// error report.
class ECaptureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// NN for capture number n: two digits below 10 ("01" … "09"), plain decimal from 10 on.
std::string CaptureNumberText(int n);

/// File name (without folder) of the next capture of zipName in folder: the first number from 1
/// whose `<zipName><NN>.jpg` is not taken, so gaps are filled first. A name counts as taken in
/// any letter case and by an entry of any kind (a directory of that name cannot be written).
std::string NextCaptureName(const std::string& folder, std::string_view zipName);

/// Creates the ScreenShots folder below gameDir when there is none (an existing one of any letter
/// case is kept). Throws ECaptureError when it cannot be created.
void EnsureScreenShotFolder(const std::string& gameDir);

/// Encodes the picture (quality 90, baseline, colour) and writes it as the next capture of
/// zipName below gameDir's ScreenShots folder; the file appears complete or not at all. Returns
/// the path written. Throws ECaptureError when it cannot be encoded or written.
std::string SaveCaptureScreenShot(const std::string& gameDir, std::string_view zipName,
                                  const TRgbImage& picture);

/// The clipboard capture for the catalogue's current game: nothing is saved (and nothing is
/// returned) while no game is current; otherwise as SaveCaptureScreenShot with its ZipName.
std::optional<std::string> SaveClipboardScreenShot(const TCatalogue& catalogue,
                                                   const TRgbImage& picture);
/// The same for the game of catalogue index game (-1: none).
std::optional<std::string> SaveClipboardScreenShot(const TCatalogue& catalogue, std::int32_t game,
                                                   const TRgbImage& picture);
