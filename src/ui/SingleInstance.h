#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <string>

#include "platform/InstanceLock.h"
#include "ui/InstanceChannel.h"

class QWidget;
class TQtUserInteraction;

/// One StartVELK per emulator folder. The first start in a folder holds its lock and answers the
/// later ones: they bring its window forward and end. A holder that has no window any more,
/// because it waits for its game to end before it cleans up, says so through the lock's note, and
/// a later start tells the user in one message. Other folders are not blocked.
class TSingleInstance : public QObject {
  Q_OBJECT

 public:
  explicit TSingleInstance(QObject* parent = nullptr);
  ~TSingleInstance() override;

  /// Claims folder for this process. False when another StartVELK holds it: that one has been
  /// asked to show its window, or the user was told why it has none; this process then ends.
  /// A folder whose lock cannot be had at all (no private runtime folder) is not guarded.
  bool Claim(const std::string& folder, TQtUserInteraction& ui);

  /// The window a later start brings forward.
  void SetWindow(QWidget* window) { FWindow = window; }

  /// From now on later starts are told that this process waits for game to end, then cleans up.
  void WaitingForGame(const QString& game);

  /// Lets later starts have the folder: this process only ends now, without its window.
  void Release();

  /// The text of the message a later start shows while the holder waits for game.
  static QString WaitingText(const QString& game);

 private:
  void ShowWindow();

  platform::TInstanceLock FLock;
  TInstanceChannel FChannel;
  QPointer<QWidget> FWindow;
};
