// The real program on a volume whose times step in whole seconds: a loop-mounted ext4 image with
// 128-byte inodes, as made by mkfs.ext4 -I 128. A game folder filled just after a start read it
// counts as installed at the next start, and nothing is remembered of folders whose times cannot
// tell a change. Mounting needs root; the test is skipped otherwise. And on a volume of fine
// times, where the emulator folder's listing is kept between runs: a later change still counts.

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <thread>

#include "LoopVolume.h"
#include "ProgramRun.h"

using namespace programrun;

namespace {

constexpr int kGames = 2100;  // enough for the scan to remember what it finds, where it may

// An unchanged emulator folder of kGames games, every third installed, the installed view chosen.
void MakeEmulatorDir(const QString& dir) {
  WriteScript(dir + "/velk.exe", "echo VELK\n");
  QByteArray readme = "VELK\r\ngameslist:\r\n";
  QByteArray games;
  for (int i = 0; i < kGames; ++i) {
    const QByteArray zip = "g" + QByteArray::number(i);
    readme += "Game " + QByteArray::number(i) + " | " + zip + "\r\n";
    games += "[Game" + QByteArray::number(i + 1) + "]\r\nName=Game " + QByteArray::number(i) +
             "\r\nZipName=" + zip + "\r\n\r\n";
    WriteText(dir + "/" + zip + "/" + zip + ".vlk", "driver");
    if (i % 3 == 0)
      for (int f = 0; f < 4; ++f) WriteText(dir + "/" + zip + "/rom" + QByteArray::number(f), "r");
  }
  WriteText(dir + "/readme.txt", readme);
  WriteText(dir + "/StartVELK.ini",
            "[StartVELK]\r\nNumOfGames=" + QByteArray::number(kGames + 1) +
                "\r\nEmuExeDate=" + EmuExeDate(dir + "/velk.exe") +
                "\r\nAltRomPath=\r\n\r\n[View]\r\nInstalled=1\r\nAll=0\r\n\r\n"
                "[Game0]\r\nName=Default\r\nZipName=Default\r\n\r\n" +
                games);
}

// The program in dir, once its window shows caption; its process id, or nothing.
std::optional<qint64> StartShowing(const QString& dir, TProgramRun& run, const QString& caption) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(40);
  for (std::optional<qint64> pid; std::chrono::steady_clock::now() < until; QTest::qWait(20)) {
    if (!pid) pid = ProgramIn(dir);
    if (pid && WindowNames(*pid).contains(caption)) return pid;
    if (run.Process().state() == QProcess::NotRunning) break;
  }
  return std::nullopt;
}

bool Close(TProgramRun& run, qint64 pid) {
  ::kill(static_cast<pid_t>(pid), SIGTERM);
  return run.Process().waitForFinished(40000);
}

}  // namespace

class CoarseVolumeTest : public QObject {
  Q_OBJECT

 private slots:
  void aFolderFilledAfterAStartReadItCountsAtTheNextStart() {
    if (QStandardPaths::findExecutable("xvfb-run").isEmpty()) QSKIP("xvfb-run is not installed");
    if (QStandardPaths::findExecutable("xwininfo").isEmpty()) QSKIP("xwininfo is not installed");
    if (::geteuid() != 0) QSKIP("mounting an ext4 image with 128-byte inodes needs root");
    TLoopVolume volume(64, {"-I", "128", "-b", "1024", "-N", "12000"});
    if (!volume.Mounted())
      QSKIP(qPrintable("no loop-mounted volume: " + QString::fromStdString(volume.Why())));
    const QString dir = QString::fromStdString(volume.Path()) + "/emulator";
    MakeEmulatorDir(dir);
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    // Long after the folders were made, as an unchanged start comes: on a volume of finer
    // times, what the scan found in them would be remembered.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));

    // Another program fills a folder the start has read.
    std::optional<qint64> pid;
    {
      TProgramRun run(dir);
      QVERIFY((pid = StartShowing(dir, run, "StartVELK 0.9.1 [700 of 2100 games]")));
      for (int f = 0; f < 4; ++f) WriteText(dir + "/g1/rom" + QByteArray::number(f), "r");
      QVERIFY(Close(run, *pid));
    }
    TProgramRun run(dir);
    QVERIFY((pid = StartShowing(dir, run, "StartVELK 0.9.1 [701 of 2100 games]")));
    QVERIFY(Close(run, *pid));
    // Nothing remembered of folders whose times cannot tell a change.
    QCOMPARE(QDir(cache.path() + "/startvelk").entryList({"folders-*", "listing-*"}),
             QStringList());
  }

  // Where times step finely, the emulator folder's listing is kept as a run leaves it; an
  // archive another program adds afterwards, the folder's time then set back as archive tools
  // do, is seen by the next start all the same.
  void anArchiveAddedAfterTheListingWasKeptCountsAtTheNextStart() {
    if (QStandardPaths::findExecutable("xvfb-run").isEmpty()) QSKIP("xvfb-run is not installed");
    if (QStandardPaths::findExecutable("xwininfo").isEmpty()) QSKIP("xwininfo is not installed");
    QTemporaryDir root, cache;
    const QString dir = root.path() + "/emulator";
    MakeEmulatorDir(dir);
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    std::optional<qint64> pid;
    for (int round = 0; round < 2; ++round) {
      TProgramRun run(dir);
      QVERIFY((pid = StartShowing(dir, run, "StartVELK 0.9.1 [700 of 2100 games]")));
      QVERIFY(Close(run, *pid));
    }
    QCOMPARE(QDir(cache.path() + "/startvelk").entryList({"listing-*"}).size(), 1);
    const std::filesystem::path folder = dir.toStdString();
    const auto modified = std::filesystem::last_write_time(folder);
    WriteText(dir + "/g2.zip", "not even a zip");
    std::filesystem::last_write_time(folder, modified);
    TProgramRun run(dir);
    QVERIFY((pid = StartShowing(dir, run, "StartVELK 0.9.1 [701 of 2100 games]")));
    QVERIFY(Close(run, *pid));
  }
};

QTEST_GUILESS_MAIN(CoarseVolumeTest)
#include "CoarseVolumeTest.moc"
