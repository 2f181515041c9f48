#include "ClipboardCapture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <cstring>
#include <exception>

#include "platform/UserInteraction.h"
#include "screenshots/Capture.h"

TRgbImage RgbImageFromQImage(const QImage& image) {
  QImage source = image;
  if (source.hasAlphaChannel()) {
    QImage opaque(source.size(), QImage::Format_RGB32);
    opaque.fill(Qt::black);
    QPainter painter(&opaque);
    painter.drawImage(0, 0, source);
    painter.end();
    source = opaque;
  }
  const QImage rgb = source.convertToFormat(QImage::Format_RGB888);
  TRgbImage out;
  out.Width = rgb.width();
  out.Height = rgb.height();
  const std::size_t rowBytes = static_cast<std::size_t>(out.Width) * 3;
  out.Pixels.resize(rowBytes * static_cast<std::size_t>(out.Height));
  // Qt pads each row to four bytes; the encoder takes them packed.
  for (int y = 0; y < out.Height; ++y)
    std::memcpy(out.Pixels.data() + rowBytes * static_cast<std::size_t>(y), rgb.constScanLine(y),
                rowBytes);
  return out;
}

TClipboardCapture::TClipboardCapture(TCatalogue& catalogue, TUserInteraction& ui, QObject* parent)
    : QObject(parent), FCatalogue(catalogue), FUi(ui) {
  SkipRepeatedPicture = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

TClipboardCapture::~TClipboardCapture() {
  LeaveClipboardChain();
}

void TClipboardCapture::JoinClipboardChain() {
  if (FJoined) return;
  EnsureScreenShotFolder(FCatalogue.GameDir);
  FGame = FCatalogue.CurrentGame;
  FLastSaved = QImage();
  QClipboard* clipboard = QGuiApplication::clipboard();
  // Taking the clipboard over and then letting it go empties it whoever held it before, so a
  // picture from before the start is neither saved nor left behind.
  clipboard->setMimeData(new QMimeData, QClipboard::Clipboard);
  clipboard->clear(QClipboard::Clipboard);
  // Each change is read while it is announced, so two quick changes save two pictures, not the
  // last one twice. An announcement of the emptying above that arrives late finds nothing.
  FConnection = connect(clipboard, &QClipboard::dataChanged, this,
                        &TClipboardCapture::ClipboardChanged, Qt::DirectConnection);
  FJoined = true;
}

void TClipboardCapture::LeaveClipboardChain() {
  if (!FJoined) return;
  disconnect(FConnection);
  FJoined = false;
}

std::optional<std::string> TClipboardCapture::SaveClipboardScreenShot() {
  const std::int32_t game = FJoined ? FGame : FCatalogue.CurrentGame;
  if (game < 0 || static_cast<std::size_t>(game) >= FCatalogue.Games.size()) return std::nullopt;
  const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
  if (data == nullptr || !data->hasImage()) return std::nullopt;
  const QImage image = qvariant_cast<QImage>(data->imageData());
  if (image.isNull()) throw ECaptureError("The picture on the clipboard cannot be read");
  if (SkipRepeatedPicture && !FLastSaved.isNull() && image == FLastSaved) return std::nullopt;
  std::optional<std::string> path =
      ::SaveClipboardScreenShot(FCatalogue, game, RgbImageFromQImage(image));
  if (path) {
    FLastSaved = image;
    emit ScreenShotSaved(QString::fromStdString(*path));
  }
  return path;
}

void TClipboardCapture::ClipboardChanged() {
  if (!FJoined) return;  // a notification queued before the chain was left
  try {
    SaveClipboardScreenShot();
  } catch (const std::exception& error) {
    // Only this capture is lost; the next picture is saved as usual.
    FUi.MessageDlg(error.what(), TMsgDlgType::mtError, mbOK);
  }
}
