// The real program, started on an X server of its own in a generated emulator directory and
// ended the way a desktop session ends it.

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

#include "ProgramRun.h"

using namespace programrun;

class AppTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    if (QStandardPaths::findExecutable("xvfb-run").isEmpty()) QSKIP("xvfb-run is not installed");
  }

  void startAndCloseLeaveTheSettingsAndNoBatchFiles() {
    QTemporaryDir dir;
    WriteScript(dir.filePath("velk.exe"), "echo VELK\n");
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
