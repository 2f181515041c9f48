#include "ProgramRun.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>
#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>

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

QProcessEnvironment DisplayOf(qint64 pid) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  QFile environ(QString("/proc/%1/environ").arg(pid));
  if (!environ.open(QIODevice::ReadOnly)) return env;
  for (const QByteArray& pair : environ.readAll().split('\0')) {
    for (const char* key : {"DISPLAY", "XAUTHORITY"}) {
      const QByteArray prefix = QByteArray(key) + "=";
      if (pair.startsWith(prefix)) env.insert(key, QString::fromUtf8(pair.mid(prefix.size())));
    }
  }
  return env;
}

bool Xdo(qint64 pid, const QStringList& args, QByteArray* output) {
  QProcess xdo;
  xdo.setProcessEnvironment(DisplayOf(pid));
  xdo.start("xdotool", args);
  const bool ok = xdo.waitForFinished(40000) && xdo.exitCode() == 0;
  if (output) *output = xdo.readAllStandardOutput();
  return ok;
}

bool CloseWindows(qint64 pid, const QStringList& search) {
  QByteArray ids;
  if (!Xdo(pid, QStringList{"search", "--onlyvisible"} + search, &ids)) return false;
  const QProcessEnvironment env = DisplayOf(pid);
  const QByteArray display = env.value("DISPLAY").toLocal8Bit();
  qputenv("XAUTHORITY", env.value("XAUTHORITY").toLocal8Bit());
  xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
  if (xcb_connection_has_error(connection) != 0) {
    xcb_disconnect(connection);
    return false;
  }
  const auto atom = [connection](const char* name) {
    auto* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(qstrlen(name)), name),
        nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return value;
  };
  const xcb_atom_t protocols = atom("WM_PROTOCOLS"), deleteWindow = atom("WM_DELETE_WINDOW");
  bool sent = false;
  for (const QByteArray& id : ids.split('\n')) {
    bool number = false;
    const xcb_window_t window = id.trimmed().toUInt(&number);
    if (!number) continue;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = protocols;
    event.data.data32[0] = deleteWindow;
    event.data.data32[1] = XCB_CURRENT_TIME;
    // Checked: the server has the request before the connection goes, which could drop it.
    const xcb_void_cookie_t cookie = xcb_send_event_checked(
        connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_generic_error_t* error = xcb_request_check(connection, cookie);
    sent = sent || error == nullptr;
    std::free(error);
  }
  xcb_disconnect(connection);
  return sent;
}

QString WindowNames(qint64 pid) {
  const QString xwininfo = QStandardPaths::findExecutable("xwininfo");
  if (xwininfo.isEmpty()) return {};
  QProcess query;
  query.setProcessEnvironment(DisplayOf(pid));
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

namespace {

// Whether the X server of display number takes a connection with the hex cookie: a server that
// says it is ready on a number another server still answers for is not the one reached.
bool Reachable(const QByteArray& number, const QString& cookie) {
  const QByteArray data = QByteArray::fromHex(cookie.toLatin1());
  char name[] = "MIT-MAGIC-COOKIE-1";
  xcb_auth_info_t auth{static_cast<int>(sizeof name - 1), name, static_cast<int>(data.size()),
                       const_cast<char*>(data.constData())};
  xcb_connection_t* connection =
      xcb_connect_to_display_with_auth_info((":" + number).constData(), &auth, nullptr);
  const bool ok = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  return ok;
}

}  // namespace

TProgramRun::TProgramRun(const QString& dir) : FDir(dir) {
  // An X server of its own, which says when it accepts connections (-displayfd), with a cookie of
  // its own: processes a former test left running cannot reach it even on the same display. The
  // numbers start at one of this test process's own, past those its former servers had; one taken
  // meanwhile ends that server, and the next is tried. The server never resets (-noreset): one
  // that resets as its last client leaves drops a client connecting in that moment, such as the
  // program right after the check of the cookie has left.
  const QString cookie =
      QString::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, '0') +
      QString::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, '0');
  const QString authority = FAuthority.filePath("Xauthority");
  QByteArray number;
  static int used = 0;  // numbers this test process's servers have had
  int display = 200 + static_cast<int>(QCoreApplication::applicationPid() % 500) + used;
  for (int tries = 0; number.isEmpty() && tries < 50; ++display, ++tries) {
    ++used;
    QProcess::execute("xauth", {"-q", "-f", authority, "add", ":" + QString::number(display), ".",
                                cookie});
    FServer.setStandardErrorFile(QProcess::nullDevice());
    FServer.start("Xvfb", {":" + QString::number(display), "-displayfd", "1", "-auth", authority,
                           "-screen", "0", "1024x768x24", "-dpi", "96", "-nolisten", "tcp", "-noreset"});
    const QDeadlineTimer deadline(40000);
    QByteArray said;
    while (!said.contains('\n') && !deadline.hasExpired() &&
           FServer.state() != QProcess::NotRunning) {
      FServer.waitForReadyRead(500);
      said += FServer.readAllStandardOutput();
    }
    if (said.contains('\n') && Reachable(said.trimmed(), cookie)) {
      number = said.trimmed();
    } else {
      if (said.contains('\n'))
        qWarning("display :%s is ready but refuses its own cookie; trying the next",
                 said.trimmed().constData());
      FServer.terminate();
      FServer.waitForFinished(5000);
    }
  }
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("QT_QPA_PLATFORM");
  env.insert("DISPLAY", ":" + QString::fromLatin1(number));
  env.insert("XAUTHORITY", authority);
  // The folders a user chose elsewhere must not lead a start away from the folder under test.
  env.insert("XDG_CONFIG_HOME", dir + "/.config");
  // No session bus: without an address, the menu bar's look for one forks a bus launcher from a
  // thread, and in the sanitizer build that child can hang in the allocator with the parent
  // waiting on it. A bus that is not there is answered at once and the menu stays in the window.
  env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir + "/.no-session-bus");
  FProgram.setWorkingDirectory(dir);
  FProgram.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  FProgram.setProcessEnvironment(env);
  FProgram.start(STARTVELK_PROGRAM, {});
}

TProgramRun::~TProgramRun() {
  // A failed test must not leave the program and its X server behind.
  if (const auto pid = programrun::ProgramIn(FDir)) ::kill(static_cast<pid_t>(*pid), SIGKILL);
  if (FProgram.state() != QProcess::NotRunning && !FProgram.waitForFinished(5000)) {
    FProgram.kill();
    FProgram.waitForFinished(5000);
  }
  FServer.terminate();
  if (!FServer.waitForFinished(5000)) {
    FServer.kill();
    FServer.waitForFinished(5000);
  }
}
