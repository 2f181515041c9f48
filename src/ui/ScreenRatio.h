#pragma once

#include <QGuiApplication>

namespace artwork {

/// Device pixels per device-independent pixel of the densest screen, the ratio the program's own
/// pictures are drawn at; 1 without a GUI application.
inline qreal ScreenRatio() {
  return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? qGuiApp->devicePixelRatio()
                                                                      : 1.0;
}

}  // namespace artwork
