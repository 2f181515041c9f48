// The life of a zipped start in the real program: closed or cancelled during a long extraction,
// closed while the emulator still runs, killed during a run, ended during the first start-up's
// report. Keys reach the window through xdotool.

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "ProgramRun.h"
#include "ZipWriter.h"

using namespace programrun;

namespace {

constexpr int kStep = 40000;  // ms for one step on a loaded machine

// The emulator: notes what it finds in the game folder when it starts and again when told to
// end (by the file velk.stop), so a clean-up under it would show.
const QByteArray kVelk =
    "ls -l /proc/$$/fd > fds.txt\n"
    "ls \"$1\" > seen-start.part && mv seen-start.part seen-start.txt\n"
    "while [ ! -e velk.stop ]; do sleep 0.05; done\n"
    "ls \"$1\" > seen-late.txt\n";

// "child": the emulator leaves a child that reads the game folder two seconds after the emulator
// has ended. Otherwise it reads the folder a second after it is told to end by a signal, and ends
// by itself only when told by the file velk.stop.
const QByteArray kLateVelk =
    "ls \"$1\" > seen-start.part && mv seen-start.part seen-start.txt\n"
    "if [ -e child ]; then\n"
    "  rm child\n"
    "  (sleep 2; ls \"$1\" > child-late.txt) </dev/null >/dev/null 2>&1 &\n"
    "  exit 0\n"
    "fi\n"
    "trap 'sleep 1; ls \"$1\" > seen-term.txt; exit 0' TERM\n"
    "while [ ! -e velk.stop ]; do sleep 0.05; done\n";

const QByteArray kAllFiles = "f00000.bin\nf00001.bin\nf00002.bin\nzg.vlk\n";

// One zipped game, zg, in an emulator folder whose settings file is up to date.
void MakeEmulatorDir(const QTemporaryDir& dir, int entries, bool withSettings = true,
                     const QByteArray& velk = kVelk) {
  WriteScript(dir.filePath("velk.exe"), velk);
  WriteText(dir.filePath("readme.txt"), "VELK\r\n\r\ngameslist:\r\nZipped Game | zg\r\n");
  WriteText(dir.filePath("zg/zg.vlk"), "driver");
  TZipWriter zip;
  for (int i = 0; i < entries; ++i)
    zip.Add(QString("roms/f%1.bin").arg(i, 5, 10, QChar('0')).toStdString(),
            std::string(512, static_cast<char>('a' + i % 26)), TZipWriterEntry::zmStored);
  const std::string bytes = zip.Build();
  WriteText(dir.filePath("zg.zip"), QByteArray(bytes.data(), static_cast<int>(bytes.size())));
  if (!withSettings) return;
  WriteText(dir.filePath("StartVELK.ini"),
            "[StartVELK]\r\nNumOfGames=2\r\nEmuExeDate=" + EmuExeDate(dir.filePath("velk.exe")) +
                "\r\nAltRomPath=\r\n\r\n[Window]\r\nLGLPos=0\r\n\r\n[Game0]\r\nName=Default\r\n"
                "ZipName=Default\r\n\r\n[Game1]\r\nName=Zipped Game\r\nZipName=zg\r\n\r\n");
}

bool Alive(qint64 pid) {
  return ::kill(static_cast<pid_t>(pid), 0) == 0;
}

// Focuses the main window, once it is shown, and presses a key. A window that is named but not
// yet mapped refuses the focus, so a slow start is tried again until the step's time is up.
bool PressKey(qint64 pid, const QString& key) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStep);
  while (!Xdo(pid, {"search", "--sync", "--onlyvisible", "--name", "^StartVELK 0\\.9\\.1",
                    "windowfocus", "--sync", "key", key})) {
    if (std::chrono::steady_clock::now() > end || !Alive(pid)) return false;
    QTest::qWait(100);
  }
  return true;
}

// Waits, checking often, until a file exists: a long extraction is caught early in its course,
// an emulator as soon as it has looked at the game folder.
bool WaitForFile(const QString& path) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStep);
  while (!QFile::exists(path)) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

