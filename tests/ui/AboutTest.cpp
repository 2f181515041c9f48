#include <QBitmap>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include "DialogTestUtil.h"
#include "ui/About.h"
#include "ui/DialogArt.h"
#include "ui/LumoraURLLabel.h"
#include "ui/StartUtils.h"

namespace {
const QColor kBlue(0, 0, 255), kRed(255, 0, 0), kPurple(128, 0, 128);

class TUrlRecorder : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> Urls;
 public slots:
  void Open(const QUrl& url) { Urls << url; }
};

void Enter(QWidget* w) {
  QEnterEvent e(QPointF(2, 2), QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)));
  QCoreApplication::sendEvent(w, &e);
}
void Leave(QWidget* w) {
  QEvent e(QEvent::Leave);
  QCoreApplication::sendEvent(w, &e);
}
void Mouse(QWidget* w, QEvent::Type type, Qt::MouseButton button, QPoint at,
           Qt::MouseButtons held) {
  QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}
void Press(QWidget* w, Qt::MouseButton b = Qt::LeftButton) {
  Mouse(w, QEvent::MouseButtonPress, b, QPoint(2, 2), b);
}
void Release(QWidget* w, Qt::MouseButton b = Qt::LeftButton, QPoint at = QPoint(2, 2)) {
  Mouse(w, QEvent::MouseButtonRelease, b, at, Qt::NoButton);
}
void DragTo(QWidget* w, QPoint at) {
  Mouse(w, QEvent::MouseMove, Qt::NoButton, at, Qt::LeftButton);
}

QImage Picture(const QCursor& c) {
  return c.bitmap().toImage();
}
}  // namespace

class AboutTest : public QObject {
  Q_OBJECT

 private:
  TUrlRecorder FRecorder;

 private slots:
  void initTestCase() {
    for (const char* scheme : {"http", "https", "mailto"})
      QDesktopServices::setUrlHandler(QLatin1String(scheme), &FRecorder, "Open");
  }
  void cleanupTestCase() {
    for (const char* scheme : {"http", "https", "mailto"})
      QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
  }
  void init() { FRecorder.Urls.clear(); }

  void LayoutAndTexts() {
    TAboutBox box;
    QCOMPARE(box.windowTitle(), QStringLiteral("About StartVELK"));
    QCOMPARE(box.size(), QSize(229, 229));
    QCOMPARE(box.Bevel1->geometry(), QRect(8, 8, 216, 177));
    QCOMPARE(box.Image1->geometry(), QRect(65, 16, 99, 43));
    QCOMPARE(box.Image2->geometry(), QRect(65, 110, 99, 47));
    QVERIFY(box.Image1->pixmap().isNull());  // painted when first shown
    QCOMPARE(box.versionlabel->text(), QStringLiteral("0.9.1"));
    QCOMPARE(box.versionlabel->geometry().topLeft(), QPoint(16, 58));
    QCOMPARE(box.versionlabel->width(), 201);
    QCOMPARE(box.Label1->text(), QStringLiteral("by"));
    QCOMPARE(box.Label1->pos(), QPoint(80, 72));
    QCOMPARE(box.FrontendAuthorLabel->pos(), QPoint(96, 72));
    QVERIFY(box.FrontendAuthorLabel->Url.startsWith(QLatin1String("mailto:")));
    QVERIFY(box.FrontendAuthorLabel->Url.endsWith(QLatin1String("?subject=StartVELK")));
    QCOMPARE(box.FrontendAuthorLabel->CursorMouseOver(), crMozilla);
    QCOMPARE(box.Label2->text(), QStringLiteral("is a freeware frontend for"));
    QCOMPARE(QFontInfo(box.Label2->font()).pixelSize(), 13);
    QCOMPARE(box.Label2->palette().color(QPalette::WindowText), kBlue);
    QCOMPARE(box.Label4->pos(), QPoint(24, 160));
    QCOMPARE(box.EmuAuthorLabel->pos(), QPoint(40, 160));
    QCOMPARE(box.EmuAuthorLabel->CursorMouseOver(), crMSIE);
    QCOMPARE(box.Label3->text(), QStringLiteral("&"));
    QCOMPARE(box.Label3->pos(), QPoint(120, 160));
    QCOMPARE(box.LumoraURLLabel1->pos(), QPoint(136, 160));
    QCOMPARE(box.LumoraURLLabel1->CursorMouseOver(), crMSIE);
    for (TLumoraURLLabel* l : {box.FrontendAuthorLabel, box.EmuAuthorLabel, box.LumoraURLLabel1}) {
      QVERIFY(l->font().underline());
      QCOMPARE(QFontInfo(l->font()).pixelSize(), 11);
      QCOMPARE(l->FontColor(), kBlue);
      QCOMPARE(l->PopupString(), QStringLiteral("Copy Link Location"));
      QVERIFY(l->Url.startsWith(QLatin1String("mailto:")));
      QVERIFY(l->Url.contains(QLatin1String("example.org")));
      // The slot holds the cursor loaded last, so all three show the second cursor.
      QCOMPARE(Picture(l->cursor()), Picture(LinkCursor("MSIE")));
      QVERIFY(l->geometry().right() < box.Bevel1->geometry().right());
    }
    QCOMPARE(box.OKBtn->geometry(), QRect(65, 192, 100, 33));
    QVERIFY(box.OKBtn->isDefault());
    box.show();
    QCOMPARE(box.Image1->pixmap().size(), QSize(100, 43));
    QCOMPARE(box.Image2->pixmap().size(), QSize(100, 47));
    box.hide();
  }

