// The real program started with a hand-edited settings file and an odd file in the emulator's
// folder: it must come up, stay small, end on SIGTERM and save what its window had.

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <climits>
#include <csignal>
#include <optional>

#include "ProgramRun.h"

using namespace programrun;

namespace {

// The peak resident memory of a process in KiB, from its status; 0 when unknown.
qint64 PeakMemoryKiB(qint64 pid) {
  QFile status(QString("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLongLong();
  return 0;
}

int Key(const QByteArray& text, const QByteArray& key) {
  const qsizetype at = text.indexOf("\r\n" + key + "=");
  if (at < 0) return INT_MIN;
  const qsizetype from = at + 3 + key.size();
  return text.mid(from, text.indexOf("\r\n", from) - from).toInt();
}

}  // namespace

class HostileStartTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    if (QStandardPaths::findExecutable("xvfb-run").isEmpty()) QSKIP("xvfb-run is not installed");
  }

  void hugeWindowAndAPipedScreenshotStillComeUpAndEnd() {
    QTemporaryDir dir;
    WriteScript(dir.filePath("velk.exe"), "echo VELK\n");
    WriteText(dir.filePath("readme.txt"), "gameslist:\r\nSpace Racer II  spcrcr2\r\n");
    WriteText(dir.filePath("spcrcr2/spcrcr2.vlk"), "driver");
    for (int i = 0; i < 4; ++i) WriteText(dir.filePath(QString("spcrcr2/rom%1.bin").arg(i)), "r");
    // The screenshot of the game selected at start-up is a pipe no one writes to.
    QVERIFY(QDir().mkpath(dir.filePath("ScreenShots")));
    QCOMPARE(
        ::mkfifo(QFile::encodeName(dir.filePath("ScreenShots/spcrcr201.jpg")).constData(), 0644),
        0);
    WriteText(dir.filePath("StartVELK.ini"),
              "[StartVELK]\r\nVersion=version.dll\r\nNumOfGames=2\r\nEmuExeDate=" +
                  EmuExeDate(dir.filePath("velk.exe")) +
                  "\r\nAltRomPath=\r\n\r\n[Window]\r\nState=0\r\nWidth=2147483647\r\n"
                  "Height=2147483647\r\nGLPWidth=2147483647\r\nLGLPos=0\r\n\r\n[Game0]\r\n"
                  "Name=Default\r\nZipName=Default\r\n\r\n[Game1]\r\nName=Space Racer II\r\n"
                  "ZipName=spcrcr2\r\n\r\n");
    TProgramRun run(dir.path());
    std::optional<qint64> pid;
    QTRY_VERIFY_WITH_TIMEOUT((pid = ProgramIn(dir.path())).has_value(), 40000);
    if (!QStandardPaths::findExecutable("xwininfo").isEmpty())
      QTRY_VERIFY_WITH_TIMEOUT(WindowNames(*pid).contains("StartVELK 0.9.1 [1 of 1 games]"), 40000);
    QTest::qWait(2000);  // some paints of the window at the size it got
    const qint64 peak = PeakMemoryKiB(*pid);
    qInfo("peak resident memory: %lld KiB", peak);
    QVERIFY2(peak > 0 && peak < 400 * 1024, QByteArray::number(peak) + " KiB");
    ::kill(static_cast<pid_t>(*pid), SIGTERM);
    QVERIFY(run.Process().waitForFinished(40000));
    QCOMPARE(run.Process().exitCode(), 0);

    QFile ini(dir.filePath("StartVELK.ini"));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    // The X server's screen is 1024 x 768.
    const int width = Key(text, "Width"), height = Key(text, "Height"),
              panel = Key(text, "GLPWidth");
    QVERIFY2(width >= 148 && width <= 1024, text.constData());
    QVERIFY2(height >= 140 && height <= 768, text.constData());
    QVERIFY2(panel >= 145 && panel < width, text.constData());
    struct stat st;
    QVERIFY(::stat(QFile::encodeName(dir.filePath("ScreenShots/spcrcr201.jpg")).constData(), &st) ==
                0 &&
            S_ISFIFO(st.st_mode));
  }
};

QTEST_GUILESS_MAIN(HostileStartTest)
#include "HostileStartTest.moc"
