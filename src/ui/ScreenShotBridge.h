#pragma once

#include <QImage>
#include <QRect>
#include <string>
#include <vector>

// The window's road to the screenshot files: the set of a game, the picture's bounds and the
// decoding of a file into a picture.

namespace screenshots_bridge {

enum TPlacementMode { pmNone, pmOriginal, pmScaled, pmStretched };

/// The sorted names below "ScreenShots" of the working directory that match <zipName>*.jpg.
std::vector<std::string> FindScreenShots(const std::string& zipName);

/// Bounds of the picture in its panel; false when the picture has no size (nothing changes).
bool Place(int pictureWidth, int pictureHeight, int panelWidth, int panelHeight,
           TPlacementMode mode, QRect& bounds);

/// Decodes a screenshot file; false when it cannot be read as a picture.
bool LoadPicture(const std::string& path, QImage& picture);

}  // namespace screenshots_bridge
