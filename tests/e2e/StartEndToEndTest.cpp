// The start of a game through the program's own windows: the main window as the program makes
// it, in a generated emulator folder whose velk.exe is a script that writes down its words, its
// working directory and its game folder's contents, and runs until the test lets it end.

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <deque>
#include <functional>
#include <memory>

#include "ZipWriter.h"
#include "catalogue/Catalogue.h"
#include "screenshots/JpegCodec.h"
#include "ui/GameListView.h"
#include "ui/MainStart.h"
#include "ui/MainWindow.h"
#include "ui/QtUserInteraction.h"

namespace {

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes);
}

// A zip archive of stored entries.
QByteArray StoredZip(const QList<QPair<QByteArray, QByteArray>>& entries) {
  TZipWriter zip;
  for (const auto& [name, data] : entries)
    zip.Add(name.toStdString(), data.toStdString(), TZipWriterEntry::zmStored);
  return QByteArray::fromStdString(zip.Build());
}

// What the fake emulator saw.
struct TVelkRun {
  bool Ran = false;
  QString Cwd;
  QStringList Args;
  QStringList Listing;
};

// Steps carried out while the start handler waits for the emulator: each runs once its condition
// holds, in order, from a timer of the event loop that the wait keeps turning.
class TDuringRun : public QObject {
 public:
  TDuringRun() {
    connect(&FTimer, &QTimer::timeout, this, [this] {
      while (!FSteps.empty() && FSteps.front().Ready()) {
        const auto act = FSteps.front().Act;
        FSteps.pop_front();
        act();
      }
    });
    FTimer.start(10);
  }
  void When(std::function<bool()> ready, std::function<void()> act) {
    FSteps.push_back({std::move(ready), std::move(act)});
  }
  void Then(std::function<void()> act) {
    When([] { return true; }, std::move(act));
  }
  bool Done() const { return FSteps.empty(); }

 private:
  struct TStep {
    std::function<bool()> Ready;
    std::function<void()> Act;
  };
  QTimer FTimer;
  std::deque<TStep> FSteps;
};

