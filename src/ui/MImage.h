#pragma once

#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QWidget>

/// An image control that draws its picture stretched over its own bounds; the screenshot pane
/// sizes it. Linking it makes the PCX picture format known to Qt's image loading.
class TMImage : public QWidget {
  Q_OBJECT

 public:
  explicit TMImage(QWidget* parent = nullptr);

  /// The control keeps its own copy of the picture. size is the picture's own size when the
  /// pixels were decoded at a reduced scale; placement always uses it.
  void SetPicture(const QImage& picture, QSize size = {});
  void ClearPicture();
  const QImage& Picture() const { return FPicture; }
  QSize PictureSize() const { return FSize; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QImage FPicture;
  QSize FSize;
  QPixmap FScaled;  ///< the picture at the control's size, made once per size
};
