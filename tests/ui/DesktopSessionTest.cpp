// The choice of XWayland for a session that offers both Wayland and X11.

#include <QTest>
#include <QtGlobal>

#include "ui/DesktopSession.h"

class DesktopSessionTest : public QObject {
  Q_OBJECT

 private slots:
  void xwaylandOnlyWhenBothAreThereAndNothingWasChosen() {
    struct TCase {
      const char* Wayland;
      const char* Display;
      const char* Platform;
      const char* Argument;
      bool Chosen;
    };
    const TCase cases[] = {
        {"wayland-0", ":0", nullptr, nullptr, true},
        {"wayland-0", nullptr, nullptr, nullptr, false},   // pure Wayland: stays native
        {nullptr, ":0", nullptr, nullptr, false},          // X11 session: nothing to choose
        {"wayland-0", ":0", "wayland", nullptr, false},    // the user's choice holds
        {"wayland-0", ":0", nullptr, "-platform", false},  // also on the command line
        {"wayland-0", ":0", nullptr, "-platform=wayland", false},
        {"wayland-0", "", nullptr, nullptr, false},  // an empty variable counts as unset
    };
    for (const TCase& c : cases) {
      const auto put = [](const char* name, const char* value) {
        if (value)
          qputenv(name, value);
        else
          qunsetenv(name);
      };
      put("WAYLAND_DISPLAY", c.Wayland);
      put("DISPLAY", c.Display);
      put("QT_QPA_PLATFORM", c.Platform);
      char program[] = "startvelk";
      char argument[32] = {};
      char* argv[] = {program, argument, nullptr};
      int argc = 1;
      if (c.Argument) {
        qstrncpy(argument, c.Argument, sizeof argument);
        argc = 2;
      }
      QCOMPARE(UseXWaylandForClipboard(argc, argv), c.Chosen);
      QCOMPARE(qgetenv("QT_QPA_PLATFORM"), QByteArray(c.Chosen     ? "xcb;wayland"
                                                      : c.Platform ? c.Platform
                                                                   : ""));
    }
  }
};

QTEST_APPLESS_MAIN(DesktopSessionTest)
#include "DesktopSessionTest.moc"
