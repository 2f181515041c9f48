#include "ui/SingleInstance.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "platform/UserInteraction.h"
#include "ui/QtUserInteraction.h"

namespace {

// What the lock's note says: "window", or "waiting" and the game's name on the next line.
constexpr char kWaiting[] = "waiting\n";
constexpr char kRaise[] = "raise\n";

QString ServerName(const std::string& lockPath) {
#ifdef _WIN32
  // A pipe's name, not a path.
  const std::size_t cut = lockPath.find_last_of("\\/");
  return QString::fromStdString(lockPath.substr(cut == std::string::npos ? 0 : cut + 1));
#else
  return QString::fromStdString(lockPath.substr(0, lockPath.size() - 5) + ".sock");
#endif
}

// Asks the holder to show its window; true when it answered. It may still be starting (its
// window and its answering come after the lock), so it is given a few seconds.
bool AskToShowWindow(const QString& server) {
  const QDeadlineTimer deadline(5000);
  while (!deadline.hasExpired()) {
    QLocalSocket socket;
    socket.connectToServer(server);
    if (socket.waitForConnected(500)) {
      socket.write(kRaise);
      socket.flush();
      return socket.waitForReadyRead(3000) && socket.readLine(16).startsWith("ok");
    }
    QThread::msleep(100);
  }
  return false;
}

}  // namespace

TSingleInstance::TSingleInstance(QObject* parent) : QObject(parent) {}

TSingleInstance::~TSingleInstance() {
  if (FServer) FServer->close();
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
    // Any socket left there is a dead holder's: the lock is ours.
    const QString name = ServerName(path);
    QLocalServer::removeServer(name);
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (FServer->listen(name))
      connect(FServer, &QLocalServer::newConnection, this, &TSingleInstance::Answer);
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
  if (!AskToShowWindow(ServerName(path)))
    ui.MessageDlg("StartVELK is already running in this folder, but its window cannot be shown.",
                  TMsgDlgType::mtError, mbOK);
  return false;
}

void TSingleInstance::WaitingForGame(const QString& game) {
  QString line = game;
  line.replace(QLatin1Char('\n'), QLatin1Char(' '));
  FLock.WriteNote(kWaiting + line.toStdString() + "\n");
  if (FServer) FServer->close();  // a closed window is not brought back
}

void TSingleInstance::Answer() {
  while (QLocalSocket* socket = FServer->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // A caller that says nothing is not waited for.
    QTimer::singleShot(5000, socket, [socket] { socket->abort(); });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      // Another process's words: one short line, and only the one request is known.
      if (!socket->canReadLine() && socket->bytesAvailable() < 16) return;
      const QByteArray line = socket->readLine(16);
      if (line == kRaise) {
        ShowWindow();
        socket->write("ok\n");
        socket->flush();
      }
      socket->disconnectFromServer();
    });
  }
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
