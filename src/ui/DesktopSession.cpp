#include "ui/DesktopSession.h"

#include <QByteArray>
#include <QtGlobal>
#include <cstring>

bool UseXWaylandForClipboard(int argc, char** argv) {
  const auto set = [](const char* name) { return !qEnvironmentVariableIsEmpty(name); };
  if (set("QT_QPA_PLATFORM") || !set("WAYLAND_DISPLAY") || !set("DISPLAY")) return false;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "-platform") == 0 || std::strncmp(argv[i], "-platform=", 10) == 0)
      return false;
  return qputenv("QT_QPA_PLATFORM", "xcb;wayland");
}
