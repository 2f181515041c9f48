#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <string>
#include <vector>

#include "RecordingInteraction.h"
#include "screenshots/Capture.h"
#include "screenshots/JpegCodec.h"
#include "ui/ClipboardCapture.h"

namespace {

QImage Picture(int width, int height, QColor colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

}  // namespace

class ClipboardCaptureTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir* FDir = nullptr;
  TCatalogue FCatalogue;
  TRecordingInteraction FUi;
  TClipboardCapture* FCapture = nullptr;

  QString Shots() const { return FDir->filePath("ScreenShots"); }
  QStringList ShotNames() const { return QDir(Shots()).entryList(QDir::Files, QDir::Name); }
  // A picture put on the clipboard by someone, then the notification delivered.
  void Copy(const QImage& image) {
    QGuiApplication::clipboard()->setImage(image);
    QCoreApplication::processEvents();
  }

 private slots:
  void init() {
    FDir = new QTemporaryDir;
    QVERIFY(FDir->isValid());
    FCatalogue = TCatalogue();
    FCatalogue.Games.resize(3);
    for (TGameRecord& g : FCatalogue.Games) InitGameRecord(g);
    FCatalogue.Games[1].ZipName = "mygame";
    FCatalogue.Games[2].ZipName = "other";
    FCatalogue.CurrentGame = 1;
    FCatalogue.GameDir = FDir->path().toStdString();
    FUi = TRecordingInteraction();
    FCapture = new TClipboardCapture(FCatalogue, FUi);
  }
  void cleanup() {
    delete FCapture;
    delete FDir;
    QGuiApplication::clipboard()->clear();
  }

