// A Unix socket of the program's own: Qt's local sockets would bring the network library, with
// Kerberos and proxy libraries behind it, into every start for this one line.

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "ui/InstanceChannel.h"

namespace {

constexpr char kRaise[] = "raise\n";
constexpr std::size_t kMaxLine = 16;  // a caller's words: one short line, and no more is read

std::string SocketPath(const std::string& lockPath) {
  return lockPath.substr(0, lockPath.size() - 5) + ".sock";  // "….lock" becomes "….sock"
}

// The address of path; false when the path is too long for one.
bool AddressOf(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  return true;
}

// Waits up to ms for fd to be ready for events; false on a timeout or an error.
bool WaitFor(int fd, short events, int ms) {
  pollfd p{fd, events, 0};
  for (;;) {
    const int n = ::poll(&p, 1, ms);
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

// One caller: read its line, answer it, hang up; one that says nothing is not waited for.
class TCaller : public QObject {
 public:
  TCaller(int fd, const std::function<void()>& onRaise, QObject* parent)
      : QObject(parent), FFd(fd), FOnRaise(onRaise), FNotifier(fd, QSocketNotifier::Read) {
    connect(&FNotifier, &QSocketNotifier::activated, this, [this] { Read(); });
    QTimer::singleShot(5000, this, [this] { deleteLater(); });
  }
  ~TCaller() override {
    FNotifier.setEnabled(false);
    ::close(FFd);
  }

 private:
  void Read() {
    char buffer[kMaxLine];
    const ssize_t got = ::recv(FFd, buffer, kMaxLine - FLine.size(), MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (got > 0) FLine.append(buffer, static_cast<std::size_t>(got));
    if (got > 0 && FLine.find('\n') == std::string::npos && FLine.size() < kMaxLine) return;
    FNotifier.setEnabled(false);
    if (FLine == kRaise) {
      FOnRaise();
      ::send(FFd, "ok\n", 3, MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    deleteLater();
  }

  int FFd;
  std::function<void()> FOnRaise;
  QSocketNotifier FNotifier;
  std::string FLine;
};

}  // namespace

struct TInstanceChannel::TState {
  int Listener = -1;
  std::string Path;
  QSocketNotifier* Notifier = nullptr;
};

TInstanceChannel::TInstanceChannel(QObject* parent) : QObject(parent) {}

TInstanceChannel::~TInstanceChannel() {
  Close();
}

bool TInstanceChannel::Listen(const std::string& lockPath, std::function<void()> onRaise) {
  Close();
  sockaddr_un address;
  const std::string path = SocketPath(lockPath);
  if (!AddressOf(path, address)) return false;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  // Whatever is there is a dead holder's: the lock is ours. The lock's folder is the user's own.
  ::unlink(path.c_str());
  const mode_t mask = ::umask(077);
  const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::umask(mask);
  if (!bound || ::listen(fd, 8) != 0) {
    ::close(fd);
    return false;
  }
  FState = new TState{fd, path, new QSocketNotifier(fd, QSocketNotifier::Read, this)};
  connect(FState->Notifier, &QSocketNotifier::activated, this, [this, onRaise] {
    for (int caller; (caller = ::accept4(FState->Listener, nullptr, nullptr,
                                         SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;)
      new TCaller(caller, onRaise, this);
  });
  return true;
}

void TInstanceChannel::Close() {
  if (!FState) return;
  delete FState->Notifier;
  ::close(FState->Listener);
  ::unlink(FState->Path.c_str());
  delete FState;
  FState = nullptr;
}

bool TInstanceChannel::AskToRaise(const std::string& lockPath) {
  sockaddr_un address;
  if (!AddressOf(SocketPath(lockPath), address)) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      char answer[kMaxLine] = {};
      const bool asked = ::send(fd, kRaise, sizeof kRaise - 1, MSG_NOSIGNAL) ==
                         static_cast<ssize_t>(sizeof kRaise - 1);
      const bool answered = asked && WaitFor(fd, POLLIN, 3000) &&
                            ::recv(fd, answer, sizeof answer - 1, 0) >= 2 &&
                            std::strncmp(answer, "ok", 2) == 0;
      ::close(fd);
      return answered;
    }
    ::close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}
