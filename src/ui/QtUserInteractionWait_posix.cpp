#include <poll.h>

#include <QEventLoop>
#include <QSocketNotifier>

#include "ui/QtUserInteraction.h"

namespace {
bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
}
}  // namespace

// The event loop sleeps in the dispatcher until the descriptor becomes readable or an event
// arrives; nothing wakes it on a timer.
bool TQtUserInteraction::WaitDispatching(TWaitHandle handle) {
  const int fd = static_cast<int>(handle);
  if (fd < 0) return false;
  if (Readable(fd)) return true;
  if (FQuitRequested) return false;

  QEventLoop loop;
  bool signalled = false;
  QSocketNotifier notifier(static_cast<qintptr>(fd), QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
    notifier.setEnabled(false);  // a descriptor at its end stays readable
    signalled = true;
    loop.quit();
  });
  QObject::connect(this, &TQtUserInteraction::QuitRequestedChanged, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::AllEvents);
  return signalled || Readable(fd);
}
