#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

// The program's own pictures, painted in code so that nothing is copied from anywhere and every
// picture stays sharp at any screen scale.

namespace artwork {

/// The program icon: a stylised arcade cabinet.
QIcon ProgramIcon();
/// The Start button's picture; greyed is the disabled look.
QPixmap StartButtonPicture(bool greyed);
/// Image i (0..6) of the screenshot toolbar: play, pause, previous, next, clock, skull, bent arrow;
/// 28 × 28, pale yellow on a transparent ground.
QPixmap ControlImage(int index);
/// Small menu icons.
QIcon DocumentIcon();
QIcon WebIcon();
QIcon ArchiveIcon();
QIcon AboutIcon();
QIcon DeleteIcon();
/// The picture shown when a game has no screenshot, 384 × 256.
QImage NoShotPicture();

}  // namespace artwork
