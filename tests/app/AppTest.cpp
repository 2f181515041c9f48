// The real program, started under xvfb-run in a generated emulator directory and ended the way a
// desktop session ends it.

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <optional>

namespace {

void WriteText(const QString& path, const QByteArray& text) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(text);
}

// The running startvelk whose working directory is dir, found through /proc.
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

// Window names on the X display the program runs on; empty when xwininfo is missing.
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

// velk.exe's date as the settings file stores it, so that a start counts as unchanged.
QByteArray EmuExeDate(const QString& velk) {
  QDateTime time = QFileInfo(velk).lastModified();
  const QTime t = time.time();
  time.setTime(QTime(t.hour(), t.minute(), t.second() - t.second() % 2));
  return time.toString("yyyy-MM-dd HH:mm:ss").toUtf8();
}

class TProgramRun {
 public:
  explicit TProgramRun(const QString& dir) : FDir(dir) {
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
  ~TProgramRun() {
    // A failed test must not leave the program and its X server behind.
    if (const auto pid = ProgramIn(FDir)) ::kill(static_cast<pid_t>(*pid), SIGKILL);
    if (FXvfb.state() != QProcess::NotRunning && !FXvfb.waitForFinished(5000)) {
      FXvfb.kill();
      FXvfb.waitForFinished(5000);
    }
  }
  QProcess& Process() { return FXvfb; }

 private:
  QString FDir;
  QProcess FXvfb;
};

}  // namespace

class AppTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    if (QStandardPaths::findExecutable("xvfb-run").isEmpty()) QSKIP("xvfb-run is not installed");
  }

  void startAndCloseLeaveTheSettingsAndNoBatchFiles() {
    QTemporaryDir dir;
    WriteText(dir.filePath("velk.exe"), "#!/bin/sh\necho VELK\n");
    QFile::setPermissions(dir.filePath("velk.exe"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    WriteText(dir.filePath("readme.txt"),
              "VELK arcade emulator\r\n\r\ngameslist:\r\nSpace Racer II  spcrcr2\r\n"
              "Moon Patrol X | moonpx\r\n");
    for (const char* zip : {"spcrcr2", "moonpx"})
      WriteText(dir.filePath(QString("%1/%1.vlk").arg(zip)), "driver");
    for (int i = 0; i < 5; ++i) WriteText(dir.filePath(QString("spcrcr2/rom%1.bin").arg(i)), "r");
    // An unchanged emulator: the catalogue comes from the file and no box is shown.
    WriteText(dir.filePath("StartVELK.ini"),
              "[StartVELK]\r\nVersion=version.dll\r\nNumOfGames=3\r\nEmuExeDate=" +
                  EmuExeDate(dir.filePath("velk.exe")) +
                  "\r\nAltRomPath=\r\n\r\n[Window]\r\nLGLPos=1\r\n\r\n[Screenshot]\r\n"
                  "Stretched=1\r\nScaled=0\r\nPlay=0\r\n\r\n[Game0]\r\nName=Default\r\n"
                  "ZipName=Default\r\n\r\n[Game1]\r\nName=Space Racer II\r\nZipName=spcrcr2\r\n"
                  "\r\n[Game2]\r\nName=Moon Patrol X\r\nZipName=moonpx\r\n\r\n");
    TProgramRun run(dir.path());
    std::optional<qint64> pid;
    QTRY_VERIFY_WITH_TIMEOUT((pid = ProgramIn(dir.path())).has_value(), 40000);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("batch.bat")), 40000);
    QString windows;
    if (!QStandardPaths::findExecutable("xwininfo").isEmpty())
      QTRY_VERIFY_WITH_TIMEOUT(
          (windows = WindowNames(*pid)).contains("StartVELK 0.9.1 [2 of 2 games]"), 40000);
    ::kill(static_cast<pid_t>(*pid), SIGTERM);
    QVERIFY(run.Process().waitForFinished(40000));
    QCOMPARE(run.Process().exitCode(), 0);
    QVERIFY(!QFile::exists(dir.filePath("batch.bat")));
    QVERIFY(!QFile::exists(dir.filePath("VELKStart.txt")));
    QFile ini(dir.filePath("StartVELK.ini"));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    QVERIFY2(text.contains("NumOfGames=3\r\n"), text.constData());
    QVERIFY(text.contains("Original=0\r\nScaled=0\r\nStretched=1\r\n"));
    QVERIFY(
        text.contains("LGLPos=1\r\n"));  // the row of Space Racer II, sorted after Moon Patrol X
    QVERIFY(text.contains("Play=0\r\n"));
  }

  void missingEmulatorShowsOneBoxAndWritesNothing() {
    QTemporaryDir dir;
    WriteText(dir.filePath("readme.txt"), "gameslist:\r\n");
    TProgramRun run(dir.path());
    std::optional<qint64> pid;
    QTRY_VERIFY_WITH_TIMEOUT((pid = ProgramIn(dir.path())).has_value(), 40000);
    if (!QStandardPaths::findExecutable("xwininfo").isEmpty())
      QTRY_VERIFY_WITH_TIMEOUT(WindowNames(*pid).contains("\"Error\""), 40000);
    ::kill(static_cast<pid_t>(*pid), SIGTERM);
    QVERIFY(run.Process().waitForFinished(40000));
    QVERIFY(run.Process().exitCode() != 0);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList({"readme.txt"}));
  }
};

QTEST_GUILESS_MAIN(AppTest)
#include "AppTest.moc"
