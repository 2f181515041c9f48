// The screenshot pane: the picture on show, navigation and deletion through the toolbar and the
// menu, placement, the controls, the slide show and PCX pictures through Qt's image loading.

#include <QAccessible>
#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <cstdlib>

#include "MainTestSupport.h"
#include "PictureFixtures.h"
#include "ui/GameListView.h"
#include "ui/MImage.h"
#include "ui/SetScreenShotTimer.h"

namespace {

const std::vector<TTestGame> kGames = {
    {"Alpha", "alpha", gsInstalled},
    {"Bravo", "bravo", gsInstalled},
};

void WriteJpeg(const QString& path, int w, int h, QColor colour) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  QDir().mkpath(QFileInfo(path).path());
  QVERIFY(image.save(path, "JPEG"));
}

// A 16-colour PCX of 16 × 2 pixels: BytesPerLine 2, four planes, palette in the header.
QByteArray Pcx16() {
  std::string data = PcxHeader(1, 4, 0, 0, 15, 1, 2);
  for (int i = 0; i < 16; ++i) {
    data[16 + 3 * i] = static_cast<char>(i * 16);
    data[16 + 3 * i + 2] = static_cast<char>(255 - i * 16);
  }
  // Two lines of four planes of two bytes, stored as plain bytes below 192.
  const char line[8] = {static_cast<char>(0x80), 0, 0, 0, 0, 0, 0, 0};
  for (int l = 0; l < 2; ++l) data.append(line, 8);
  return QByteArray::fromStdString(data);
}

}  // namespace

class ScreenShotPaneTest : public QObject {
  Q_OBJECT

 private slots:
  void showsTheSavedPictureAndStepsWithWrapAround() {
    TMainFixture f;
    WriteJpeg(f.Path("ScreenShots/alpha01.jpg"), 32, 24, Qt::red);
    WriteJpeg(f.Path("ScreenShots/ALPHA02.JPG"), 64, 24, Qt::green);
    WriteJpeg(f.Path("ScreenShots/alpha03.jpg"), 16, 16, Qt::blue);
    WriteJpeg(f.Path("ScreenShots/bravo01.jpg"), 16, 16, Qt::blue);
    TMain& main = f.Start(kGames);
    QCOMPARE(main.ScreenShotFiles(),
             std::vector<std::string>({"alpha01.jpg", "ALPHA02.JPG", "alpha03.jpg"}));
    QCOMPARE(main.SSShowName->text(), QString("alpha01.jpg"));
    QVERIFY(!main.SSPanel->isHidden());
    QVERIFY(main.NoShotImage->isHidden());
    main.SToolNext->trigger();
    QCOMPARE(main.SSShowName->text(), QString("ALPHA02.JPG"));
    QCOMPARE(main.SSImage->Picture().width(), 64);
    main.SToolNext->trigger();
    main.SToolNext->trigger();
    QCOMPARE(Catalogue().Games[1].CurrentSS, 0);
    main.SToolPrev->trigger();
    QCOMPARE(Catalogue().Games[1].CurrentSS, 2);
    QCOMPARE(main.SSShowName->text(), QString("alpha03.jpg"));
    // The index out of range from the settings file: the first picture.
    Catalogue().Games[2].CurrentSS = -4;
    main.GameList->setCurrentRow(1);
    QCOMPARE(main.SSShowName->text(), QString("bravo01.jpg"));
    QCOMPARE(Catalogue().Games[2].CurrentSS, 0);
    // Back to Alpha: the picture on show when it was last looked at.
    main.GameList->setCurrentRow(0);
    QCOMPARE(main.SSShowName->text(), QString("alpha03.jpg"));
  }

