#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

#include "ui/ScreenRatio.h"

// The program's own pictures, painted in code so that nothing is copied from anywhere and every
// picture stays sharp at any screen scale.

namespace artwork {

/// The program icon: a stylised arcade cabinet, offered at 16 to 128 pixels and painted when a
/// size is first asked for (a TPicturesAhead paints those ahead).
QIcon ProgramIcon();
/// The Start button's picture, 64 × 28, drawn with ratio device pixels to each of its pixels;
/// greyed is the disabled look.
QPixmap StartButtonPicture(bool greyed, qreal ratio = 1);
/// The Start button's icon: normal and greyed pictures at every ratio the screens need.
QIcon StartButtonIcon();
/// Image i (0..6) of the screenshot toolbar: play, pause, previous, next, clock, skull, bent arrow;
/// 28 × 28, pale yellow on a transparent ground, drawn with ratio device pixels to each pixel.
QPixmap ControlImage(int index, qreal ratio = 1);
/// ControlImage(index) at every ratio the screens need.
QIcon ControlIcon(int index);
/// Small menu icons.
QIcon DocumentIcon();
QIcon WebIcon();
QIcon ArchiveIcon();
QIcon AboutIcon();
QIcon DeleteIcon();
/// The search field's clear control: a pale disc with a cross.
QIcon ClearIcon();
/// The picture shown when a game has no screenshot, 384 × 256 device-independent pixels; the one
/// a TPicturesAhead painted when it has.
QImage NoShotPicture(qreal ratio = ScreenRatio());

/// The start button's pictures (enabled and disabled), NoShotPicture and the program icon's sizes
/// painted on a thread of their own while it lives, from its making (once the application exists)
/// until each is taken or it ends, which waits for the painting: their four fonts are a good part
/// of building the window. One at a time.
class TPicturesAhead {
 public:
  TPicturesAhead();
  ~TPicturesAhead();
  TPicturesAhead(const TPicturesAhead&) = delete;
  TPicturesAhead& operator=(const TPicturesAhead&) = delete;
};

}  // namespace artwork
