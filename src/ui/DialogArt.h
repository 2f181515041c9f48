#pragma once

#include <QCursor>
#include <QPixmap>

#include "ui/ScreenRatio.h"

// Pictures of the dialogs, painted by the program itself; sizes are device-independent pixels,
// drawn with ratio device pixels to each.

/// The clock face of the interval dialog, 27 x 28 on a transparent ground.
QPixmap ClockPicture(qreal ratio = artwork::ScreenRatio());
/// The front-end's logo, 100 x 43.
QPixmap FrontendLogo(qreal ratio = artwork::ScreenRatio());
/// The emulator's logo, 100 x 47.
QPixmap EmulatorLogo(qreal ratio = artwork::ScreenRatio());

/// The link labels' monochrome 32 x 32 cursors by resource name: "MOZILLA", "MSIE", "HANDHELP",
/// in as many device pixels as the cursor covers on a screen of the given ratio. An unknown name
/// gives the standard arrow.
QCursor LinkCursor(const char* name, qreal ratio = artwork::ScreenRatio());
