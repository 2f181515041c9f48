#include "ui/RunningGame.h"

#include <QPushButton>
#include <QVariantMap>

#ifdef STARTVELK_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#endif

#include "launch/ExecFile.h"
#include "platform/Process.h"
#include "ui/MainWindow.h"

QString TRunningGame::StatusText(const QString& name) {
  return QStringLiteral("Running: %1").arg(name);
}

QString TRunningGame::ConsoleTitle(const QString& name) {
  return QStringLiteral("%1 \u2014 VELK").arg(name);
}

QString TRunningGame::CleanUpNotice(const QString& name) {
  return QStringLiteral("StartVELK's window is closed. StartVELK will clean up when %1 ends.")
      .arg(name);
}

void TRunningGame::Begins(const QString& name) {
  FName = name;
  FMain.ExecEmu->Title = ConsoleTitle(name).toStdString();
  QPushButton* start = FMain.StartEmuButton;
  FStartText = start->accessibleName();
  // The words take the picture's place, so that the game's name fits.
  FStartIcon = start->icon();
  start->setIcon(QIcon());
  start->setText(
      start->fontMetrics().elidedText(StatusText(name), Qt::ElideRight, start->width() - 16));
  start->setAccessibleName(StatusText(name));
  start->setToolTip(QStringLiteral("%1 is running; end it to start another game").arg(name));
  FMain.SetRunningText(StatusText(name));
  if (OnRunning) OnRunning(true);
}

void TRunningGame::Ends() {
  if (FName.isEmpty()) return;
  FName.clear();
  FMain.ExecEmu->Title.clear();
  QPushButton* start = FMain.StartEmuButton;
  start->setText(QString());
  start->setIcon(FStartIcon);
  start->setAccessibleName(FStartText);
  start->setToolTip(FStartText);
  FMain.SetRunningText(QString());
  if (OnRunning) OnRunning(false);
}

void TRunningGame::ClosedDuringRun(std::int64_t consolePid) {
  if (FName.isEmpty()) return;
  if (OnClosedDuringRun) OnClosedDuringRun(FName);
  if (!ShowDesktopNotification(QStringLiteral("StartVELK"), CleanUpNotice(FName)) && consolePid > 0)
    platform::ShowConsoleNotice(consolePid);
}

bool ShowDesktopNotification(const QString& summary, const QString& body) {
#ifdef STARTVELK_HAVE_DBUS
  QDBusConnection bus = QDBusConnection::sessionBus();
  const QString service = QStringLiteral("org.freedesktop.Notifications");
  if (!bus.isConnected() || !bus.interface()) return false;
  // A service that is neither running nor started on demand would leave the call unanswered.
  if (!bus.interface()->isServiceRegistered(service).value() &&
      !bus.interface()->activatableServiceNames().value().contains(service))
    return false;
  QDBusMessage call = QDBusMessage::createMethodCall(
      service, QStringLiteral("/org/freedesktop/Notifications"), service, QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("startvelk"));
  call << QStringLiteral("StartVELK") << 0u << QStringLiteral("startvelk") << summary << body
       << QStringList() << hints << -1;
  // Answered before the program stops dispatching to wait for the game.
  const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
  return reply.type() == QDBusMessage::ReplyMessage;
#else
  (void)summary;
  (void)body;
  return false;
#endif
}
