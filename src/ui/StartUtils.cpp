#include "ui/StartUtils.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QUrl>
#include <QWidget>

#include "platform/Files.h"
#include "platform/Text.h"
#include "platform/UserInteraction.h"

QUrl ShellOpenUrl(const std::string& target) {
  const QString text = QString::fromStdString(DisplayText(target));
  // A scheme of two letters or more; a single letter before the colon is a drive.
  static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
  if (scheme.match(text).hasMatch()) return QUrl(text);
  if (!target.empty() && platform::PathExists(target)) {
    const QString onDisk =
        QFile::decodeName(QByteArray::fromStdString(platform::ResolvePath(target)));
    return QUrl::fromLocalFile(QDir::current().absoluteFilePath(onDisk));
  }
  // A bare host name such as the Help menu's web site entries.
  if (text.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
    return QUrl(QStringLiteral("http://") + text);
  if (text.startsWith(QLatin1String("ftp."), Qt::CaseInsensitive))
    return QUrl(QStringLiteral("ftp://") + text);
  return QUrl::fromLocalFile(
      QDir::current().absoluteFilePath(QFile::decodeName(QByteArray::fromStdString(target))));
}

QString ShownText(std::string_view bytes) {
  return QString::fromStdString(DisplayText(bytes));
}

bool ShellOpen(const std::string& target) {
  return QDesktopServices::openUrl(ShellOpenUrl(target));
}

void OpenOrSay(const std::vector<std::string>& places, TUserInteraction& ui) {
  std::string looked;
  for (const std::string& place : places) {
    // A web address, or a document that is there: the desktop opens it or it is said why not.
    if (!ShellOpenUrl(place).isLocalFile() || platform::FileExists(place)) {
      if (ShellOpen(place)) return;
      ui.MessageDlg("Cannot open " + place +
                        ":\rno program of the desktop opens it (xdg-open was "
                        "not found or failed).",
                    TMsgDlgType::mtError, mbOK);
      return;
    }
    looked += "\r" + place;
  }
  const std::string name = places.empty() ? std::string() : places.front();
  const std::size_t cut = name.find_last_of("\\/");
  ui.MessageDlg("Cannot open " + name.substr(cut == std::string::npos ? 0 : cut + 1) +
                    ": it is in none of these places:" + looked,
                TMsgDlgType::mtError, mbOK);
}

std::vector<std::string> ProgramDocumentPlaces(const std::string& name,
                                               const std::string& gameDir) {
  const std::string program = platform::ProgramDir();
  return {gameDir.empty() ? name : platform::JoinPath(gameDir, name),
          QDir::cleanPath(QFile::decodeName(QByteArray::fromStdString(
                              platform::JoinPath(program, "../share/startvelk/" + name))))
              .toStdString(),
          platform::JoinPath(program, name)};
}

void CenterOnScreen(QWidget* window) {
  if (!window) return;
  QScreen* screen = window->screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QSize size = window->frameGeometry().size();
  window->move(area.x() + (area.width() - size.width()) / 2,
               area.y() + (area.height() - size.height()) / 2);
}

void SetFixedDialogFlags(QWidget* dialog) {
  dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint);
}

namespace {
QPointer<QWidget> gDialogOwner;
}

void SetDialogOwner(QWidget* owner) {
  gDialogOwner = owner;
}

QWidget* DialogOwner() {
  return gDialogOwner;
}
