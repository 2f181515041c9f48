// The real program's hooks of the main window: catalogue, dialogs, unzip library.

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include "MainWindow.h"
#include "platform/UserInteraction.h"

TMainHooks DefaultMainHooks(TUserInteraction& ui) {
  (void)ui;
  TMainHooks hooks;
  hooks.ShellOpen = [](const std::string& target) {
    const QString text = QString::fromStdString(target);
    const QUrl url = text.contains("://") ? QUrl(text)
                                          : QUrl::fromLocalFile(QDir::current().absoluteFilePath(text));
    QDesktopServices::openUrl(url);
  };
  return hooks;
}
