#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <optional>
#include <string>

#include "catalogue/Catalogue.h"
#include "screenshots/JpegCodec.h"

class TUserInteraction;

// While a game runs, every picture that reaches the clipboard, whichever program put it there,
// becomes the current game's next ScreenShots/<ZipName><NN>.jpg.

/// The picture as 24-bit RGB rows for the JPEG encoder; a transparent picture is laid on black,
/// as a bitmap without an alpha channel would show it.
TRgbImage RgbImageFromQImage(const QImage& image);

class TClipboardCapture : public QObject {
  Q_OBJECT

 public:
  /// Pictures go below catalogue.GameDir; a capture that fails is reported through ui as the
  /// general error report does (an error box with "OK").
  TClipboardCapture(TCatalogue& catalogue, TUserInteraction& ui, QObject* parent = nullptr);
  ~TClipboardCapture() override;

  /// Creates ScreenShots when missing (an existing case variant is kept), empties the clipboard
  /// and from then on saves every picture that reaches it. Throws ECaptureError when the folder
  /// cannot be created; the chain is then not joined.
  void JoinClipboardChain();
  /// Stops saving; the clipboard keeps what it holds.
  void LeaveClipboardChain();
  bool Joined() const { return FJoined; }

  /// Saves the clipboard's picture as the current game's next capture and returns its path;
  /// nothing for a clipboard without a picture or while no game is current. Throws ECaptureError
  /// when the picture cannot be encoded or written.
  std::optional<std::string> SaveClipboardScreenShot();

 signals:
  /// After each picture saved, with the file's path.
  void ScreenShotSaved(const QString& path);

 private:
  void ClipboardChanged();

  TCatalogue& FCatalogue;
  TUserInteraction& FUi;
  QMetaObject::Connection FConnection;
  bool FJoined = false;
};
