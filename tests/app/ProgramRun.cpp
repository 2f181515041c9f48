#include "ProgramRun.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>
#include <csignal>

namespace programrun {

void WriteText(const QString& path, const QByteArray& text) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(text);
}

void WriteScript(const QString& path, const QByteArray& body) {
  WriteText(path, "#!/bin/sh\n" + body);
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

std::optional<qint64> ProgramIn(const QString& dir) {
  const QString program = QFileInfo(STARTVELK_PROGRAM).canonicalFilePath();
  for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    bool number = false;
    const qint64 pid = entry.toLongLong(&number);
    if (!number) continue;
    const QString exe = QFileInfo("/proc/" + entry + "/exe").canonicalFilePath();
    const QString cwd = QFileInfo("/proc/" + entry + "/cwd").canonicalFilePath();
    if (exe == program && cwd == QFileInfo(dir).canonicalFilePath()) return pid;
  }
  return std::nullopt;
}

QString WindowNames(qint64 pid) {
  const QString xwininfo = QStandardPaths::findExecutable("xwininfo");
  if (xwininfo.isEmpty()) return {};
  QFile environ(QString("/proc/%1/environ").arg(pid));
  if (!environ.open(QIODevice::ReadOnly)) return {};
  QProcess query;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const QByteArray& pair : environ.readAll().split('\0')) {
    for (const char* key : {"DISPLAY", "XAUTHORITY"}) {
      const QByteArray prefix = QByteArray(key) + "=";
      if (pair.startsWith(prefix)) env.insert(key, QString::fromUtf8(pair.mid(prefix.size())));
    }
  }
  query.setProcessEnvironment(env);
  query.start(xwininfo, {"-root", "-tree"});
  query.waitForFinished(10000);
  return QString::fromUtf8(query.readAllStandardOutput());
}

QByteArray EmuExeDate(const QString& velk) {
  QDateTime time = QFileInfo(velk).lastModified();
  const QTime t = time.time();
  time.setTime(QTime(t.hour(), t.minute(), t.second() - t.second() % 2));
  return time.toString("yyyy-MM-dd HH:mm:ss").toUtf8();
}

}  // namespace programrun

TProgramRun::TProgramRun(const QString& dir) : FDir(dir) {
  FXvfb.setWorkingDirectory(dir);
  FXvfb.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("QT_QPA_PLATFORM");
  FXvfb.setProcessEnvironment(env);
  // A display number of its own makes collisions with other X servers started meanwhile rare.
  const QString first = QString::number(200 + QCoreApplication::applicationPid() % 500);
  FXvfb.start("xvfb-run",
              {"-a", "-n", first, "-s", "-screen 0 1024x768x24 -dpi 96", STARTVELK_PROGRAM});
}

TProgramRun::~TProgramRun() {
  // A failed test must not leave the program and its X server behind.
  if (const auto pid = programrun::ProgramIn(FDir)) ::kill(static_cast<pid_t>(*pid), SIGKILL);
  if (FXvfb.state() != QProcess::NotRunning && !FXvfb.waitForFinished(5000)) {
    FXvfb.kill();
    FXvfb.waitForFinished(5000);
  }
}
