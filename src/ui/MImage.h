#pragma once

#include <QImage>
#include <QWidget>

/// An image control that draws its picture stretched over its own bounds; the screenshot pane
/// sizes it. Linking it makes the PCX picture format known to Qt's image loading.
class TMImage : public QWidget {
  Q_OBJECT

 public:
  explicit TMImage(QWidget* parent = nullptr);

  /// The control keeps its own copy of the picture.
  void SetPicture(const QImage& picture);
  void ClearPicture();
  const QImage& Picture() const { return FPicture; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage FPicture;
};
