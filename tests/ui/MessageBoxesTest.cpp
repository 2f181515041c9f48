#include <unistd.h>

#include <QAbstractButton>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include "DialogTestUtil.h"
#include "ui/FontScale.h"
#include "ui/QtUserInteraction.h"
#include "ui/StartUtils.h"

namespace {
struct TSeenBox {
  QString Caption;
  QString Text;
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
  QStringList Buttons;
  QString DefaultButton;
  QString EscapeButton;
  QPoint Centre;
  QPoint ScreenCentre;
};

// Records the box and presses the button with the given text (none: closes it like Escape).
TSeenBox gSeen;
void AnswerWith(const QString& press) {
  TQtUserInteraction::BoxShownHook = [press](QMessageBox* box) {
    gSeen = TSeenBox();
    gSeen.Caption = box->windowTitle();
    gSeen.Text = box->text();
    gSeen.Icon = box->icon();
    for (QAbstractButton* b : box->buttons()) gSeen.Buttons << b->text();
    gSeen.Buttons.sort();
    if (box->defaultButton()) gSeen.DefaultButton = box->defaultButton()->text();
    if (box->escapeButton()) gSeen.EscapeButton = box->escapeButton()->text();
    gSeen.Centre = box->frameGeometry().center();
    gSeen.ScreenCentre = box->screen()->availableGeometry().center();
    for (QAbstractButton* b : box->buttons())
      if (b->text() == press) {
        b->click();
        return;
      }
    box->close();  // the close box
  };
}

class TUrlRecorder : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> Urls;
 public slots:
  void Open(const QUrl& url) { Urls << url; }
};
}  // namespace

class MessageBoxesTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { TQtUserInteraction::BoxShownHook = nullptr; }

  void ErrorBoxWithOk() {
    TQtUserInteraction ui;
    AnswerWith(QStringLiteral("OK"));
    QCOMPARE(ui.MessageDlg("Disk full", TMsgDlgType::mtError, mbOK), TModalResult::mrOk);
    QCOMPARE(gSeen.Caption, QStringLiteral("Error"));
    QCOMPARE(gSeen.Icon, QMessageBox::Critical);
    QCOMPARE(gSeen.Buttons, QStringList{QStringLiteral("OK")});
    QCOMPARE(gSeen.Text, QStringLiteral("Disk full"));
    // Centred on the screen, give or take the rounding of the halves.
    QVERIFY((gSeen.Centre - gSeen.ScreenCentre).manhattanLength() <= 2);
  }

  void ErrorBoxWithCancelAlone() {
    TQtUserInteraction ui;
    AnswerWith(QStringLiteral("Cancel"));
    QCOMPARE(ui.MessageDlg("velk.exe not found", TMsgDlgType::mtError, mbCancel),
             TModalResult::mrCancel);
    QCOMPARE(gSeen.Buttons, QStringList{QStringLiteral("Cancel")});
    QCOMPARE(gSeen.EscapeButton, QStringLiteral("Cancel"));
  }

  void InformationBox() {
    TQtUserInteraction ui;
    AnswerWith(QStringLiteral("OK"));
    QCOMPARE(ui.MessageDlg("3 new games", TMsgDlgType::mtInformation, mbOK), TModalResult::mrOk);
    QCOMPARE(gSeen.Caption, QStringLiteral("Information"));
    QCOMPARE(gSeen.Icon, QMessageBox::Information);
  }

  void ConfirmationYesNo() {
    TQtUserInteraction ui;
    AnswerWith(QStringLiteral("&Yes"));
    QCOMPARE(ui.MessageDlg("Delete?", TMsgDlgType::mtConfirmation, mbYes | mbNo),
             TModalResult::mrYes);
    QCOMPARE(gSeen.Caption, QStringLiteral("Confirm"));
    QCOMPARE(gSeen.Icon, QMessageBox::Question);
    QCOMPARE(gSeen.Buttons, (QStringList{QStringLiteral("&No"), QStringLiteral("&Yes")}));
    QCOMPARE(gSeen.DefaultButton, QStringLiteral("&No"));  // Enter never deletes
    AnswerWith(QStringLiteral("&No"));
    QCOMPARE(ui.MessageDlg("Delete?", TMsgDlgType::mtConfirmation, mbYes | mbNo),
             TModalResult::mrNo);
    // The close box says No, never Yes.
    AnswerWith(QString());
    QCOMPARE(ui.MessageDlg("Delete?", TMsgDlgType::mtConfirmation, mbYes | mbNo),
             TModalResult::mrNo);
  }

  void EscapeKeyAnswersTheWayOut() {
    TQtUserInteraction ui;
    TQtUserInteraction::BoxShownHook = [](QMessageBox* box) {
      QTest::keyClick(box, Qt::Key_Escape);
    };
    QCOMPARE(ui.MessageDlg("Delete?", TMsgDlgType::mtConfirmation, mbYes | mbNo),
             TModalResult::mrNo);
    QCOMPARE(ui.MessageDlg("Stop", TMsgDlgType::mtError, mbCancel), TModalResult::mrCancel);
    QCOMPARE(ui.MessageDlg("Done", TMsgDlgType::mtInformation, mbOK), TModalResult::mrOk);
    // Enter presses the first button, except on a question, where it says No: never a deletion.
    TQtUserInteraction::BoxShownHook = [](QMessageBox* box) {
      QTest::keyClick(box, Qt::Key_Return);
    };
    QCOMPARE(ui.MessageDlg("Stop", TMsgDlgType::mtError, mbOK | mbCancel), TModalResult::mrOk);
    QCOMPARE(ui.MessageDlg("Delete?", TMsgDlgType::mtConfirmation, mbYes | mbNo),
             TModalResult::mrNo);
  }

  void HourglassNestsAndBoxesShowTheArrow() {
    TQtUserInteraction ui;
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    ui.SetBusy(true);
    ui.SetBusy(true);
    QVERIFY(QGuiApplication::overrideCursor());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    Qt::CursorShape duringBox = Qt::BlankCursor;
    TQtUserInteraction::BoxShownHook = [&](QMessageBox* box) {
      const QCursor* cursor = QGuiApplication::overrideCursor();
      duringBox = cursor ? cursor->shape() : Qt::BlankCursor;
      box->buttons().front()->click();
    };
    ui.ShowMessage("Seek error in input file");
    QCOMPARE(duringBox, Qt::ArrowCursor);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    ui.SetBusy(false);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);  // the outer one
    ui.SetBusy(false);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    ui.SetBusy(false);  // one too many takes down nobody else's cursor
    QGuiApplication::setOverrideCursor(Qt::CrossCursor);
    ui.SetBusy(false);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
    QGuiApplication::restoreOverrideCursor();
    // Without the hourglass a box leaves the cursor alone.
    ui.ShowMessage("Done");
    QCOMPARE(duringBox, Qt::BlankCursor);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
  }

  void CarriageReturnBreaksTheLine() {
    TQtUserInteraction ui;
    AnswerWith(QStringLiteral("OK"));
    ui.MessageDlg("C:\\roms\\\ris NOT a vallid directory !", TMsgDlgType::mtError, mbOK);
    QCOMPARE(gSeen.Text, QStringLiteral("C:\\roms\\\nis NOT a vallid directory !"));
    QCOMPARE(TQtUserInteraction::BoxText("a\r\nb\rc"), QStringLiteral("a\nb\nc"));
  }

  void TextsAreShownInTheirEncoding() {
    QCOMPARE(TQtUserInteraction::BoxText("Caf\xC3\xA9"), QStringLiteral("Caf\u00E9"));
    QCOMPARE(TQtUserInteraction::BoxText("Caf\xE9 \x80"), QStringLiteral("Caf\u00E9 \u20AC"));
    // Markup in a file name is shown as it stands.
    TQtUserInteraction ui;
    AnswerWith(QStringLiteral("OK"));
    ui.ShowMessage("<b>x</b>");
    QCOMPARE(gSeen.Text, QStringLiteral("<b>x</b>"));
  }

  void PlainBox() {
    TQtUserInteraction ui;
    AnswerWith(QStringLiteral("OK"));
    ui.ShowMessage("Archive damaged");
    QCOMPARE(gSeen.Caption, QStringLiteral("StartVELK"));
    QCOMPARE(gSeen.Icon, QMessageBox::NoIcon);
    QCOMPARE(gSeen.Buttons, QStringList{QStringLiteral("OK")});
  }

  void StatusTextGoesToTheHooks() {
    TQtUserInteraction ui;
    ui.SetStatusText("ignored without a window");
    QStringList seen;
    ui.OnSetStatusText = [&](const std::string& t) { seen << QString::fromStdString(t); };
    ui.OnResetStatusText = [&] { seen << QStringLiteral("<reset>"); };
    ui.SetStatusText("Extracting a.rom");
    ui.ResetStatusText();
    QCOMPARE(seen, (QStringList{QStringLiteral("Extracting a.rom"), QStringLiteral("<reset>")}));
  }

  void WaitEndsWhenTheDescriptorIsReadable() {
    int fds[2];
    QVERIFY(::pipe(fds) == 0);
    TQtUserInteraction ui;
    bool dispatched = false;
    // Events keep arriving while it waits; the writer runs as one of them.
    QTimer::singleShot(10, [&] { dispatched = true; });
    QTimer::singleShot(30, [&] { QVERIFY(::write(fds[1], "x", 1) == 1); });
    QVERIFY(ui.WaitDispatching(fds[0]));
    QVERIFY(dispatched);
    // A descriptor that is readable already returns at once.
    QVERIFY(ui.WaitDispatching(fds[0]));
    ::close(fds[0]);
    ::close(fds[1]);
  }

  void WaitEndsWhenQuitIsRequested() {
    int fds[2];
    QVERIFY(::pipe(fds) == 0);
    TQtUserInteraction ui;
    QVERIFY(!ui.QuitRequested());
    QTimer::singleShot(20, [&] { ui.RequestQuit(); });
    QVERIFY(!ui.WaitDispatching(fds[0]));
    QVERIFY(ui.QuitRequested());
    QVERIFY(!ui.WaitDispatching(fds[0]));  // no sleep once the program is ending
    ::close(fds[0]);
    ::close(fds[1]);
    QVERIFY(!ui.WaitDispatching(-1));
  }

  void ShellOpenTargets() {
    QTemporaryDir dir;
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QFile readme(dir.filePath(QStringLiteral("readme.txt")));
    QVERIFY(readme.open(QIODevice::WriteOnly));
    readme.close();
    // Found without regard to letter case, relative to the working directory.
    QCOMPARE(ShellOpenUrl("Readme.txt"),
             QUrl::fromLocalFile(dir.filePath(QStringLiteral("readme.txt"))));
    QCOMPARE(ShellOpenUrl("http://velk.example.org/"),
             QUrl(QStringLiteral("http://velk.example.org/")));
    QCOMPARE(ShellOpenUrl("mailto:a@example.org"), QUrl(QStringLiteral("mailto:a@example.org")));
    QCOMPARE(ShellOpenUrl("www.example.org"), QUrl(QStringLiteral("http://www.example.org")));
    QCOMPARE(ShellOpenUrl("Missing.txt"),
             QUrl::fromLocalFile(dir.filePath(QStringLiteral("Missing.txt"))));

    TUrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "Open");
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "Open");
    ShellOpen("www.example.org");
    ShellOpen("readme.txt");
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QDir::setCurrent(old);
    QCOMPARE(recorder.Urls.size(), 2);
    QCOMPARE(recorder.Urls[0], QUrl(QStringLiteral("http://www.example.org")));
  }

  void FontScaling() {
    QCOMPARE(FontScaleFactor(96, 40), 1);   // at 96 pixels per inch nothing changes
    QCOMPARE(FontScaleFactor(120, 14), 1);  // 11 to 21 pixels keep the fonts
    QCOMPARE(FontScaleFactor(120, 21), 1);
    QCOMPARE(FontScaleFactor(192, 22), 2);
    QCOMPARE(FontScaleFactor(72, 8), 1);  // a small form font never shrinks the fonts to nothing
    QWidget form;
    QFont formFont = form.font();
    formFont.setPixelSize(22);
    form.setFont(formFont);
    auto* label = new QLabel(QStringLiteral("x"), &form);
    auto* inner = new QLabel(QStringLiteral("y"), label);
    QFont f = label->font();
    f.setPixelSize(13);
    label->setFont(f);
    inner->setFont(f);
    ScaleFonts(&form, 96);
    QCOMPARE(label->font().pixelSize(), 13);
    ScaleFonts(&form, 192);
    QCOMPARE(label->font().pixelSize(), 26);
    QCOMPARE(inner->font().pixelSize(), 13);  // only controls placed directly on the form
    // Showing a dialog again never compounds the scaling.
    ScaleFonts(&form, 192);
    QCOMPARE(label->font().pixelSize(), 26);
    ScaleFonts(&form);  // this screen: 96 pixels per inch, nothing changes
    QCOMPARE(label->font().pixelSize(), 26);
  }
};

QTEST_MAIN(MessageBoxesTest)
#include "MessageBoxesTest.moc"