  void noScreenshotViewAndUnreadablePicture() {
    TMainFixture f;
    QDir().mkpath(f.Path("ScreenShots"));
    QFile bad(f.Path("ScreenShots/bravo01.jpg"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("not a picture");
    bad.close();
    TMain& main = f.Start(kGames);
    QVERIFY(main.SSPanel->isHidden());
    QVERIFY(!main.NoShotImage->isHidden());
    QCOMPARE(main.SSShowName->text(), QString());
    QCOMPARE(main.NoShotImage->Picture().size(), QSize(384, 256));
    main.SToolNext->trigger();  // an empty set: nothing changes
    QCOMPARE(Catalogue().Games[1].CurrentSS, 0);
    main.GameList->setCurrentRow(1);
    QCOMPARE(f.Ui.Beeps, 1);
    QCOMPARE(f.Ui.Boxes.size(), std::size_t(1));
    QCOMPARE(f.Ui.Boxes[0].Text, std::string("Error reading jpg-image!"));
    QCOMPARE(f.Ui.Boxes[0].Buttons, TMsgDlgButtons(mbOK));
    QCOMPARE(main.SSShowName->text(), QString("bravo01.jpg"));
    QVERIFY(main.SSPanel->isHidden());
  }

  void deletionAsksAndRereadsTheSet() {
    TMainFixture f;
    WriteJpeg(f.Path("ScreenShots/alpha01.jpg"), 16, 16, Qt::red);
    WriteJpeg(f.Path("ScreenShots/alpha02.jpg"), 16, 16, Qt::green);
    TMain& main = f.Start(kGames);
    main.SToolPlayClick();
    f.Ui.Answers = {TModalResult::mrNo};
    main.SToolKill->trigger();
    QCOMPARE(f.Ui.Boxes.back().Text,
             std::string("Are you sure you want to delete\rthe current Screenshot ?"));
    QCOMPARE(f.Ui.Boxes.back().Type, TMsgDlgType::mtConfirmation);
    QCOMPARE(f.Ui.Boxes.back().Buttons, TMsgDlgButtons(mbYes | mbNo));
    QVERIFY(QFile::exists(f.Path("ScreenShots/alpha01.jpg")));
    QVERIFY(main.SToolPlay->isChecked());  // the slide show goes on
    main.SToolPauseClick();
    main.SToolNext->trigger();
    f.Ui.Answers = {TModalResult::mrYes};
    main.MenuDeleteCurrentScreenshot->trigger();
    QVERIFY(!QFile::exists(f.Path("ScreenShots/alpha02.jpg")));
    QCOMPARE(main.ScreenShotFiles(), std::vector<std::string>({"alpha01.jpg"}));
    QCOMPARE(main.SSShowName->text(), QString("alpha01.jpg"));  // the last one went: the first
    QVERIFY(main.SToolPause->isChecked());
    f.Ui.Answers = {TModalResult::mrYes};
    main.SToolKill->trigger();
    QVERIFY(main.ScreenShotFiles().empty());
    QVERIFY(main.SSPanel->isHidden());
    QCOMPARE(main.SSShowName->text(), QString());
    const std::size_t boxes = f.Ui.Boxes.size();
    main.SToolKill->trigger();  // nothing left: no question
    QCOMPARE(f.Ui.Boxes.size(), boxes);
  }

  void resetAllSetsEveryGameAndPauses() {
    TMainFixture f;
    WriteJpeg(f.Path("ScreenShots/alpha01.jpg"), 16, 16, Qt::red);
    WriteJpeg(f.Path("ScreenShots/alpha02.jpg"), 16, 16, Qt::green);
    TMain& main = f.Start(kGames);
    main.SToolPlayClick();
    main.MenuResetalltoGameplayscreen->trigger();
    QVERIFY(main.SToolPause->isChecked());
    QVERIFY(!main.SSTimer->isActive());
    QCOMPARE(Catalogue().Games[1].CurrentSS, 1);
    QCOMPARE(Catalogue().Games[2].CurrentSS, 1);
    QCOMPARE(Catalogue().Games[0].CurrentSS, 0);
    QCOMPARE(main.SSShowName->text(), QString("alpha02.jpg"));
    main.MenuResetalltoTitlescreen->trigger();
    QCOMPARE(main.SSShowName->text(), QString("alpha01.jpg"));
  }

  void slideShowStepsOnItsTimer() {
    TMainFixture f;
    for (const char* name : {"alpha01.jpg", "alpha02.jpg", "alpha03.jpg"})
      WriteJpeg(f.Path(QString("ScreenShots/") + name), 8, 8, Qt::gray);
    TWindowState state;
    state.TimerInterval = 20;
    TMain& main = f.Start(kGames, state);
    QVERIFY(main.SToolPause->isChecked() && !main.SToolPlay->isChecked());
    main.SToolPlay->trigger();
    QVERIFY(main.SToolPlay->isChecked() && !main.SToolPause->isChecked());
    QTRY_COMPARE(Catalogue().Games[1].CurrentSS, 2);
    main.SToolPause->trigger();
    QVERIFY(!main.SSTimer->isActive());
    const std::int32_t stopped = Catalogue().Games[1].CurrentSS;
    QTest::qWait(80);
    QCOMPARE(Catalogue().Games[1].CurrentSS, stopped);
    // A second click on Play keeps it down.
    main.SToolPlay->trigger();
    main.SToolPlay->trigger();
    QVERIFY(main.SToolPlay->isChecked() && main.SSTimer->isActive());

    // A screen reader's toggle and the keyboard act as the click does; the buttons take the focus
    // and carry their names.
    auto toggle = [&](QAction* action) {
      QWidget* button = main.SToolBar->widgetForAction(action);
      QAccessibleInterface* face = QAccessible::queryAccessibleInterface(button);
      QVERIFY(face && face->actionInterface());
      QCOMPARE(face->text(QAccessible::Name), action->text());
      face->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    };
    toggle(main.SToolPause);
    QVERIFY(main.SToolPause->isChecked() && !main.SToolPlay->isChecked());
    QVERIFY(!main.SSTimer->isActive());
    toggle(main.SToolPlay);
    QVERIFY(main.SToolPlay->isChecked() && !main.SToolPause->isChecked());
    QVERIFY(main.SSTimer->isActive());
    QWidget* pause = main.SToolBar->widgetForAction(main.SToolPause);
    QCOMPARE(pause->focusPolicy(), Qt::TabFocus);
    QTest::keyClick(pause, Qt::Key_Space);
    QVERIFY(main.SToolPause->isChecked() && !main.SSTimer->isActive());
  }

  void intervalZeroNeverTicksAndTheDialogSetsIt() {
    TMainFixture f;
    TWindowState state;
    state.TimerInterval = 0;
    TMain& main = f.Start(kGames, state);
    main.SToolPlay->trigger();
    QVERIFY(main.SToolPlay->isChecked());
    QVERIFY(!main.SSTimer->isActive());
    std::int32_t handed = -1;
    main.Hooks().EditScreenShotTimer = [&](std::int32_t ms) {
      handed = ms;
      return 7000;
    };
    main.SToolTimer->trigger();
    QCOMPARE(handed, 0);
    QCOMPARE(main.SSTimer->interval(), 7000);
    QVERIFY(main.SSTimer->isActive());
  }

  void setTimerRunsTheIntervalDialog() {
    TMainFixture f;
    TWindowState state;
    state.TimerInterval = 2000;
    TMain& main = f.Start(kGames, state);
    main.Hooks().EditScreenShotTimer = DefaultMainHooks(f.Ui).EditScreenShotTimer;
    TSetScreenShotTimerForm form(&main);
    int shownAt = -1;
    QTimer::singleShot(50, [&] {
      shownAt = form.TimerBar->value();
      form.TimerBar->setValue(7);
      form.OKButton1->click();
    });
    main.SToolTimer->trigger();
    QCOMPARE(shownAt, 2);
    QCOMPARE(main.SSTimer->interval(), 7000);
    QTimer::singleShot(50, [&] {
      form.TimerBar->setValue(4);
      form.CancelButton2->click();
    });
    main.SToolTimer->trigger();
    QCOMPARE(main.SSTimer->interval(), 7000);
  }

  void placementFollowsTheScalingMode() {
    TMainFixture f;
    WriteJpeg(f.Path("ScreenShots/alpha01.jpg"), 320, 200, Qt::red);
    TMain& main = f.Start(kGames);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.SSPanel->parentWidget()->layout()->setEnabled(false);
    main.SSPanel->resize(400, 300);
    QTRY_COMPARE(main.SSImage->geometry(), QRect(0, 25, 400, 250));
    main.MenuOriginal->trigger();
    QVERIFY(main.MenuOriginal->isChecked() && !main.MenuScaled->isChecked());
    QCOMPARE(main.SSImage->geometry(), QRect(40, 50, 320, 200));
    main.MenuStretched->trigger();
    QCOMPARE(main.SSImage->geometry(), QRect(0, 0, 400, 300));
    main.SSPanel->resize(392, 246);
    QTRY_COMPARE(main.SSImage->geometry(), QRect(0, 0, 392, 246));
  }

  void largePicturesAreDecodedForTheirPlace() {
    TMainFixture f;
    WriteJpeg(f.Path("ScreenShots/alpha01.jpg"), 1600, 1200, Qt::darkCyan);
    TMain& main = f.Start(kGames);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.GameList->setCurrentRow(1);
    main.GameList->setCurrentRow(0);  // shown again now that the panel has its size
    QCOMPARE(main.SSImage->PictureSize(), QSize(1600, 1200));
    QVERIFY(main.SSImage->Picture().width() < 1600);
    QVERIFY(main.SSImage->Picture().width() >= main.SSImage->width());
    // The bounds come from the picture's own size: 4:3 kept inside the panel.
    QVERIFY(std::abs(main.SSImage->width() * 3 - main.SSImage->height() * 4) <= 4);
    main.MenuOriginal->trigger();
    QCOMPARE(main.SSImage->size(), QSize(1600, 1200));
    QTRY_COMPARE(main.SSImage->Picture().width(), 1600);
  }

  void controlsAndNameCanBeHidden() {
    TMainFixture f;
    TMain& main = f.Start(kGames);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QCOMPARE(main.SToolBar->height(), 39);
    QCOMPARE(main.SToolBar->actions().size(), 7);
    QStringList hints;
    for (QAction* a : main.SToolBar->actions()) hints << a->toolTip();
    QCOMPARE(hints, QStringList({"Play", "Pause", "Previous", "Next", "Set Timer",
                                 "Delete Screenshot", "Hide Controls"}));
    QTRY_COMPARE(main.SToolBar->widgetForAction(main.SToolPlay)->width(),
                 main.SToolBar->width() / 7);
    main.SToolClose->trigger();
    QVERIFY(main.SToolBar->isHidden());
    QVERIFY(!main.MenuShowControls->isChecked());
    main.MenuShowControls->trigger();
    QVERIFY(!main.SToolBar->isHidden());
    QVERIFY(main.MenuShowControls->isChecked());
    main.MenuShowName->trigger();
    QVERIFY(main.SSShowName->isHidden());
    main.MenuShowName->trigger();
    QVERIFY(!main.SSShowName->isHidden());
    // The name lies directly above the toolbar.
    QCOMPARE(main.SSShowName->geometry().bottom() + 1, main.SToolBar->geometry().top());
  }

  void pcxLoadsThroughQImage() {
    TMainFixture f;
    TMain& main = f.Start(kGames);  // linking the window registers the format
    Q_UNUSED(main);
    QVERIFY(QImageReader::supportedImageFormats().contains("pcx"));
    QFile file(f.Path("picture.pcx"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(Pcx16());
    file.close();
    QImage image(f.Path("picture.pcx"));
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(16, 2));
    // Plane 0's top bit makes the first pixel colour 1 of the header's palette.
    QCOMPARE(image.pixelColor(0, 0), QColor(16, 0, 239));
    QCOMPARE(image.pixelColor(1, 0), QColor(0, 0, 255));
    QImageReader reader(f.Path("picture.pcx"));
    QCOMPARE(reader.format(), QByteArray("pcx"));
    QBuffer junk;
    junk.setData("not a pcx at all");
    QImageReader bad(&junk, "pcx");
    QVERIFY(bad.read().isNull());
  }
};

QTEST_MAIN(ScreenShotPaneTest)
#include "ScreenShotPaneTest.moc"
