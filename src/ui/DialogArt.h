#pragma once

#include <QCursor>
#include <QPixmap>

// Pictures of the dialogs, painted by the program itself.

/// The clock face of the interval dialog, 27 x 28 on a transparent ground.
QPixmap ClockPicture();
/// The front-end's logo, 100 x 43.
QPixmap FrontendLogo();
/// The emulator's logo, 100 x 47.
QPixmap EmulatorLogo();

/// The link labels' monochrome 32 x 32 cursors by resource name: "MOZILLA", "MSIE", "HANDHELP".
/// An unknown name gives the standard arrow.
QCursor LinkCursor(const char* name);
