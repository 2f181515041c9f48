// A named pipe through Qt's local sockets.

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include "ui/InstanceChannel.h"

namespace {

constexpr char kRaise[] = "raise\n";

// A pipe's name, not a path.
QString ServerName(const std::string& lockPath) {
  const std::size_t cut = lockPath.find_last_of("\\/");
  return QString::fromStdString(lockPath.substr(cut == std::string::npos ? 0 : cut + 1));
}

}  // namespace

struct TInstanceChannel::TState {
  QLocalServer* Server = nullptr;
};

TInstanceChannel::TInstanceChannel(QObject* parent) : QObject(parent) {}

TInstanceChannel::~TInstanceChannel() {
  Close();
}

bool TInstanceChannel::Listen(const std::string& lockPath, std::function<void()> onRaise) {
  Close();
  const QString name = ServerName(lockPath);
  QLocalServer::removeServer(name);
  auto* server = new QLocalServer(this);
  server->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server->listen(name)) {
    delete server;
    return false;
  }
  FState = new TState{server};
  connect(server, &QLocalServer::newConnection, this, [server, onRaise] {
    while (QLocalSocket* socket = server->nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      // A caller that says nothing is not waited for.
      QTimer::singleShot(5000, socket, [socket] { socket->abort(); });
      QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, onRaise] {
        // Another process's words: one short line, and only the one request is known.
        if (!socket->canReadLine() && socket->bytesAvailable() < 16) return;
        if (socket->readLine(16) == kRaise) {
          onRaise();
          socket->write("ok\n");
          socket->flush();
        }
        socket->disconnectFromServer();
      });
    }
  });
  return true;
}

void TInstanceChannel::Close() {
  if (!FState) return;
  FState->Server->close();
  delete FState->Server;
  delete FState;
  FState = nullptr;
}

bool TInstanceChannel::AskToRaise(const std::string& lockPath) {
  const QString server = ServerName(lockPath);
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