QImage Picture(QColor colour) {
  QImage image(64, 40, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

}  // namespace

class StartEndToEndTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> FDir;
  QString FOldDir;
  std::unique_ptr<TQtUserInteraction> FUi;
  std::unique_ptr<TMain> FMain;
  std::unique_ptr<TMainGameStart> FStart;
  QStringList FBoxes;

  QString Path(const QString& relative) const { return FDir->filePath(relative); }
  QString Stop() const { return Path("velk.stop"); }

  // The emulator folder: readme with four games, two installed, one zipped in zips/, one absent.
  void MakeEmulatorDir(const QByteArray& velkScript = {}) {
    WriteBytes(Path("readme.txt"),
               "VELK test emulator\r\n\r\ngameslist:\r\n"
               "Alpha Attack         | alpha\r\nBeta Blaster         | beta\r\n"
               "Gamma Gate           | gamma\r\nDelta Dash           | delta\r\n");
    const QByteArray script =
        !velkScript.isEmpty()
            ? velkScript
            : QByteArray(
                  "#!/bin/sh\n"
                  "{\n"
                  "  printf 'cwd=%s\\n' \"$(pwd)\"\n"
                  "  for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done\n"
                  "  if [ -n \"$1\" ] && [ -d \"$1\" ]; then ls -1A \"$1\" | sed 's/^/file=/'; fi\n"
                  "} > velkrun.part\n"
                  "mv velkrun.part velkrun.txt\n"
                  "i=0\n"
                  "while [ ! -e velk.stop ] && [ $i -lt 1500 ]; do sleep 0.02; i=$((i+1)); done\n"
                  "rm -f velk.stop\n");
    WriteBytes(Path("velk.exe"), script);
    QFile::setPermissions(Path("velk.exe"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    for (const char* name : {"alpha", "beta"}) {
      WriteBytes(Path(QString("%1/%1.vlk").arg(name)), "driver");
      for (int i = 1; i <= 4; ++i) WriteBytes(Path(QString("%1/%1.r%2").arg(name).arg(i)), "rom");
    }
    WriteBytes(Path("gamma/gamma.vlk"), "driver");
    WriteBytes(Path("delta/delta.vlk"), "driver");
    WriteBytes(Path("zips/gamma.zip"), StoredZip({{"roms/gamma.r1", "one"},
                                                  {"gamma.r2", "two"},
                                                  {"keep.txt", "zip's"},
                                                  {"gamma.vlk", "driver from the zip"}}));
    // The zip ROM path as the settings file holds it, written after a first start-up.
  }

  // The windows as the program makes them, in the emulator folder as its working directory.
  // The windows as the program's entry makes them, in the emulator folder as working directory.
  void StartProgram() {
    QVERIFY(QDir::setCurrent(FDir->path()));
    FUi = std::make_unique<TQtUserInteraction>();
    TMainHooks hooks = DefaultMainHooks(*FUi);
    hooks.OnClose = [this] { FUi->RequestQuit(); };
    FMain = std::make_unique<TMain>(*FUi, std::move(hooks));
    FStart = std::make_unique<TMainGameStart>(*FMain, Catalogue(), *FUi);
    FUi->OnSetStatusText = [this](const std::string& text) { FMain->SetStatusText(text); };
    FUi->OnResetStatusText = [this] { FMain->ResetStatusText(); };
    FMain->ShowAsStarted();
    QVERIFY(QTest::qWaitForWindowExposed(FMain.get()));
  }

  void CloseProgram() {
    if (FMain) FMain->close();
    FStart.reset();
    FMain.reset();
    FUi.reset();
  }

  void SelectGame(const QString& name) {
    const QModelIndexList items = FMain->GameList->model()->match(
        FMain->GameList->model()->index(0, 0), Qt::DisplayRole, name, -1, Qt::MatchExactly);
    QVERIFY2(items.size() == 1, qPrintable(name));
    FMain->GameList->setCurrentRow(items.front().row());
    QCOMPARE(Catalogue().Games.at(Catalogue().CurrentGame).Name.str(), name.toStdString());
  }

  void DoubleClickGame(const QString& name) {
    SelectGame(name);
    const QPoint at = FMain->GameList->RowRect(FMain->GameList->currentRow()).center();
    // A double click arrives after the click of its first press.
    QTest::mouseClick(FMain->GameList->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(FMain->GameList->viewport(), Qt::LeftButton, {}, at);
  }

  TVelkRun ReadRun() const {
    TVelkRun run;
    QFile file(Path("velkrun.txt"));
    if (!file.open(QIODevice::ReadOnly)) return run;
    run.Ran = true;
    for (const QByteArray& raw : file.readAll().split('\n')) {
      const QString line = QString::fromUtf8(raw);
      if (line.startsWith("cwd=")) run.Cwd = line.mid(4);
      if (line.startsWith("arg=")) run.Args << line.mid(4);
      if (line.startsWith("file=")) run.Listing << line.mid(5);
    }
    run.Listing.sort();
    return run;
  }
  bool Running() const { return QFile::exists(Path("velkrun.txt")); }
  QStringList Shots() const { return QDir(Path("ScreenShots")).entryList(QDir::Files, QDir::Name); }
  QStringList Folder(const QString& name) const {
    return QDir(Path(name)).entryList(QDir::Files, QDir::Name);
  }
  void Copy(const QImage& image) { QGuiApplication::clipboard()->setImage(image); }

 private slots:
  void init() {
    FOldDir = QDir::currentPath();
    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
    FBoxes.clear();
    // Every box is answered with its first button and written down.
    TQtUserInteraction::BoxShownHook = [this](QMessageBox* box) {
      QString text = box->text();
      FBoxes << text.replace('\n', '|');
      QTimer::singleShot(0, box, [box] { box->buttons().front()->click(); });
    };
    QGuiApplication::clipboard()->clear();
  }
  void cleanup() {
    CloseProgram();
    TQtUserInteraction::BoxShownHook = nullptr;
    QDir::setCurrent(FOldDir);
    Catalogue() = TCatalogue{};
    FDir.reset();
  }

  void installedStart() {
    MakeEmulatorDir();
    StartProgram();
    FBoxes.clear();  // the first start-up reports its new games
    const QString title = FMain->StatusPanel1->text();
    TDuringRun during;
    during.When([this] { return Running(); }, [this] { QFile(Stop()).open(QIODevice::WriteOnly); });
    DoubleClickGame("Alpha Attack");
    QVERIFY(during.Done());
    const TVelkRun run = ReadRun();
    QVERIFY(run.Ran);
    QCOMPARE(QDir(run.Cwd).canonicalPath(), QDir(FDir->path()).canonicalPath());
    QCOMPARE(run.Args, (QStringList{"alpha", "-v", "-n"}));
    QCOMPARE(run.Listing,
             (QStringList{"alpha.r1", "alpha.r2", "alpha.r3", "alpha.r4", "alpha.vlk"}));
    QCOMPARE(FBoxes, QStringList());
    QVERIFY(QDir(Path("ScreenShots")).exists());
    QCOMPARE(FMain->StatusPanel1->text(), title);
    QVERIFY(QFile::exists(Path("VELKStart.txt")));
  }

  void zipStartExtractsRunsAndCleansUp() {
    MakeEmulatorDir();
    WriteBytes(Path("gamma/keep.txt"), "the user's own");
    StartProgram();
    Catalogue().AltRomPath = QString("zips/").toStdString();
    FMain->MenuCheckForGamesClick();
    FBoxes.clear();
    QStringList statusDuringRun;
    TDuringRun during;
    during.When([this] { return Running(); },
                [&] {
                  statusDuringRun << FMain->StatusPanel1->text();
                  QFile(Stop()).open(QIODevice::WriteOnly);
                });
    DoubleClickGame("Gamma Gate");
    QVERIFY(during.Done());
    const TVelkRun run = ReadRun();
    QVERIFY(run.Ran);
    QCOMPARE(run.Args, (QStringList{"gamma", "-v", "-n"}));
    QCOMPARE(run.Listing, (QStringList{"gamma.r1", "gamma.r2", "gamma.vlk", "keep.txt"}));
    // Once the emulator runs, the status bar names its game.
    QCOMPARE(statusDuringRun, QStringList{"Running: Gamma Gate"});
    // The files the extraction wrote are gone; the one that was there before stays as it was.
    QCOMPARE(Folder("gamma"), (QStringList{"gamma.vlk", "keep.txt"}));
    QFile keep(Path("gamma/keep.txt"));
    QVERIFY(keep.open(QIODevice::ReadOnly));
    QCOMPARE(keep.readAll(), QByteArray("the user's own"));
    QCOMPARE(FMain->StatusPanel1->text(), TMain::StatusTitle());
    QCOMPARE(FBoxes, QStringList());
  }

  // The status bar counts the files of a long extraction and its Cancel control stops it: what
  // was written goes, the emulator does not start, and the window goes on. A scan run meanwhile
  // still looks at the emulator's folder.
  void cancelControlDuringALongExtraction() {
    MakeEmulatorDir();
    QList<QPair<QByteArray, QByteArray>> many;
    for (int i = 0; i < 3000; ++i) many.append({"roms/f" + QByteArray::number(i) + ".bin", "x"});
    WriteBytes(Path("zips/gamma.zip"), StoredZip(many));
    StartProgram();
    Catalogue().AltRomPath = QString("zips/").toStdString();
    FMain->MenuCheckForGamesClick();
    FBoxes.clear();
    QString shown;
    std::vector<std::int32_t> statusMeanwhile;
    TDuringRun during;
    during.When(
        // Four files written: with the driver, enough for an installed game's folder.
        [this] {
          return FStart->UnzipProgress->isVisible() && FStart->UnzipProgress->value() >= 4;
        },
        [&] {
          shown = FStart->UnzipProgress->text();
          FMain->MenuCheckForGamesClick();
          statusMeanwhile = Catalogue().GameStatus;
          QTest::mouseClick(FStart->UnzipCancel, Qt::LeftButton);
        });
    DoubleClickGame("Gamma Gate");
    QVERIFY(during.Done());
    QVERIFY2(shown.endsWith(" of " + QLocale().toString(3000) + " files"), qPrintable(shown));
    // Gamma's folder already holds the files unzipped so far, but they are the start's own, named
    // by its clean-up record: the game is still a zipped one.
    QCOMPARE(statusMeanwhile,
             (std::vector<std::int32_t>{0, gsInstalled, gsInstalled, gsZipAvailable, gsNotAvailable}));
    QVERIFY(!ReadRun().Ran);
    QCOMPARE(Folder("gamma"), QStringList{"gamma.vlk"});
    QCOMPARE(Catalogue().GameStatus.at(3), gsZipAvailable);  // unzipped again at the next start
    QVERIFY(!FStart->UnzipProgress->isVisible());
    QVERIFY(FMain->isVisible());
    QCOMPARE(FMain->StatusPanel1->text(), TMain::StatusTitle());
    QCOMPARE(FBoxes, QStringList());
  }

  void driverWarningThenTheRun() {
    MakeEmulatorDir();
    StartProgram();
    QVERIFY(QFile::remove(Path("alpha/alpha.vlk")));
    FBoxes.clear();
    TDuringRun during;
    during.When([this] { return Running(); }, [this] { QFile(Stop()).open(QIODevice::WriteOnly); });
    DoubleClickGame("Alpha Attack");
    QVERIFY(during.Done());
    QCOMPARE(FBoxes, QStringList{"Velk driver for alpha not found!|Make sure you have alpha.vlk "
                                 "in gamedir."});
    QVERIFY(ReadRun().Ran);
  }

  void batchFileDeletedByHand() {
    MakeEmulatorDir();
    StartProgram();
    QVERIFY(QFile::remove(Path("batch.bat")));
    FBoxes.clear();
    DoubleClickGame("Alpha Attack");
    QCOMPARE(FBoxes, QStringList{"Failed to execute BatchFile, Please contact Orlen"});
    QVERIFY(!ReadRun().Ran);
  }

  void picturesDuringTheRunAreSaved() {
    MakeEmulatorDir();
    TRgbImage there;
    there.Width = there.Height = 8;
    there.Pixels.assign(8 * 8 * 3, 128);
    WriteBytes(Path("ScreenShots/beta02.jpg"), QByteArray::fromStdString(*EncodeJpeg(there)));
    StartProgram();
    FBoxes.clear();
    Copy(Picture(Qt::red));  // before the start: never saved
    TDuringRun during;
    const auto count = [this](int n) { return [this, n] { return Shots().size() == n; }; };
    during.When([this] { return Running(); }, [this] { Copy(Picture(Qt::green)); });
    during.When(count(2), [this] { Copy(Picture(Qt::blue)); });  // beta01, then the gap is full
    during.When(count(3), [this] { QGuiApplication::clipboard()->setText("text saves nothing"); });
    during.Then([this] {
      // The selection changes during the run: the capture still belongs to the game that runs.
      SelectGame("Alpha Attack");
      Copy(Picture(Qt::yellow));
    });
    during.When(count(4), [this] {
      SelectGame("Beta Blaster");  // its pictures as they are now; one more comes
      Copy(Picture(Qt::cyan));
    });
    during.When(count(5), [this] { QFile(Stop()).open(QIODevice::WriteOnly); });
    DoubleClickGame("Beta Blaster");
    QVERIFY(during.Done());
    QCOMPARE(Shots(),
             (QStringList{"beta01.jpg", "beta02.jpg", "beta03.jpg", "beta04.jpg", "beta05.jpg"}));
    const auto picture = DecodeJpegFile(Path("ScreenShots/beta01.jpg").toStdString());
    QVERIFY(picture);
    QCOMPARE(picture->Width, 64);
    QVERIFY(picture->Image.Pixels[1] > 200 && picture->Image.Pixels[0] < 60);  // green
    // The set was read again after the run: the picture taken after the last selection is there.
    QCOMPARE(FMain->ScreenShotFiles().size(), std::size_t{5});
    QCOMPARE(FBoxes, QStringList());
    // After the run the clipboard is no longer watched.
    Copy(Picture(Qt::white));
    QCoreApplication::processEvents();
    QCOMPARE(Shots().size(), 5);
  }

  void refusedStarts() {
    MakeEmulatorDir();
    StartProgram();
    FBoxes.clear();
    TDuringRun during;
    during.When([this] { return Running(); },
                [this] {
                  // The Start button starts nothing during the run; the list's double click,
                  // which it does not guard, is refused with a message.
                  QVERIFY(!FMain->StartEmuButton->isEnabled());
                  DoubleClickGame("Alpha Attack");
                });
    during.When([this] { return FBoxes.size() == 1; },
                [this] { QFile(Stop()).open(QIODevice::WriteOnly); });
    DoubleClickGame("Alpha Attack");
    QVERIFY(during.Done());
    QCOMPARE(FBoxes, QStringList{"VELK is already running!|Close the running game before you "
                                 "start another one."});
    QVERIFY(QFile::remove(Path("velkrun.txt")));

    // No game selected: a start reaching the handler anyway is refused.
    FMain->GameList->setCurrentRow(-1);
    QCOMPARE(Catalogue().CurrentGame, -1);
    FMain->StartEmuButtonClick();
    QCOMPARE(FBoxes.size(), 2);
    QCOMPARE(FBoxes.at(1),
             QString("No game selected!|Select a game in the list before you start VELK."));
    QVERIFY(!ReadRun().Ran);
  }

  void closingDuringTheRun() {
    MakeEmulatorDir();
    StartProgram();
    FBoxes.clear();
    bool closed = false;
    TDuringRun during;
    during.When([this] { return Running(); }, [&] { closed = FMain->close(); });
    DoubleClickGame("Alpha Attack");
    // The handler has returned although the emulator still runs.
    QVERIFY(during.Done());
    QVERIFY(closed);
    QVERIFY(!QFile::exists(Stop()));
    QVERIFY(QFile::exists(Path("StartVELK.ini")));
    QVERIFY(!QFile::exists(Path("batch.bat")));
    QVERIFY(!QFile::exists(Path("VELKStart.txt")));
    QVERIFY(FUi->QuitRequested());
    QFile(Stop()).open(QIODevice::WriteOnly);
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(Stop()), 10000);
  }

  // The demo emulator puts its picture on the display's clipboard; needs a real X server.
  void realClipboardCapture() {
    if (QGuiApplication::platformName() != "xcb") QSKIP("needs an X display (run under xvfb-run)");
    MakeEmulatorDir("#!/bin/sh\nexec '" DEMO_VELK "' --copy-once \"$@\"\n");
    StartProgram();
    FBoxes.clear();
    TDuringRun during;
    // Taking the clipboard over ends the demo emulator.
    during.When([this] { return Shots().size() == 1; },
                [] { QGuiApplication::clipboard()->setText("done"); });
    DoubleClickGame("Beta Blaster");
    QVERIFY(during.Done());
    QCOMPARE(Shots(), QStringList{"beta01.jpg"});
    const auto picture = DecodeJpegFile(Path("ScreenShots/beta01.jpg").toStdString());
    QVERIFY(picture);
    QVERIFY(picture->Width >= 100 && picture->Height >= 100);
  }

  // Pictures of the whole screen during a zip start in the demo folder, for a person to look at:
  // the unzip and start texts in the status bar, the demo emulator's window, the new screenshot.
  void picturesOfARunningStart() {
    if (QGuiApplication::platformName() != "xcb") QSKIP("needs an X display (run under xvfb-run)");
    QProcess make;
    make.start(MAKE_DEMO, {FDir->path(), DEMO_VELK});
    QVERIFY(make.waitForFinished(60000) && make.exitCode() == 0);
    WriteBytes(Path("velk.exe"), "#!/bin/sh\nexec '" DEMO_VELK "' --copy-once \"$@\"\n");
    QFile::setPermissions(Path("velk.exe"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    StartProgram();
    FMain->resize(900, 600);
    const QString out = QDir::temp().filePath("startvelk-start-pictures");
    QDir(out).removeRecursively();
    QVERIFY(QDir().mkpath(out));
    int shot = 0;
    const auto grab = [&](const QString& what) {
      QCoreApplication::processEvents();
      const QString file =
          QString("%1/%2-%3.png").arg(out).arg(++shot, 2, 10, QChar('0')).arg(what);
      QGuiApplication::primaryScreen()->grabWindow(0).save(file);
      qInfo("%s", qPrintable(file));
    };
    const auto oldStatus = FUi->OnSetStatusText;
    FUi->OnSetStatusText = [&](const std::string& text) {
      if (oldStatus) oldStatus(text);
      grab(text.rfind("Unzipping", 0) == 0 ? "unzipping" : "starting");
    };
    // The list shows the name as the catalogue made it from the readme.
    QString robox;
    for (const TGameRecord& g : Catalogue().Games)
      if (g.ZipName.str() == "robox3") robox = QString::fromStdString(g.Name.str());
    SelectGame(robox);
    grab("selected");
    TDuringRun during;
    during.When([this] { return Shots().contains("robox303.jpg"); },
                [&] {
                  QTest::qWait(300);
                  grab("running");
                  QGuiApplication::clipboard()->setText("done");
                });
    DoubleClickGame(robox);
    QVERIFY(during.Done());
    FUi->OnSetStatusText = oldStatus;
    FMain->NextScreenShot();
    FMain->NextScreenShot();
    grab("after");
  }
};

QTEST_MAIN(StartEndToEndTest)
#include "StartEndToEndTest.moc"
