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
