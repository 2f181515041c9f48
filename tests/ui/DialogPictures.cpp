// Writes a PNG of every dialog into the folder given as the argument (default: the working
// directory), so that they can be looked at on a real X server: xvfb-run ui_dialog_pictures out
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include "ui/About.h"
#include "ui/AltRomPath.h"
#include "ui/BrowseFolder.h"
#include "ui/DialogArt.h"
#include "ui/QtUserInteraction.h"
#include "ui/SetScreenShotTimer.h"

namespace {
QDir gOut;

void Save(QWidget* w, const char* name) {
  QApplication::processEvents();
  w->grab().save(gOut.filePath(QLatin1String(name) + QStringLiteral(".png")));
}

// Shows a dialog, lets it paint, grabs it and closes it.
void Shoot(QDialog& dialog, const char* name, const std::function<void()>& prepare = {}) {
  QTimer::singleShot(150, &dialog, [&] {
    if (prepare) prepare();
    Save(&dialog, name);
    dialog.reject();
  });
  dialog.exec();
}

QImage CursorSheet() {
  QImage sheet(3 * 32 * 4 + 40, 32 * 4 + 20, QImage::Format_RGB32);
  sheet.fill(QColor(200, 220, 200));
  QPainter p(&sheet);
  int x = 10;
  for (const char* name : {"MOZILLA", "MSIE", "HANDHELP"}) {
    const QCursor c = LinkCursor(name);
    QImage bits = c.bitmap().toImage().convertToFormat(QImage::Format_RGB32);
    QImage mask = c.mask().toImage().convertToFormat(QImage::Format_RGB32);
    QImage shown(32, 32, QImage::Format_ARGB32);
    for (int y = 0; y < 32; ++y)
      for (int i = 0; i < 32; ++i) {
        const bool opaque = qGray(mask.pixel(i, y)) < 128;
        const bool black = qGray(bits.pixel(i, y)) < 128;
        shown.setPixel(i, y,
                       !opaque ? qRgba(0, 0, 0, 0)
                       : black ? qRgb(0, 0, 0)
                               : qRgb(255, 255, 255));
      }
    p.drawImage(QRect(x, 10, 128, 128), shown);
    x += 128 + 10;
  }
  return sheet;
}
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  gOut = QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());
  gOut.mkpath(QStringLiteral("."));

  TAboutBox about;
  AboutVersion = "0.9.1";
  Shoot(about, "about");

  TSetScreenShotTimerForm timer;
  TimerSeconds = 5;
  Shoot(timer, "timer");

  TAltrompathForm altrom;
  ZipRompathValue = QDir::toNativeSeparators(QDir::homePath()).toStdString();
  Shoot(altrom, "altrompath");

  TBrowseFolder browser;
  browser.Title = QStringLiteral("Select alternative rompath");
  browser.ShowPathInStatusArea = true;
  browser.Directory = QDir::toNativeSeparators(QDir::tempPath()).toStdString();
  browser.OnInitialized = [](TBrowseFolder&, QDialog* dialog) {
    QTimer::singleShot(400, dialog, [dialog] {
      Save(dialog, "browsefolder");
      dialog->reject();
    });
  };
  browser.Execute();
  browser.CustomButtonVisible = true;
  browser.CustomButtonType = btCheckBox;
  browser.SetCustomButtonCaption(QStringLiteral("Include subfolders"));
  browser.SetCustomButtonWidth(130);
  browser.OnInitialized = [](TBrowseFolder&, QDialog* dialog) {
    QTimer::singleShot(400, dialog, [dialog] {
      Save(dialog, "browsefolder_custom");
      dialog->reject();
    });
  };
  browser.Execute();

  int n = 0;
  TQtUserInteraction::BoxShownHook = [&n](QMessageBox* box) {
    QTimer::singleShot(100, box, [box, &n] {
      Save(box, ("box" + std::to_string(++n)).c_str());
      box->buttons().first()->click();
    });
  };
  TQtUserInteraction ui;
  ui.MessageDlg("/home/user/roms/\ris NOT a vallid directory !", TMsgDlgType::mtError, mbOK);
  ui.MessageDlg("Found 3 new games.", TMsgDlgType::mtInformation, mbOK);
  ui.MessageDlg("Delete screenshot mygame03.jpg?", TMsgDlgType::mtConfirmation, mbYes | mbNo);
  ui.MessageDlg("velk.exe not found!", TMsgDlgType::mtError, mbCancel);
  ui.ShowMessage("Archive mygame.zip is damaged");

  CursorSheet().save(gOut.filePath(QStringLiteral("cursors.png")));
  QImage art(240, 60, QImage::Format_RGB32);
  art.fill(QColor(212, 208, 200));
  {
    QPainter p(&art);
    p.drawPixmap(5, 8, FrontendLogo());
    p.drawPixmap(110, 6, EmulatorLogo());
    p.drawPixmap(212, 16, ClockPicture());
  }
  art.save(gOut.filePath(QStringLiteral("art.png")));
  return 0;
}
