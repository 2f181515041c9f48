#include <windows.h>

#include <QEventLoop>
#include <QWinEventNotifier>

#include "ui/QtUserInteraction.h"

// The event loop sleeps until the handle is signalled or an event arrives; nothing wakes it on a
// timer.
bool TQtUserInteraction::WaitDispatching(TWaitHandle handle) {
  HANDLE h = reinterpret_cast<HANDLE>(handle);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
  if (WaitForSingleObject(h, 0) == WAIT_OBJECT_0) return true;
  if (FQuitRequested) return false;

  QEventLoop loop;
  bool signalled = false;
  QWinEventNotifier notifier(h);
  QObject::connect(&notifier, &QWinEventNotifier::activated, &loop, [&] {
    notifier.setEnabled(false);
    signalled = true;
    loop.quit();
  });
  QObject::connect(this, &TQtUserInteraction::QuitRequestedChanged, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::AllEvents);
  return signalled || WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
}
