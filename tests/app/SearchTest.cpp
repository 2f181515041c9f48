// The search field of the real program, typed into with xdotool on its own X server: the list
// narrows and comes back (the caption counts the rows), Escape clears, a start from a narrowed
// list starts the game that list shows, and a search that leaves nothing starts nothing.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <optional>

#include "ProgramRun.h"

using namespace programrun;

namespace {

// xdotool on the X server of the program pid.
bool XDo(qint64 pid, const QStringList& args) {
  QFile environ(QString("/proc/%1/environ").arg(pid));
  if (!environ.open(QIODevice::ReadOnly)) return false;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const QByteArray& pair : environ.readAll().split('\0'))
    for (const char* key : {"DISPLAY", "XAUTHORITY"}) {
      const QByteArray prefix = QByteArray(key) + "=";
      if (pair.startsWith(prefix)) env.insert(key, QString::fromUtf8(pair.mid(prefix.size())));
    }
  QProcess xdo;
  xdo.setProcessEnvironment(env);
  xdo.start("xdotool", args);
  return xdo.waitForFinished(20000) && xdo.exitCode() == 0;
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The games velk.exe was started for, one short name (its first argument) per run.
QList<QByteArray> Started(const QString& dir) {
  QList<QByteArray> games;
  for (const QByteArray& line : ReadAll(dir + "/velkrun.txt").split('\n'))
    if (!line.isEmpty()) games << line.split(' ').first();
  return games;
}

}  // namespace

class SearchTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    for (const char* tool : {"xvfb-run", "xwininfo", "xdotool"})
      if (QStandardPaths::findExecutable(tool).isEmpty())
        QSKIP(qPrintable(QString("%1 is not installed").arg(tool)));
  }

  void typingNarrowsEscapeClearsAndStartsTheListedGame() {
    QTemporaryDir dir;
    WriteScript(dir.filePath("velk.exe"), "echo \"$@\" >> velkrun.txt\n");
    WriteText(dir.filePath("readme.txt"), "VELK\r\n\r\ngameslist:\r\n");
    const char* const zips[] = {"spcrcr2", "moonpx", "cafe", "galaxy"};
    for (const char* zip : zips) {
      WriteText(dir.filePath(QString("%1/%1.vlk").arg(zip)), "driver");
      if (QByteArray(zip) != "galaxy")
        for (int i = 0; i < 4; ++i)
          WriteText(dir.filePath(QString("%1/rom%2").arg(zip).arg(i)), "r");
    }
    // Rows in order: Caf\xe9 Racer, Galaxy Guard, Moon Patrol X, Space Racer II.
    QByteArray ini = "[StartVELK]\r\nVersion=version.dll\r\nNumOfGames=5\r\nEmuExeDate=" +
                     EmuExeDate(dir.filePath("velk.exe")) +
                     "\r\nAltRomPath=\r\n\r\n[Window]\r\nLGLPos=3\r\n\r\n[Screenshot]\r\nPlay=0\r\n"
                     "\r\n[Game0]\r\nName=Default\r\nZipName=Default\r\n\r\n";
    const char* const names[] = {"Space Racer II", "Moon Patrol X", "Caf\xe9 Racer",
                                 "Galaxy Guard"};
    for (int i = 0; i < 4; ++i)
      ini += QString("[Game%1]\r\nName=").arg(i + 1).toLatin1() + names[i] +
             "\r\nZipName=" + zips[i] + "\r\n\r\n";
    WriteText(dir.filePath("StartVELK.ini"), ini);

    TProgramRun run(dir.path());
    std::optional<qint64> pid;
    QTRY_VERIFY_WITH_TIMEOUT((pid = ProgramIn(dir.path())).has_value(), 40000);
    auto caption = [&](int rows) {
      return WindowNames(*pid).contains(QString("StartVELK 0.9.1 [%1 of 4 games]").arg(rows));
    };
    QTRY_VERIFY2_WITH_TIMEOUT(caption(4), qPrintable(WindowNames(*pid)), 40000);
    QVERIFY(XDo(*pid, {"search", "--sync", "--name", "StartVELK 0.9.1", "windowfocus", "--sync"}));

    // Ctrl+F, then a name without its accent and in capitals: only the one game is left.
    QVERIFY(XDo(*pid, {"key", "ctrl+f"}));
    QVERIFY(XDo(*pid, {"type", "--delay", "50", "RACER"}));
    QTRY_VERIFY_WITH_TIMEOUT(caption(2), 40000);
    QVERIFY(XDo(*pid, {"key", "BackSpace", "BackSpace", "BackSpace", "BackSpace", "BackSpace"}));
    QVERIFY(XDo(*pid, {"type", "--delay", "50", "CAFE"}));
    QTRY_VERIFY_WITH_TIMEOUT(caption(1), 40000);
    QVERIFY(XDo(*pid, {"key", "Return"}));
    QTRY_COMPARE_WITH_TIMEOUT(Started(dir.path()), QList<QByteArray>({"cafe"}), 40000);

    // Escape brings every row back.
    QVERIFY(XDo(*pid, {"key", "Escape"}));
    QTRY_VERIFY_WITH_TIMEOUT(caption(4), 40000);

    // Nothing found: no row, no start.
    QVERIFY(XDo(*pid, {"type", "--delay", "50", "zzz"}));
    QTRY_VERIFY_WITH_TIMEOUT(caption(0), 40000);
    QVERIFY(XDo(*pid, {"key", "Return"}));
    QTest::qWait(1500);
    QCOMPARE(Started(dir.path()), QList<QByteArray>({"cafe"}));

    // Typing while the list has the focus goes to the search field.
    QVERIFY(XDo(*pid, {"key", "Escape", "Down"}));
    QTRY_VERIFY_WITH_TIMEOUT(caption(4), 40000);
    QVERIFY(XDo(*pid, {"type", "--delay", "50", "patrol"}));
    QTRY_VERIFY_WITH_TIMEOUT(caption(1), 40000);
    QVERIFY(XDo(*pid, {"key", "Return"}));
    QTRY_COMPARE_WITH_TIMEOUT(Started(dir.path()), QList<QByteArray>({"cafe", "moonpx"}), 40000);

    // The search is not saved; the row saved is the game's row in the whole list.
    ::kill(static_cast<pid_t>(*pid), SIGTERM);
    QVERIFY(run.Process().waitForFinished(40000));
    const QByteArray saved = ReadAll(dir.filePath("StartVELK.ini"));
    QVERIFY2(saved.contains("All=1\r\n") && saved.contains("LGLPos=2\r\n"), saved.constData());
    QVERIFY(!saved.toLower().contains("patrol\r\n") && !saved.contains("Search"));
  }
};

QTEST_GUILESS_MAIN(SearchTest)
#include "SearchTest.moc"