  void joinMakesTheFolderAndDropsWhatTheClipboardHeld() {
    Copy(Picture(20, 10, Qt::red));
    FCapture->JoinClipboardChain();
    QVERIFY(FCapture->Joined());
    QVERIFY(QDir(Shots()).exists());
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data == nullptr || !data->hasImage());
    QCoreApplication::processEvents();
    QVERIFY(ShotNames().isEmpty());
    FCapture->LeaveClipboardChain();
    QVERIFY(!FCapture->Joined());
    // The folder stays even when no picture came.
    QVERIFY(QDir(Shots()).exists());
  }

  void joinKeepsAFolderOfAnotherLetterCase() {
    QVERIFY(QDir(FDir->path()).mkdir("screenshots"));
    FCapture->JoinClipboardChain();
    Copy(Picture(8, 8, Qt::blue));
    QCOMPARE(QDir(FDir->path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
             QStringList{"screenshots"});
    QCOMPARE(QDir(FDir->filePath("screenshots")).entryList(QDir::Files),
             QStringList{"mygame01.jpg"});
  }

  void joinFailsWhenTheFolderCannotBeMade() {
    QFile blocker(Shots());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY_THROWS_EXCEPTION(ECaptureError, FCapture->JoinClipboardChain());
    QVERIFY(!FCapture->Joined());
  }

  void picturesBecomeNumberedFilesFillingGaps() {
    FCapture->JoinClipboardChain();
    QSignalSpy saved(FCapture, &TClipboardCapture::ScreenShotSaved);
    Copy(Picture(64, 48, Qt::green));
    Copy(Picture(64, 48, Qt::green));  // the same picture twice: two files
    QCOMPARE(ShotNames(), (QStringList{"mygame01.jpg", "mygame02.jpg"}));
    QCOMPARE(saved.count(), 2);
    QCOMPARE(saved.at(1).at(0).toString(), QDir(Shots()).filePath("mygame02.jpg"));
    QVERIFY(QFile::remove(QDir(Shots()).filePath("mygame01.jpg")));
    Copy(Picture(10, 10, Qt::white));
    Copy(Picture(10, 10, Qt::white));
    QCOMPARE(ShotNames(), (QStringList{"mygame01.jpg", "mygame02.jpg", "mygame03.jpg"}));
    QVERIFY(FUi.Events.empty());
  }

  void eachChangeIsReadWhenItIsAnnounced() {
    FCapture->JoinClipboardChain();
    // Two changes before the event loop turns: each picture once, not the last one twice.
    QGuiApplication::clipboard()->setImage(Picture(8, 8, Qt::red));
    QGuiApplication::clipboard()->setText("text in between");
    QGuiApplication::clipboard()->setImage(Picture(8, 8, Qt::blue));
    QCoreApplication::processEvents();
    QCOMPARE(ShotNames(), (QStringList{"mygame01.jpg", "mygame02.jpg"}));
    const auto first = DecodeJpegFile(QDir(Shots()).filePath("mygame01.jpg").toStdString());
    QVERIFY(first && first->Image.Pixels[0] > 200 && first->Image.Pixels[2] < 60);
  }

  void textAndEmptyClipboardSaveNothing() {
    FCapture->JoinClipboardChain();
    QGuiApplication::clipboard()->setText("not a picture");
    QCoreApplication::processEvents();
    QGuiApplication::clipboard()->clear();
    QCoreApplication::processEvents();
    QVERIFY(ShotNames().isEmpty());
    QVERIFY(!FCapture->SaveClipboardScreenShot());
  }

  void picturesBelongToTheGameOfTheRunWhateverIsSelectedMeanwhile() {
    FCapture->JoinClipboardChain();
    Copy(Picture(16, 16, Qt::red));
    FCatalogue.CurrentGame = 2;
    Copy(Picture(16, 16, Qt::red));
    FCatalogue.CurrentGame = -1;
    Copy(Picture(16, 16, Qt::red));
    QCOMPARE(ShotNames(), (QStringList{"mygame01.jpg", "mygame02.jpg", "mygame03.jpg"}));
    FCapture->LeaveClipboardChain();
    FCatalogue.CurrentGame = 2;  // the next run is the other game's
    FCapture->JoinClipboardChain();
    Copy(Picture(16, 16, Qt::red));
    QVERIFY(ShotNames().contains("other01.jpg"));
  }

  void aRepeatedAnnouncementOfTheSamePictureSavesNothingWhereAsked() {
    FCapture->SkipRepeatedPicture = true;  // as in a native Wayland session
    FCapture->JoinClipboardChain();
    Copy(Picture(16, 16, Qt::red));
    for (int focus = 0; focus < 3; ++focus) {
      emit QGuiApplication::clipboard()->dataChanged();  // the compositor re-sends the selection
      QCoreApplication::processEvents();
    }
    Copy(Picture(16, 16, Qt::blue));
    QCOMPARE(ShotNames(), (QStringList{"mygame01.jpg", "mygame02.jpg"}));
  }

  void nothingIsSavedAfterLeaving() {
    FCapture->JoinClipboardChain();
    FCapture->LeaveClipboardChain();
    Copy(Picture(16, 16, Qt::red));
    QVERIFY(ShotNames().isEmpty());
  }

  void savedFileIsABaselineColourJpegOfTheWholePicture() {
    // An odd width: rows are padded in the picture and packed for the encoder.
    QImage image(37, 21, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        image.setPixelColor(x, y, x < 18 ? QColor(250, 20, 20) : QColor(20, 20, 250));
    FCapture->JoinClipboardChain();
    Copy(image);
    const QString path = QDir(Shots()).filePath("mygame01.jpg");
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.contains(QByteArray("\xFF\xC0", 2)));   // baseline frame
    QVERIFY(!bytes.contains(QByteArray("\xFF\xC2", 2)));  // no progressive frame
    const auto picture = DecodeJpegFile(path.toStdString());
    QVERIFY(picture.has_value());
    QCOMPARE(picture->Width, 37);
    QCOMPARE(picture->Height, 21);
    const std::uint8_t* left = &picture->Image.Pixels[(10 * 37 + 4) * 3];
    const std::uint8_t* right = &picture->Image.Pixels[(10 * 37 + 32) * 3];
    QVERIFY(left[0] > 200 && left[2] < 60);
    QVERIFY(right[2] > 200 && right[0] < 60);
  }

  void transparentPictureIsLaidOnBlack() {
    QImage image(4, 2, QImage::Format_ARGB32);
    image.fill(QColor(255, 255, 255, 0));
    image.setPixelColor(0, 0, QColor(10, 200, 30, 255));
    const TRgbImage rgb = RgbImageFromQImage(image);
    QCOMPARE(rgb.Width, 4);
    QCOMPARE(rgb.Height, 2);
    QCOMPARE(rgb.Pixels.size(), std::size_t{24});
    QCOMPARE(int(rgb.Pixels[0]), 10);
    QCOMPARE(int(rgb.Pixels[1]), 200);
    QCOMPARE(int(rgb.Pixels[3]), 0);
    QCOMPARE(int(rgb.Pixels[23]), 0);
  }

  void captureThatFailsIsReportedAndTheNextOneWorks() {
    FCapture->JoinClipboardChain();
    // Wider than a JPEG can be: the encoder refuses it.
    Copy(Picture(65501, 1, Qt::red));
    QCOMPARE(FUi.Boxes.size(), std::size_t{1});
    QCOMPARE(FUi.Boxes.at(0).Type, TMsgDlgType::mtError);
    QVERIFY(ShotNames().isEmpty());
    Copy(Picture(8, 8, Qt::red));
    QCOMPARE(ShotNames(), QStringList{"mygame01.jpg"});
  }
};

QTEST_MAIN(ClipboardCaptureTest)
#include "ClipboardCaptureTest.moc"
