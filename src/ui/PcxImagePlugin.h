#pragma once

#include <QImageIOHandler>
#include <QImageIOPlugin>

/// Reads PCX pictures (256 colours, and 16 colours in four planes) through the program's PCX
/// decoder, so that QImage and QImageReader load them like any other format.
class TPcxImageHandler : public QImageIOHandler {
 public:
  bool canRead() const override;
  bool read(QImage* image) override;

  /// True when the device's next bytes start a PCX header of a supported variant.
  static bool CanRead(QIODevice* device);
};

class TPcxImagePlugin : public QImageIOPlugin {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "PcxImagePlugin.json")

 public:
  Capabilities capabilities(QIODevice* device, const QByteArray& format) const override;
  QImageIOHandler* create(QIODevice* device, const QByteArray& format) const override;
};
