#include "ui/SingleInstance.h"

#include <QApplication>
#include <QWidget>

#include "platform/UserInteraction.h"
#include "ui/InstanceChannel.h"
#include "ui/QtUserInteraction.h"

namespace {

// What the lock's note says: "window", or "waiting" and the game's name on the next line.
constexpr char kWaiting[] = "waiting\n";

}  // namespace

TSingleInstance::TSingleInstance(QObject* parent) : QObject(parent) {}

TSingleInstance::~TSingleInstance() = default;

void TSingleInstance::Release() {
  FChannel.Close();
  FLock.Release();
}

QString TSingleInstance::WaitingText(const QString& game) {
  return QStringLiteral(
             "StartVELK is still running in this folder: its window is closed, and it "
             "waits for %1 to end to clean up after it.\rStart StartVELK again once "
             "the game has ended.")
      .arg(game);
}

bool TSingleInstance::Claim(const std::string& folder, TQtUserInteraction& ui) {
  const std::string path = platform::InstanceLockPath(folder);
  if (path.empty()) return true;
  std::string error;
  if (FLock.Acquire(path, &error)) {
    FLock.WriteNote("window\n");
    FChannel.Listen(path, [this] { ShowWindow(); });
    return true;
  }
  if (!error.empty()) return true;  // no lock to be had here: nothing to guard with

  const std::string note = platform::ReadInstanceNote(path);
  if (note.rfind(kWaiting, 0) == 0) {
    // The name comes from another process: one line of it, shown as text.
    std::string game = note.substr(sizeof kWaiting - 1);
    game = game.substr(0, game.find('\n'));
    ui.MessageDlg(WaitingText(QString::fromStdString(game)).toStdString(),
                  TMsgDlgType::mtInformation, mbOK);
    return false;
  }
  if (!TInstanceChannel::AskToRaise(path))
    ui.MessageDlg("StartVELK is already running in this folder, but its window cannot be shown.",
                  TMsgDlgType::mtError, mbOK);
  return false;
}

void TSingleInstance::WaitingForGame(const QString& game) {
  QString line = game;
  line.replace(QLatin1Char('\n'), QLatin1Char(' '));
  FLock.WriteNote(kWaiting + line.toStdString() + "\n");
  FChannel.Close();  // a closed window is not brought back
}

void TSingleInstance::ShowWindow() {
  // A dialog in front of the window is what the user must answer first.
  QWidget* window = QApplication::activeModalWidget();
  if (!window) window = FWindow;
  if (!window) return;
  if (window->isMinimized()) window->showNormal();
  window->show();
  window->raise();
  window->activateWindow();
}