  void VersionComesFromTheCallerAtEveryShowing() {
    TAboutBox box;
    QCOMPARE(TAboutBox::Instance(), &box);
    QString seen;
    WhenModal([&](QWidget* dialog) {
      seen = dialog->findChild<QLabel*>(QStringLiteral("versionlabel"))->text();
      dialog->findChild<QPushButton*>(QStringLiteral("OKBtn"))->click();
    });
    ShowAbout("1.2.3");
    QCOMPARE(seen, QStringLiteral("1.2.3"));
    QCOMPARE(AboutVersion, std::string("1.2.3"));
    seen.clear();
    WhenModal([&](QWidget* dialog) {
      seen = dialog->findChild<QLabel*>(QStringLiteral("versionlabel"))->text();
      QTest::keyClick(dialog, Qt::Key_Return);
    });
    ShowAbout("1.2.3");
    QCOMPARE(seen, QStringLiteral("1.2.3"));
  }

  // The program's box is made on first use, for the main window, and the same one comes again.
  void TheKeptBoxIsMadeForItsOwnerOnFirstUse() {
    QWidget owner;
    SetDialogOwner(&owner);
    QVERIFY(!TAboutBox::Instance());
    QList<QWidget*> shown;
    WhenModal([&](QWidget* dialog) {
      shown << dialog;
      dialog->findChild<QPushButton*>(QStringLiteral("OKBtn"))->click();
    });
    ShowAbout("1.2.3");
    WhenModal([&](QWidget* dialog) {
      shown << dialog;
      dialog->findChild<QPushButton*>(QStringLiteral("OKBtn"))->click();
    });
    ShowAbout("1.2.3");
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0], shown[1]);
    QCOMPARE(shown[0]->parentWidget(), &owner);
    SetDialogOwner(nullptr);
  }

  void LabelDefaults() {
    TLumoraURLLabel label;
    QCOMPARE(label.ColorMouseOver, kRed);
    QCOMPARE(label.ColorActive, kPurple);
    QCOMPARE(label.NormalColor(), kBlue);
    QCOMPARE(label.FontColor(), kBlue);
    QVERIFY(label.font().underline());
    QCOMPARE(label.PopupString(), QStringLiteral("Copy Link Location"));
    QCOMPARE(label.CursorMouseOver(), crMozilla);
    QVERIFY(!label.Url.isEmpty());
    QVERIFY(!label.MouseOver());
    QVERIFY(!label.MouseDown());
    QCOMPARE(label.PopupMenu()->actions().size(), 1);
    QCOMPARE(label.PopupMenu()->actions()[0]->objectName(), QStringLiteral("MenuItem"));
    QCOMPARE(Picture(label.cursor()), Picture(LinkCursor("MOZILLA")));
    label.SetPopupString(QStringLiteral("Copy"));
    QCOMPARE(label.PopupMenu()->actions()[0]->text(), QStringLiteral("Copy"));
  }

  void CursorSlotIsShared() {
    TLumoraURLLabel first, second;
    QCOMPARE(first.cursor().shape(), Qt::BitmapCursor);
    second.SetCursorMouseOver(crHandHelp);
    QCOMPARE(Picture(first.cursor()), Picture(LinkCursor("HANDHELP")));
    first.SetCursorMouseOver(crDefaultCursor);
    QCOMPARE(first.cursor().shape(), Qt::ArrowCursor);
    second.SetCursorMouseOver(crMSIE);
    QCOMPARE(first.cursor().shape(), Qt::ArrowCursor);  // left the slot
    QCOMPARE(Picture(second.cursor()), Picture(LinkCursor("MSIE")));
    // The three pictures differ from each other.
    QVERIFY(Picture(LinkCursor("MOZILLA")) != Picture(LinkCursor("MSIE")));
    QVERIFY(Picture(LinkCursor("MSIE")) != Picture(LinkCursor("HANDHELP")));
    QCOMPARE(LinkCursor("MOZILLA").bitmap().size(), QSize(32, 32));
    // On a screen of twice the density: the same picture in twice the pixels, the same hot spot.
    const QCursor dense = LinkCursor("MOZILLA", 2);
    QCOMPARE(dense.pixmap().size(), QSize(64, 64));
    QCOMPARE(dense.pixmap().devicePixelRatio(), 2.0);
    QCOMPARE(dense.hotSpot(), LinkCursor("MOZILLA").hotSpot());
    const QImage mask = LinkCursor("MOZILLA").mask().toImage();
    const QImage big = dense.pixmap().toImage();
    for (int y = 0; y < 32; y += 3)
      for (int x = 0; x < 32; x += 3)
        QCOMPARE(qAlpha(big.pixel(2 * x + 1, 2 * y + 1)) != 0, mask.pixelIndex(x, y) != 0);
  }

  void MouseSequences() {
    TLumoraURLLabel label;
    label.setText(QStringLiteral("link"));
    label.resize(60, 16);
    label.Url = QStringLiteral("http://velk.example.org/a");
    label.BrowserCommandSource = [] { return std::string(); };
    int clicks = 0;
    connect(&label, &TLumoraURLLabel::OnClick, [&] { ++clicks; });

    Enter(&label);
    QCOMPARE(label.FontColor(), kRed);
    Leave(&label);
    QCOMPARE(label.FontColor(), kBlue);

    // Press and release on the label: active colour, then the link opens.
    Enter(&label);
    Press(&label);
    QCOMPARE(label.FontColor(), kPurple);
    Release(&label);
    QCOMPARE(label.FontColor(), kRed);
    QCOMPARE(FRecorder.Urls, QList<QUrl>{QUrl(label.Url)});
    QCOMPARE(clicks, 1);

    // Press, drag off, release: normal colour as it leaves, nothing opens.
    Press(&label);
    QCOMPARE(label.FontColor(), kPurple);
    DragTo(&label, QPoint(200, 200));
    QCOMPARE(label.FontColor(), kBlue);
    Release(&label, Qt::LeftButton, QPoint(200, 200));
    QCOMPARE(label.FontColor(), kBlue);
    QCOMPARE(FRecorder.Urls.size(), 1);
    QCOMPARE(clicks, 1);

    // Back on the label while held: active again, and the release opens.
    Press(&label);
    DragTo(&label, QPoint(200, 200));
    DragTo(&label, QPoint(3, 3));
    QCOMPARE(label.FontColor(), kPurple);
    Release(&label);
    QCOMPARE(FRecorder.Urls.size(), 2);
    Leave(&label);

    // A press without a prior enter counts as hovering; the right button never opens.
    Press(&label, Qt::RightButton);
    QVERIFY(label.MouseOver());
    QVERIFY(!label.MouseDown());
    QCOMPARE(label.FontColor(), kRed);
    Release(&label, Qt::RightButton);
    QCOMPARE(FRecorder.Urls.size(), 2);
  }

  void PopupResetsAndCopies() {
    TLumoraURLLabel label;
    label.resize(60, 16);
    label.Url = QStringLiteral("mailto:core@velk.example.org");
    Enter(&label);
    Press(&label);
    QCOMPARE(label.FontColor(), kPurple);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(2, 2), label.mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(&label, &menu);
    QVERIFY(label.PopupMenu()->isVisible());
    QVERIFY(!label.MouseOver());
    QVERIFY(!label.MouseDown());
    QCOMPARE(label.FontColor(), kBlue);
    QCOMPARE(label.PopupMenu()->actions().size(), 1);
    QCOMPARE(label.PopupMenu()->actions()[0]->text(), QStringLiteral("Copy Link Location"));
    label.PopupMenu()->actions()[0]->trigger();
    label.PopupMenu()->close();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("mailto:core@velk.example.org"));
  }

  void KeyboardOpensAndOffersTheCopy() {
    TLumoraURLLabel label;
    label.resize(60, 16);
    label.Url = QStringLiteral("mailto:core@velk.example.org");
    label.BrowserCommandSource = [] { return std::string(); };
    QCOMPARE(label.focusPolicy(), Qt::StrongFocus);
    int clicks = 0;
    connect(&label, &TLumoraURLLabel::OnClick, this, [&] { ++clicks; });
    QTest::keyClick(&label, Qt::Key_Return);
    QTest::keyClick(&label, Qt::Key_Space);
    QCOMPARE(FRecorder.Urls, QList<QUrl>({QUrl(label.Url), QUrl(label.Url)}));
    QCOMPARE(clicks, 2);
    QTest::keyClick(&label, Qt::Key_F10, Qt::ShiftModifier);
    QVERIFY(label.PopupMenu()->isVisible());
    QCOMPARE(label.PopupMenu()->activeAction(), label.PopupMenu()->actions()[0]);
    label.PopupMenu()->close();
  }

  void BrowserCommandBranches() {
    QCOMPARE(GetBrowserCommand(), std::string());  // no registry here

    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("opened.txt"));
    const QString program = dir.filePath(QStringLiteral("fakebrowser"));
    {
      QFile f(program);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(QStringLiteral("#!/bin/sh\nprintf '%s|' \"$@\" > '%1.tmp' && mv '%1.tmp' '%1'\n")
                  .arg(out)
                  .toUtf8());
      f.close();
      f.setPermissions(f.permissions() | QFile::ExeOwner);
    }
    TLumoraURLLabel label;
    label.Url = QStringLiteral("http://velk.example.org/x");

    // A bare program path, "%1" removed: the program gets Url as its parameter.
    label.BrowserCommandSource = [&] { return program.toStdString() + "%1"; };
    label.OpenLink();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 10000);
    QFile result(out);
    QVERIFY(result.open(QIODevice::ReadOnly));
    QCOMPARE(result.readAll(), QByteArray("http://velk.example.org/x|"));
    QVERIFY(FRecorder.Urls.isEmpty());

    // Quotes or further arguments: Url goes to the desktop.
    QFile::remove(out);
    label.BrowserCommandSource = [&] { return "\"" + program.toStdString() + "\" \"%1\""; };
    label.OpenLink();
    label.BrowserCommandSource = [&] { return program.toStdString() + " -new-window %1"; };
    label.OpenLink();
    QCOMPARE(FRecorder.Urls.size(), 2);
    QCOMPARE(FRecorder.Urls[0], QUrl(label.Url));
    QTest::qWait(200);
    QVERIFY(!QFile::exists(out));
  }
};

QTEST_MAIN(AboutTest)
#include "AboutTest.moc"