QStringList Entries(const QString& path) {
  return QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList Journals(const QTemporaryDir& dir) {
  return QDir(dir.path()).entryList({"StartVELK-*.journal"}, QDir::Files);
}

QByteArray Read(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The program's id once it runs in dir; nothing when it does not come up in time.
std::optional<qint64> WaitForProgram(const QString& dir) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStep);
  while (std::chrono::steady_clock::now() < end) {
    if (const auto pid = ProgramIn(dir)) return pid;
    QTest::qWait(50);
  }
  return std::nullopt;
}

// The program in dir, with Enter pressed in its window: the selected game starts. With
// untilFile, nothing unless that file appears.
std::optional<qint64> StartTheGame(const QString& dir, const QString& untilFile = {}) {
  const auto pid = WaitForProgram(dir);
  if (!pid || !PressKey(*pid, "Return")) return std::nullopt;
  if (!untilFile.isEmpty() && !WaitForFile(QDir(dir).filePath(untilFile))) return std::nullopt;
  return pid;
}

// The console window of a run in dir.
std::optional<qint64> ConsoleIn(const QString& dir) {
  for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    if (QFileInfo(QFileInfo("/proc/" + entry + "/exe").symLinkTarget()).fileName() ==
            "startvelk-console" &&
        QFileInfo("/proc/" + entry + "/cwd").canonicalFilePath() == QFileInfo(dir).canonicalFilePath())
      return entry.toLongLong();
  }
  return std::nullopt;
}

// A folder made read-only for a while by a bind mount over itself (root only); undone at the
// latest when the object goes, also when a test fails half way.
class TReadOnlyMount {
 public:
  explicit TReadOnlyMount(const QString& folder) : FFolder(folder) {
    FActive = ::geteuid() == 0 && QProcess::execute("mount", {"--bind", folder, folder}) == 0;
    if (FActive && QProcess::execute("mount", {"-o", "remount,bind,ro", folder, folder}) != 0)
      Undo();
    if (!FActive) qInfo("a read-only step is left out: it needs root and bind mounts");
  }
  ~TReadOnlyMount() { Undo(); }
  bool Active() const { return FActive; }
  void Undo() {
    if (FActive) QProcess::execute("umount", {FFolder});
    FActive = false;
  }

 private:
  QString FFolder;
  bool FActive = false;
};

// Presses Return in the program's box of the given title, and tells whether it then went away.
// xdotool may report an error for the box it answered: the box is gone before it is done with it.
bool AnswerBox(qint64 pid, const QString& title) {
  const QStringList box = {"search", "--onlyvisible", "--name", "^" + title + "$"};
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStep);
  while (!Xdo(pid, box)) {
    if (std::chrono::steady_clock::now() > end) return false;
    QTest::qWait(50);
  }
  Xdo(pid, box + QStringList{"windowfocus", "--sync", "key", "Return"});
  while (Xdo(pid, box)) {
    if (std::chrono::steady_clock::now() > end) return false;
    QTest::qWait(50);
  }
  return true;
}

// Sends SIGTERM and tells whether the program then ended with exit code 0.
bool EndsCleanly(TProgramRun& run, qint64 pid) {
  ::kill(static_cast<pid_t>(pid), SIGTERM);
  return run.Process().waitForFinished(kStep) && run.Process().exitCode() == 0;
}

// The next start in dir carries out the journal a killed program left: the game folder holds its
// driver alone again.
void NextStartCleansUp(const QTemporaryDir& dir) {
  TProgramRun again(dir.path());
  const auto pid = WaitForProgram(dir.path());
  QVERIFY(pid);
  QTRY_VERIFY_WITH_TIMEOUT(Journals(dir).isEmpty(), kStep);
  QCOMPARE(Entries(dir.filePath("zg")), QStringList{"zg.vlk"});
  QVERIFY(EndsCleanly(again, *pid));
}

}  // namespace

class StartLifeTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    for (const char* tool : {"xvfb-run", "xdotool"})
      if (QStandardPaths::findExecutable(tool).isEmpty())
        QSKIP(qPrintable(QString("%1 is not installed").arg(tool)));
  }

  // Thousands of entries unzipped: Escape stops the extraction and removes what it wrote, and
  // the program goes on; closed during the next extraction, the program does the same, does not
  // start the emulator, and saves the settings in the emulator's folder.
  void escapeThenQuitDuringALongExtraction() {
    QTemporaryDir dir;
    MakeEmulatorDir(dir, 5000);
    TProgramRun run(dir.path());
    const auto pid = StartTheGame(dir.path(), "zg/f00000.bin");
    QVERIFY(pid);
    QVERIFY(Xdo(*pid, {"key", "Escape"}));
    QTRY_COMPARE_WITH_TIMEOUT(Entries(dir.filePath("zg")), QStringList{"zg.vlk"}, kStep);
    QTRY_VERIFY_WITH_TIMEOUT(Journals(dir).isEmpty(), kStep);
    QVERIFY(Alive(*pid));
    QVERIFY(QFile::exists(dir.filePath("batch.bat")));

    QVERIFY(PressKey(*pid, "Return"));
    QVERIFY(WaitForFile(dir.filePath("zg/f00000.bin")));
    QVERIFY(EndsCleanly(run, *pid));
    QCOMPARE(Entries(dir.filePath("zg")), QStringList{"zg.vlk"});
    QVERIFY(!QFile::exists(dir.filePath("seen-start.txt")));
    QVERIFY(!QFile::exists(dir.filePath("batch.bat")));
    QVERIFY(Journals(dir).isEmpty());
    const QByteArray ini = Read(dir.filePath("StartVELK.ini"));
    QVERIFY2(ini.contains("EmuExeDate=" + EmuExeDate(dir.filePath("velk.exe"))), ini.constData());
    QVERIFY(ini.contains("Original="));  // rewritten at the close
  }

  // Closed while the emulator runs: the window goes and the settings are saved at once, the
  // game's files stay until the emulator ends, then the program cleans up and ends.
  void quitWhileTheEmulatorRuns() {
    QTemporaryDir dir;
    MakeEmulatorDir(dir, 3);
    TProgramRun run(dir.path());
    const auto pid = StartTheGame(dir.path(), "seen-start.txt");
    QVERIFY(pid);
    QCOMPARE(Journals(dir).size(), 1);
    // The program's own descriptors (its signal pair, its journal) stay with it.
    const QByteArray fds = Read(dir.filePath("fds.txt"));
    QVERIFY2(!fds.contains("socket:") && !fds.contains(".journal"), fds.constData());
    ::kill(static_cast<pid_t>(*pid), SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(Read(dir.filePath("StartVELK.ini")).contains("Original="), kStep);
    QTRY_VERIFY_WITH_TIMEOUT(
        !Xdo(*pid, {"search", "--onlyvisible", "--name", "^StartVELK 0\\.9\\.1"}), kStep);
    QVERIFY(Alive(*pid));
    QCOMPARE(Entries(dir.filePath("zg")),
             (QStringList{"f00000.bin", "f00001.bin", "f00002.bin", "zg.vlk"}));
    QVERIFY(QFile::exists(dir.filePath("batch.bat")));
    QVERIFY(QFile::exists(dir.filePath("VELKStart.txt")));

    WriteText(dir.filePath("velk.stop"), "");
    QVERIFY(run.Process().waitForFinished(kStep));
    QCOMPARE(run.Process().exitCode(), 0);
    QCOMPARE(Read(dir.filePath("seen-late.txt")), QByteArray("f00000.bin\nf00001.bin\n"
                                                             "f00002.bin\nzg.vlk\n"));
    QCOMPARE(Entries(dir.filePath("zg")), QStringList{"zg.vlk"});
    QVERIFY(!QFile::exists(dir.filePath("batch.bat")));
    QVERIFY(!QFile::exists(dir.filePath("VELKStart.txt")));
    QVERIFY(Journals(dir).isEmpty());
  }

  // Killed during a run: the next start removes what the extraction left; where the game folder
  // is read-only for a while (a bind mount, as root), the journal waits for a start that can.
  void killDuringARunThenTheNextStartCleansUp() {
    QTemporaryDir dir;
    MakeEmulatorDir(dir, 3);
    {
      TProgramRun run(dir.path());
      const auto pid = StartTheGame(dir.path(), "seen-start.txt");
      QVERIFY(pid);
      ::kill(static_cast<pid_t>(*pid), SIGKILL);
      WriteText(dir.filePath("velk.stop"), "");
      QVERIFY(run.Process().waitForFinished(kStep));
    }
    QCOMPARE(Journals(dir).size(), 1);
    // The run's processes end with the display; the next start must see them gone.
    QTRY_VERIFY_WITH_TIMEOUT(!ConsoleIn(dir.path()), kStep);
    QCOMPARE(Entries(dir.filePath("zg")).size(), 4);

    if (TReadOnlyMount readOnly(dir.filePath("zg")); readOnly.Active()) {
      TProgramRun run(dir.path());
      const auto pid = WaitForProgram(dir.path());
      QVERIFY(pid);
      QVERIFY(AnswerBox(*pid, "Error"));
      QVERIFY(EndsCleanly(run, *pid));
      QCOMPARE(Journals(dir).size(), 1);
      QCOMPARE(Entries(dir.filePath("zg")).size(), 4);
    }

    NextStartCleansUp(dir);
  }

  // The files stay while any process of the game runs: a child the emulator left behind, or an
  // emulator that takes its time to end when the console window is closed.
  void theRunLastsWhileAnyProcessOfTheGameRuns() {
    QTemporaryDir dir;
    MakeEmulatorDir(dir, 3, true, kLateVelk);
    WriteText(dir.filePath("child"), "");
    TProgramRun run(dir.path());
    const auto pid = StartTheGame(dir.path(), "child-late.txt");
    QVERIFY(pid);
    QTRY_COMPARE_WITH_TIMEOUT(Read(dir.filePath("child-late.txt")), kAllFiles, kStep);
    QTRY_COMPARE_WITH_TIMEOUT(Entries(dir.filePath("zg")), QStringList{"zg.vlk"}, kStep);
    QTRY_VERIFY_WITH_TIMEOUT(Journals(dir).isEmpty(), kStep);

    QVERIFY(QFile::remove(dir.filePath("seen-start.txt")));
    QVERIFY(PressKey(*pid, "Return"));
    QVERIFY(WaitForFile(dir.filePath("seen-start.txt")));
    const auto console = ConsoleIn(dir.path());
    QVERIFY(console);
    QVERIFY(CloseWindows(*pid, {"--pid", QString::number(*console)}));
    QVERIFY(WaitForFile(dir.filePath("seen-term.txt")));
    QTRY_COMPARE_WITH_TIMEOUT(Read(dir.filePath("seen-term.txt")), kAllFiles, kStep);
    QTRY_COMPARE_WITH_TIMEOUT(Entries(dir.filePath("zg")), QStringList{"zg.vlk"}, kStep);
    QVERIFY(EndsCleanly(run, *pid));
  }

  // Another front-end's journal, locked by its writer, names the game folder: the start is
  // refused with a box, nothing is unzipped and that journal is left alone.
  void aGameFolderThatAnotherStartUsesIsNotStartedAgain() {
    if (QStandardPaths::findExecutable("flock").isEmpty()) QSKIP("flock is not installed");
    QTemporaryDir dir;
    MakeEmulatorDir(dir, 3);
    const QString journal = dir.filePath("StartVELK-1.journal");
    const QByteArray text =
        "StartVELK unzip journal 2\nowner 1 - -\nfolder zg\ncreated 0\nwant 1 f00000.bin\n";
    WriteText(journal, text);
    QProcess holder;
    holder.start("flock", {journal, "sleep", "60"});
    QVERIFY(holder.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QProcess::execute("flock", {"-n", journal, "true"}) != 0, kStep);
    TProgramRun run(dir.path());
    const auto pid = StartTheGame(dir.path());
    QVERIFY(pid);
    QVERIFY(AnswerBox(*pid, "Error"));
    QCOMPARE(Entries(dir.filePath("zg")), QStringList{"zg.vlk"});
    QVERIFY(!QFile::exists(dir.filePath("seen-start.txt")));
    QCOMPARE(Read(journal), text);
    holder.kill();
    holder.waitForFinished();
    QVERIFY(EndsCleanly(run, *pid));
  }

  // Ten thousand unzipped files take seconds to remove once they are on the disk (thirty here):
  // meanwhile the window answers, and a key typed into the list reaches the search at once.
  void theWindowAnswersWhileThousandsOfFilesAreRemoved() {
    QTemporaryDir dir;
    MakeEmulatorDir(dir, 10000, true, "sync; echo > seen-start.txt\n");
    TProgramRun run(dir.path());
    const auto pid = StartTheGame(dir.path(), "seen-start.txt");
    QVERIFY(pid);
    QTRY_VERIFY_WITH_TIMEOUT(Entries(dir.filePath("zg")).size() < 10001, kStep);
    QVERIFY(PressKey(*pid, "q"));  // no game's name holds a q
    const QStringList nothingListed = {"search", "--name", "^StartVELK 0\\.9\\.1 \\[0 of 1"};
    QTRY_VERIFY_WITH_TIMEOUT(Xdo(*pid, nothingListed), 1000);
    QVERIFY2(Entries(dir.filePath("zg")).size() > 1, "the clean-up was over before the key came");
    QTRY_COMPARE_WITH_TIMEOUT(Entries(dir.filePath("zg")), QStringList{"zg.vlk"}, 10 * kStep);
    QVERIFY(EndsCleanly(run, *pid));
  }

  // A write error that every file would meet (a read-only game folder, as root a read-only bind
  // mount) is said once and the game is not started; a large entry stops at once at Escape.
  void writeErrorsAndLargeEntriesStopAtOnce() {
    if (QStandardPaths::findExecutable("zip").isEmpty()) QSKIP("zip is not installed");
    QTemporaryDir dir;
    MakeEmulatorDir(dir, 200);
    TProgramRun run(dir.path());
    const auto pid = WaitForProgram(dir.path());
    QVERIFY(pid);
    if (TReadOnlyMount readOnly(dir.filePath("zg")); readOnly.Active()) {
      QVERIFY(PressKey(*pid, "Return"));
      QVERIFY(AnswerBox(*pid, "StartVELK"));
      QTest::qWait(500);
      QVERIFY(!Xdo(*pid, {"search", "--onlyvisible", "--name", "^(StartVELK|Error)$"}));
      readOnly.Undo();
      QVERIFY(!QFile::exists(dir.filePath("seen-start.txt")));
      QCOMPARE(Entries(dir.filePath("zg")), QStringList{"zg.vlk"});
      QVERIFY(Journals(dir).isEmpty());
    }

    // 500 MB of zeros, deflated by zip: seconds to write out, Escape a moment in.
    QVERIFY(QFile::remove(dir.filePath("zg.zip")));
    WriteText(dir.filePath("big.bin"), "");
    QVERIFY(QFile(dir.filePath("big.bin")).resize(500 << 20));
    QProcess zip;
    zip.setWorkingDirectory(dir.path());
    zip.start("zip", {"-q", "-m", "zg.zip", "big.bin"});
    QVERIFY(zip.waitForFinished(kStep) && zip.exitCode() == 0);
    // Without a window manager the window may take a moment to be active again after a box: the
    // key is pressed again until the start shows.
    for (int tries = 0; tries < 5 && !QFile::exists(dir.filePath("zg/big.bin")); ++tries) {
      QVERIFY(PressKey(*pid, "Return"));
      (void)QTest::qWaitFor([&] { return QFile::exists(dir.filePath("zg/big.bin")); }, 2000);
    }
    QVERIFY(QFile::exists(dir.filePath("zg/big.bin")));
    QTest::qWait(300);
    QVERIFY(Xdo(*pid, {"key", "Escape"}));
    QTRY_COMPARE_WITH_TIMEOUT(Entries(dir.filePath("zg")), QStringList{"zg.vlk"}, 1500);
    QVERIFY(!QFile::exists(dir.filePath("seen-start.txt")));
    QVERIFY(EndsCleanly(run, *pid));
  }

  // A close at any moment of a start (unzipping, starting the emulator, waiting for it) is
  // honoured at once: the window goes and the settings are saved; the files go when the game is
  // over, or at once when it never started.
  void aCloseAtAnyMomentOfAStartIsNeverLost() {
    for (int i = 0; i < 20; ++i) {
      QTemporaryDir dir;
      MakeEmulatorDir(dir, 3);
      TProgramRun run(dir.path());
      const auto pid = WaitForProgram(dir.path());
      QVERIFY(pid);
      QVERIFY(PressKey(*pid, "Return"));
      QTest::qWait(i * 10);
      QVERIFY(CloseWindows(*pid, {"--name", "^StartVELK 0\\.9\\.1"}));
      QTRY_VERIFY2_WITH_TIMEOUT(Read(dir.filePath("StartVELK.ini")).contains("Original="),
                                qPrintable(QString("close %1 lost").arg(i)), kStep);
      QTRY_VERIFY_WITH_TIMEOUT(
          !Xdo(*pid, {"search", "--onlyvisible", "--name", "^StartVELK 0\\.9\\.1"}), kStep);
      WriteText(dir.filePath("velk.stop"), "");
      // A close that came before the game started ends the program at once.
      QVERIFY(run.Process().state() == QProcess::NotRunning ||
              run.Process().waitForFinished(kStep));
      QCOMPARE(run.Process().exitCode(), 0);
      QCOMPARE(Entries(dir.filePath("zg")), QStringList{"zg.vlk"});
      QVERIFY(Journals(dir).isEmpty());
    }
  }

  // Names in no declared encoding that are no UTF-8 (Latin-1, KOI8-R, the bytes Windows-1252
  // leaves undefined), as Info-ZIP zip stores them in the C locale: each zipped start writes all
  // of them, and the clean-up leaves the folder as it was, so the next start writes them again;
  // killed during a third run, the next start's replay removes them as well.
  void legacyNamesLeaveTheFolderAsItWas() {
    if (QStandardPaths::findExecutable("zip").isEmpty()) QSKIP("zip is not installed");
    QTemporaryDir dir;
    MakeEmulatorDir(dir, 1);
    const std::filesystem::path src = QFile::encodeName(dir.filePath("legacy")).toStdString();
    std::filesystem::create_directory(src);
    for (const char* name : {"caf\xE9.bin", "\xD2\xCF\xCD.bin", "u\x81\x8D\x8F\x90\x9D.bin"})
      std::ofstream(src / name) << "rom " << name;
    QVERIFY(QFile::remove(dir.filePath("zg.zip")));
    QProcess zip;
    zip.setWorkingDirectory(dir.filePath("legacy"));
    zip.start("env", {"LC_ALL=C", "zip", "-q", "-r", "-D", dir.filePath("zg.zip"), "."});
    QVERIFY(zip.waitForFinished(kStep) && zip.exitCode() == 0);
    std::filesystem::remove_all(src);  // by bytes: Qt cannot name these files

    {
      TProgramRun run(dir.path());
      const auto pid = WaitForProgram(dir.path());
      QVERIFY(pid);
      for (int start = 0; start < 3; ++start) {
        QFile::remove(dir.filePath("seen-start.txt"));
        QFile::remove(dir.filePath("velk.stop"));
        QVERIFY(PressKey(*pid, "Return"));
        QVERIFY(WaitForFile(dir.filePath("seen-start.txt")));
        // Three ROMs and the driver: nothing was left over to be kept as "exists already".
        QCOMPARE(Read(dir.filePath("seen-start.txt")).count('\n'), 4);
        if (start == 2) break;
        WriteText(dir.filePath("velk.stop"), "");
        QTRY_COMPARE_WITH_TIMEOUT(Entries(dir.filePath("zg")), QStringList{"zg.vlk"}, kStep);
        QTRY_VERIFY_WITH_TIMEOUT(Journals(dir).isEmpty(), kStep);
      }
      ::kill(static_cast<pid_t>(*pid), SIGKILL);
      WriteText(dir.filePath("velk.stop"), "");
      QVERIFY(run.Process().waitForFinished(kStep));
    }
    // The run's processes end with the display; the next start must see them gone.
    QTRY_VERIFY_WITH_TIMEOUT(!ConsoleIn(dir.path()), kStep);
    NextStartCleansUp(dir);
  }

  // A signal while the first start-up reports its new games ends the program as a close does.
  void aSignalDuringTheFirstStartReport() {
    if (QStandardPaths::findExecutable("xwininfo").isEmpty()) QSKIP("xwininfo is not installed");
    QTemporaryDir dir;
    MakeEmulatorDir(dir, 1, /*withSettings=*/false);
    TProgramRun run(dir.path());
    const auto pid = WaitForProgram(dir.path());
    QVERIFY(pid);
    QTRY_VERIFY_WITH_TIMEOUT(WindowNames(*pid).contains("\"Information"), kStep);
    QVERIFY(QFile::exists(dir.filePath("batch.bat")));
    QVERIFY(EndsCleanly(run, *pid));
    QVERIFY(!QFile::exists(dir.filePath("batch.bat")));
    QVERIFY(Read(dir.filePath("StartVELK.ini")).contains("ZipName=zg"));
  }
};

QTEST_GUILESS_MAIN(StartLifeTest)
#include "StartLifeTest.moc"
