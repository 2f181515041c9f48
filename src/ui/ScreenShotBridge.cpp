#include "ScreenShotBridge.h"

#include <QImageReader>
#include <QString>
#include <algorithm>
#include <cmath>

#include "platform/Files.h"

namespace screenshots_bridge {

std::vector<std::string> FindScreenShots(const std::string& zipName) {
  std::vector<std::string> names;
  for (const platform::TSearchRec& entry : platform::FindFiles("ScreenShots", zipName + "*.jpg"))
    names.push_back(entry.Name);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return QString::localeAwareCompare(QString::fromStdString(a).toLower(),
                                       QString::fromStdString(b).toLower()) < 0;
  });
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

bool Place(int w, int h, int pw, int ph, TPlacementMode mode, QRect& bounds) {
  if (w + h <= 0) return false;
  if (mode == pmStretched) {
    bounds = QRect(0, 0, pw, ph);
    return true;
  }
  int width = w, height = h;
  if (mode == pmScaled) {
    const long double sx = static_cast<long double>(pw) / w;
    const long double sy = static_cast<long double>(ph) / h;
    const double s = static_cast<double>(std::min(sx, sy));
    width = static_cast<int>(static_cast<long double>(w) * s);
    height = static_cast<int>(static_cast<long double>(h) * s);
  }
  bounds = QRect((pw - width) / 2, (ph - height) / 2, width, height);
  return true;
}

bool LoadPicture(const std::string& path, QImage& picture) {
  QImageReader reader(QString::fromStdString(path), "jpeg");
  QImage image = reader.read();
  if (image.isNull()) return false;
  picture = std::move(image);
  return true;
}

}  // namespace screenshots_bridge
