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
// becomes the running game's next ScreenShots/<ZipName><NN>.jpg, whatever the list shows meanwhile.

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
  /// and from then on saves every picture that reaches it as a picture of the game current now.
  /// Throws ECaptureError when the folder cannot be created; the chain is then not joined.
  void JoinClipboardChain();
  /// Stops saving; the clipboard keeps what it holds.
  void LeaveClipboardChain();
  bool Joined() const { return FJoined; }

  /// A Wayland compositor announces the selection again whenever the focus changes, with no new
  /// picture on it; there a picture equal to the last one saved is not saved again. Set for a
  /// native Wayland session; elsewhere each announcement is a copy.
  bool SkipRepeatedPicture = false;

  /// Saves the clipboard's picture as the next capture of the game of the run (outside a run, of
  /// the current game) and returns its path; nothing for a clipboard without a picture, while no
  /// game is current, or for the picture this run saved last when SkipRepeatedPicture is set.
  /// Throws ECaptureError when the picture cannot be encoded or written.
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
  std::int32_t FGame = -1;  ///< the game of the run, from the join on
  QImage FLastSaved;        ///< the picture this run saved last
};
