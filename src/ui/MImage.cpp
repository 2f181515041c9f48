#include "MImage.h"

#include <QPainter>

TMImage::TMImage(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TMImage::SetPicture(const QImage& picture) {
  FPicture = picture;
  update();
}

void TMImage::ClearPicture() {
  FPicture = QImage();
  update();
}

void TMImage::paintEvent(QPaintEvent*) {
  if (FPicture.isNull()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(rect(), FPicture);
}

#ifdef STARTVELK_HAVE_PCX
#include <QtPlugin>
// The image control's unit makes the PCX format known to every image load of the program.
Q_IMPORT_PLUGIN(TPcxImagePlugin)
#endif
