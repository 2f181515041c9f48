#include "MImage.h"

#include <QPainter>
#include <QtPlugin>

// The image control's unit makes the PCX format known to every image load of the program.
Q_IMPORT_PLUGIN(TPcxImagePlugin)

TMImage::TMImage(QWidget* parent) : QWidget(parent) {}

void TMImage::SetPicture(const QImage& picture, QSize size) {
  FPicture = picture;
  FSize = size.isValid() ? size : picture.size();
  FScaled = QPixmap();
  update();
}

void TMImage::ClearPicture() {
  FPicture = QImage();
  FSize = QSize();
  FScaled = QPixmap();
  update();
}

void TMImage::resizeEvent(QResizeEvent*) {
  FScaled = QPixmap();
}

void TMImage::paintEvent(QPaintEvent*) {
  if (FPicture.isNull() || width() <= 0 || height() <= 0) return;
  const qreal ratio = devicePixelRatioF();
  const QSize target = (QSizeF(size()) * ratio).toSize();
  if (FScaled.isNull() || FScaled.size() != target) {
    // Scaled once per size, so that repaints of a large picture cost no more than a copy.
    FScaled = QPixmap::fromImage(
        FPicture.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    FScaled.setDevicePixelRatio(ratio);
  }
  QPainter painter(this);
  painter.drawPixmap(0, 0, FScaled);
}
