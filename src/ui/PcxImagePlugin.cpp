#include "PcxImagePlugin.h"

#include <QImage>
#include <string_view>

#include "screenshots/PcxDecoder.h"

bool TPcxImageHandler::CanRead(QIODevice* device) {
  if (!device) return false;
  const QByteArray head = device->peek(66);
  if (head.size() < 66 || head[0] != 10) return false;
  const int bits = static_cast<unsigned char>(head[3]);
  const int planes = static_cast<unsigned char>(head[65]);
  return (bits == 8 && planes == 1) || (bits == 1 && planes == 4);
}

bool TPcxImageHandler::canRead() const {
  if (!CanRead(device())) return false;
  setFormat("pcx");
  return true;
}

bool TPcxImageHandler::read(QImage* image) {
  const QByteArray data = device()->readAll();
  const auto bmp = ConvertPcxToBmp(std::string_view(data.constData(), data.size()));
  if (!bmp) return false;
  QImage decoded;
  if (!decoded.loadFromData(reinterpret_cast<const uchar*>(bmp->data()),
                            static_cast<int>(bmp->size()), "BMP"))
    return false;
  *image = decoded;
  return true;
}

QImageIOPlugin::Capabilities TPcxImagePlugin::capabilities(QIODevice* device,
                                                           const QByteArray& format) const {
  if (format.toLower() == "pcx") return CanRead;
  if (!format.isEmpty() || !device || !device->isOpen()) return {};
  return device->isReadable() && TPcxImageHandler::CanRead(device) ? CanRead : Capabilities{};
}

QImageIOHandler* TPcxImagePlugin::create(QIODevice* device, const QByteArray& format) const {
  auto* handler = new TPcxImageHandler;
  handler->setDevice(device);
  handler->setFormat(format.isEmpty() ? QByteArray("pcx") : format);
  return handler;
}
