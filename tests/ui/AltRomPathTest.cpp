#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include "DialogTestUtil.h"
#include "platform/Files.h"
#include "ui/AltRomPath.h"
#include "ui/BrowseFolder.h"
#include "ui/QtUserInteraction.h"

namespace {
const std::string kSep(1, platform::PathDelim);

std::string Native(const QString& path) {
  return QDir::toNativeSeparators(path).toStdString();
}

void Touch(const QString& path) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write("PK\x05\x06", 4);
}

QPushButton* Button(QWidget* dialog, const char* name) {
  return dialog->findChild<QPushButton*>(QLatin1String(name));
}
}  // namespace

class AltRomPathTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir FDir;
  std::string Path(const char* relative = "") const {
    return Native(relative[0] ? FDir.filePath(QLatin1String(relative)) : FDir.path());
  }

 private slots:
  void init() {
    QVERIFY(FDir.isValid());
    QDir(FDir.path()).mkpath(QStringLiteral("roms"));
    QDir(FDir.path()).mkpath(QStringLiteral("empty"));
    QDir(FDir.path()).mkpath(QStringLiteral("dironly/fake.zip"));
    QDir(FDir.path()).mkpath(QStringLiteral("Upper"));
    QDir(FDir.path()).mkpath(QStringLiteral("mixed/a.zip"));
    Touch(FDir.filePath(QStringLiteral("roms/a.zip")));
    Touch(FDir.filePath(QStringLiteral("empty/readme.txt")));
    Touch(FDir.filePath(QStringLiteral("Upper/GAME.ZIP")));
    Touch(FDir.filePath(QStringLiteral("plain.txt")));
    Touch(FDir.filePath(QStringLiteral("mixed/b.zip")));
  }
  void cleanup() { TQtUserInteraction::BoxShownHook = nullptr; }

  void LayoutAndTexts() {
    TAltrompathForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Zip Rompath"));
    QCOMPARE(form.size(), QSize(313, 102));
    QCOMPARE(form.LabelSetAlternativeRompath->text(),
             QStringLiteral("Set path to your zipped roms:"));
    QCOMPARE(form.LabelSetAlternativeRompath->pos(), QPoint(8, 8));
    QCOMPARE(form.AltDir->geometry(), QRect(8, 24, 209, 21));
    QCOMPARE(form.BrowseButton->geometry(), QRect(232, 24, 75, 25));
    QCOMPARE(form.BrowseButton->text(), QStringLiteral("Browse ..."));
    QCOMPARE(form.OKButton->geometry(), QRect(64, 64, 75, 25));
    QVERIFY(form.OKButton->isDefault());
    QCOMPARE(form.CancelButton->geometry(), QRect(176, 64, 75, 25));
    QVERIFY(!(form.windowFlags() & Qt::WindowMinMaxButtonsHint));
    QCOMPARE(form.Browser->Title, QStringLiteral("Select alternative rompath"));
    QCOMPARE(form.Browser->Flags, TBrowseInfoFlags(bfFileSysDirsOnly | bfStatusText));
    QVERIFY(form.Browser->ShowPathInStatusArea);
    QVERIFY(!form.Browser->CustomButtonEnabled());
    QVERIFY(!form.Browser->CustomButtonVisible);
    QVERIFY(!form.Browser->SyncCustomButton);
  }

  // The cases of the OK button, each on a shown dialog with a recording user interface.
  void OkButtonCases() {
    TRecordingInteraction ui;
    TAltrompathForm form(nullptr, &ui);
    ZipRompathValue = "before";
    form.show();
    QCOMPARE(form.AltDir->text(), QStringLiteral("before"));

    // Empty: the zip ROM path is cleared and the dialog closes.
    form.AltDir->clear();
    form.OKButtonClick();
    QCOMPARE(ZipRompathValue, std::string());
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QVERIFY(ui.Boxes.empty());

    // Missing path and a file: refused, beep first, field unchanged, dialog open.
    ZipRompathValue = "kept";
    for (const std::string& bad : {Path("nope"), Path("plain.txt")}) {
      form.show();
      form.setResult(0);
      ui.Boxes.clear();
      ui.Events.clear();
      form.AltDir->setText(QString::fromStdString(bad));
      form.OKButtonClick();
      QCOMPARE(ui.Boxes.size(), std::size_t(1));
      QCOMPARE(ui.Boxes[0].Text, bad + "\ris NOT a vallid directory !");
      QCOMPARE(ui.Boxes[0].Type, TMsgDlgType::mtError);
      QCOMPARE(ui.Boxes[0].Buttons, TMsgDlgButtons(mbOK));
      QCOMPARE(ui.Events, (std::vector<std::string>{"beep", "box"}));
      QCOMPARE(form.AltDir->text().toStdString(), bad);
      QVERIFY(form.isVisible());
      QCOMPARE(form.result(), 0);
      QCOMPARE(ZipRompathValue, std::string("kept"));
    }

    // A folder without zips: the separator is appended and stays; the message shows it.
    ui.Boxes.clear();
    form.AltDir->setText(QString::fromStdString(Path("empty")));
    form.OKButtonClick();
    QCOMPARE(form.AltDir->text().toStdString(), Path("empty") + kSep);
    QCOMPARE(ui.Boxes.size(), std::size_t(1));
    QCOMPARE(ui.Boxes[0].Text, Path("empty") + kSep + "\rdoes not contain any zipfiles!");
    QVERIFY(form.isVisible());

    // A folder whose only match of *.zip is a folder.
    ui.Boxes.clear();
    form.AltDir->setText(QString::fromStdString(Path("dironly") + kSep));
    form.OKButtonClick();
    QCOMPARE(ui.Boxes.size(), std::size_t(1));
    QCOMPARE(ui.Boxes[0].Text, Path("dironly") + kSep + "\rdoes not contain any zipfiles!");
    QCOMPARE(ZipRompathValue, std::string("kept"));

    // A folder with a.zip: accepted with its final separator.
    ui.Boxes.clear();
    form.AltDir->setText(QString::fromStdString(Path("roms")));
    form.OKButtonClick();
    QVERIFY(ui.Boxes.empty());
    QCOMPARE(ZipRompathValue, Path("roms") + kSep);
    QCOMPARE(form.result(), int(QDialog::Accepted));

    // Archives are found without regard to the letter case of their names.
    form.show();
    form.AltDir->setText(QString::fromStdString(Path("Upper")));
    form.OKButtonClick();
    QVERIFY(ui.Boxes.empty());
    QCOMPARE(ZipRompathValue, Path("Upper") + kSep);

    // A folder named like an archive beside a real one: accepted whatever the listing order.
    form.show();
    form.AltDir->setText(QString::fromStdString(Path("mixed")));
    form.OKButtonClick();
    QVERIFY(ui.Boxes.empty());
    QCOMPARE(ZipRompathValue, Path("mixed") + kSep);
  }

  void ControlCharactersAreRefusedEvenForARealFolder() {
    // A line break would split the value in the settings file, so even a folder that exists
    // under such a name, with an archive, is no zip ROM path.
    QVERIFY(QDir(FDir.path()).mkpath(QStringLiteral("line\nbreak")));
    Touch(FDir.filePath(QStringLiteral("line\nbreak/a.zip")));
    TRecordingInteraction ui;
    TAltrompathForm form(nullptr, &ui);
    ZipRompathValue = "kept";
    form.show();
    const std::string bad = Path("line\nbreak");
    form.AltDir->setText(QString::fromStdString(bad));
    form.OKButtonClick();
    QCOMPARE(ui.Boxes.size(), std::size_t(1));
    QCOMPARE(ui.Boxes[0].Text, bad + "\ris NOT a vallid directory !");
    QCOMPARE(ZipRompathValue, std::string("kept"));
    QVERIFY(form.isVisible());
  }

  void RelativePathIsAcceptedUnchanged() {
    const QString old = QDir::currentPath();
    QDir::setCurrent(FDir.path());
    TRecordingInteraction ui;
    TAltrompathForm form(nullptr, &ui);
    form.show();
    form.AltDir->setText(QStringLiteral("roms"));
    form.OKButtonClick();
    QDir::setCurrent(old);
    QVERIFY(ui.Boxes.empty());
    QCOMPARE(ZipRompathValue, "roms" + kSep);
  }

  void EditZipRompathTwiceReturnsTheSameText() {
    TAltrompathForm form;
    QCOMPARE(TAltrompathForm::Instance(), &form);
    WhenModal([](QWidget* dialog) { Button(dialog, "OKButton")->click(); });
    const std::string first = EditZipRompath(Path("roms"));
    QCOMPARE(first, Path("roms") + kSep);
    WhenModal([](QWidget* dialog) { Button(dialog, "OKButton")->click(); });
    QCOMPARE(EditZipRompath(first), first);
  }

  void RefusalGoesThroughARealErrorBox() {
    TAltrompathForm form;
    QString caption, text;
    TQtUserInteraction::BoxShownHook = [&](QMessageBox* box) {
      caption = box->windowTitle();
      text = box->text();
      box->buttons().first()->click();
    };
    WhenModal([](QWidget* dialog) {
      dialog->findChild<QLineEdit*>(QStringLiteral("AltDir"))
          ->setText(QStringLiteral("/no/such/dir"));
      Button(dialog, "OKButton")->click();  // refused: the dialog stays
      Button(dialog, "CancelButton")->click();
    });
    QCOMPARE(EditZipRompath("old"), std::string("old"));
    QCOMPARE(caption, QStringLiteral("Error"));
    QCOMPARE(text, QStringLiteral("/no/such/dir\nis NOT a vallid directory !"));
  }

  void CancelEscapeAndCloseLeaveTheValue() {
    TAltrompathForm form;
    WhenModal([this](QWidget* dialog) {
      dialog->findChild<QLineEdit*>(QStringLiteral("AltDir"))
          ->setText(QString::fromStdString(Path("roms")));
      Button(dialog, "CancelButton")->click();
    });
    QCOMPARE(EditZipRompath("old" + kSep), "old" + kSep);
    WhenModal([this](QWidget* dialog) {
      dialog->findChild<QLineEdit*>(QStringLiteral("AltDir"))
          ->setText(QString::fromStdString(Path("roms")));
      QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QCOMPARE(EditZipRompath("old" + kSep), "old" + kSep);
    WhenModal([](QWidget* dialog) { dialog->close(); });
    QCOMPARE(EditZipRompath(""), std::string());
  }

  void EnterPressesOk() {
    TAltrompathForm form;
    WhenModal([this](QWidget* dialog) {
      auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("AltDir"));
      edit->setText(QString::fromStdString(Path("roms")));
      QTest::keyClick(edit, Qt::Key_Return);
    });
    QCOMPARE(EditZipRompath(""), Path("roms") + kSep);
  }

  void BrowseCancelKeepsTheFieldAndChoosingPutsThePath() {
    TAltrompathForm form;
    ZipRompathValue = Path("empty") + kSep;
    form.show();
    // Cancel the folder dialog: Directory still holds the preset text.
    form.Browser->OnInitialized = [](TBrowseFolder&, QDialog* dialog) {
      QTimer::singleShot(0, dialog, [dialog] { dialog->reject(); });
    };
    form.BrowseButtonClick();
    QCOMPARE(form.AltDir->text().toStdString(), Path("empty") + kSep);
    // Choose a folder: the field shows its path without a final separator.
    form.Browser->OnInitialized = [this](TBrowseFolder& browser, QDialog* dialog) {
      QTimer::singleShot(0, dialog, [this, &browser, dialog] {
        QVERIFY(browser.SetSelectionPath(Path("roms")));
        dialog->findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
      });
    };
    form.BrowseButtonClick();
    QCOMPARE(form.AltDir->text().toStdString(), Path("roms"));
  }

  void ShortenPathCases() {
    QCOMPARE(ShortenPath("C:\\Games\\Emulators\\Arcade\\Roms\\Zipped", '\\', "...", 35),
             std::string("C:\\...\\Emulators\\Arcade\\Roms\\Zipped"));
    QCOMPARE(ShortenPath("C:\\Program Files\\Arcade Emulators\\Roms\\Zip files", '\\', "...", 35),
             std::string("C:\\...\\Roms\\Zip files"));
    // Short enough: unchanged, even with many parts.
    QCOMPARE(ShortenPath("C:\\a\\b\\c\\d", '\\', "...", 35), std::string("C:\\a\\b\\c\\d"));
    QCOMPARE(ShortenPath("", '\\', "...", 35), std::string());
    // Fewer than three parts: unchanged however long.
    const std::string twoParts = "C:\\" + std::string(50, 'x');
    QCOMPARE(ShortenPath(twoParts, '\\', "...", 35), twoParts);
    // Three parts: the middle one goes, and the result may stay too long.
    QCOMPARE(ShortenPath("C:\\AVeryLongFolderNameThatIsLong\\AnotherVeryLongNameOfAFolder", '\\',
                         "...", 35),
             std::string("C:\\...\\AnotherVeryLongNameOfAFolder"));
    // Empty parts: a leading separator, a network path, doubled separators.
    QCOMPARE(ShortenPath("/home/user/games/emulators/arcade/roms/zipped", '/', "...", 35),
             std::string("/.../emulators/arcade/roms/zipped"));
    QCOMPARE(ShortenPath("\\\\server\\share\\arcade\\emulators\\roms\\zipped", '\\', "...", 35),
             std::string("\\...\\arcade\\emulators\\roms\\zipped"));
    QCOMPARE(ShortenPath("C:\\\\Games\\\\Emulators\\Arcade\\Roms\\Zipped", '\\', "...", 35),
             std::string("C:\\...\\Emulators\\Arcade\\Roms\\Zipped"));
  }

  void BrowseFolderDefaults() {
    TBrowseFolder browser;
    QVERIFY(browser.Directory.empty());
    QVERIFY(browser.Title.isEmpty());
    QCOMPARE(browser.Flags, TBrowseInfoFlags(bfFileSysDirsOnly | bfStatusText));
    QVERIFY(!browser.ShowPathInStatusArea);
    QCOMPARE(browser.RootFolder, foDesktopExpanded);
    QVERIFY(!browser.CustomButtonVisible);
    QVERIFY(browser.CustomButtonEnabled());
    QVERIFY(browser.CustomButtonCaption().isEmpty());
    QCOMPARE(browser.CustomButtonWidth(), 75);
    QCOMPARE(browser.CustomButtonType, btPushButton);
    QVERIFY(!browser.CustomButtonChecked);
    QVERIFY(!browser.SyncCustomButton);
    browser.SetCustomButtonWidth(120);
    QCOMPARE(browser.CustomButtonWidth(), 120);
    browser.SetCustomButtonWidth(0);
    QCOMPARE(browser.CustomButtonWidth(), 75);
    browser.SetCustomButtonWidth(-3);
    QCOMPARE(browser.CustomButtonWidth(), 75);
    QVERIFY(RootFolderPath(foDesktopExpanded).has_value());
    QVERIFY(!RootFolderPath(foPrinters).has_value());
  }

  void OkEnablingStatusAreaAndEvents() {
    TBrowseFolder browser;
    browser.Title = QStringLiteral("Pick one");
    browser.ShowPathInStatusArea = true;
    int initialized = 0;
    std::vector<std::string> changes;
    bool okBefore = true, okAfter = false;
    QString status, title;
    browser.OnSelectionChanged = [&](TBrowseFolder&, QDialog*, const QModelIndex&,
                                     const std::string& dir) { changes.push_back(dir); };
    browser.OnInitialized = [&](TBrowseFolder& b, QDialog* dialog) {
      ++initialized;
      QCOMPARE(b.DialogHandle(), dialog);
      QTimer::singleShot(0, dialog, [&, dialog] {
        okBefore = b.OkEnabled();  // nothing selected yet
        title = dialog->findChild<QLabel*>(QStringLiteral("TitleLabel"))->text();
        QVERIFY(b.SetSelectionPath(Path("roms")));
        okAfter = b.OkEnabled();
        status = b.StatusText();
        dialog->findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
      });
    };
    QVERIFY(browser.Execute());
    QCOMPARE(initialized, 1);
    QVERIFY(!okBefore);
    QVERIFY(okAfter);
    QCOMPARE(title, QStringLiteral("Pick one"));
    QCOMPARE(status.toStdString(), ShortenPath(Path("roms"), platform::PathDelim, "...", 35));
    QCOMPARE(changes.back(), Path("roms"));
    QCOMPARE(browser.Directory, Path("roms"));
    QCOMPARE(browser.SelectedPath(), Path("roms"));
    QCOMPARE(browser.DisplayName(), QStringLiteral("roms"));
    QVERIFY(!browser.DialogHandle());
  }

  void PreselectionAndCancel() {
    TBrowseFolder browser;
    // Letter case does not matter for the preselected folder.
    browser.Directory = Path("upper");
    std::string selected;
    QString current;
    browser.OnInitialized = [&](TBrowseFolder& b, QDialog* dialog) {
      QTimer::singleShot(0, dialog, [&, dialog] {
        selected = b.SelectedPath();
        auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("FolderTree"));
        current = static_cast<QFileSystemModel*>(tree->model())->filePath(tree->currentIndex());
        QVERIFY(b.OkEnabled());
        dialog->findChild<QPushButton*>(QStringLiteral("CancelButton"))->click();
      });
    };
    QVERIFY(!browser.Execute());
    QCOMPARE(selected, Path("Upper"));
    QCOMPARE(current, QDir::fromNativeSeparators(QString::fromStdString(Path("Upper"))));
    QCOMPARE(browser.Directory, Path("upper"));  // unchanged by a cancel

    // A preset that is no folder selects nothing.
    browser.Directory = Path("plain.txt");
    bool okEnabled = true;
    browser.OnInitialized = [&](TBrowseFolder& b, QDialog* dialog) {
      QTimer::singleShot(0, dialog, [&, dialog] {
        okEnabled = b.OkEnabled();
        QTest::keyClick(dialog, Qt::Key_Escape);
      });
    };
    QVERIFY(!browser.Execute());
    QVERIFY(!okEnabled);
    QCOMPARE(browser.Directory, Path("plain.txt"));
  }

  void CustomCheckBoxIsReadBackOnOk() {
    TBrowseFolder browser;
    browser.Directory = Path("roms");
    browser.CustomButtonVisible = true;
    browser.CustomButtonType = btCheckBox;
    browser.SetCustomButtonCaption(QStringLiteral("Include subfolders"));
    browser.SetCustomButtonWidth(130);
    QRect geometry;
    bool startedChecked = true;
    int clicks = 0;
    browser.OnCustomButtonClick = [&](TBrowseFolder&, QDialog*) { ++clicks; };
    browser.OnInitialized = [&](TBrowseFolder& b, QDialog* dialog) {
      QTimer::singleShot(0, dialog, [&, dialog] {
        auto* box = qobject_cast<QCheckBox*>(b.CustomButton());
        QVERIFY(box);
        geometry = box->geometry();
        startedChecked = box->isChecked();
        box->click();
        QVERIFY(dialog->isVisible());
        dialog->findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
      });
    };
    QVERIFY(browser.Execute());
    QCOMPARE(geometry, QRect(12, 270, 130, 23));
    QVERIFY(!startedChecked);
    QVERIFY(browser.CustomButtonChecked);
    QCOMPARE(clicks, 1);

    // Cancelled: the box's state is not taken.
    browser.OnCustomButtonClick = nullptr;
    browser.OnInitialized = [&](TBrowseFolder& b, QDialog* dialog) {
      QTimer::singleShot(0, dialog, [&, dialog] {
        QVERIFY(static_cast<QCheckBox*>(b.CustomButton())->isChecked());  // set from the property
        b.CustomButton()->click();
        dialog->reject();
      });
    };
    QVERIFY(!browser.Execute());
    QVERIFY(browser.CustomButtonChecked);
  }

  void CustomPushButtonFollowsOk() {
    TBrowseFolder browser;
    browser.CustomButtonVisible = true;
    browser.SetCustomButtonCaption(QStringLiteral("New"));
    browser.SyncCustomButton = true;
    std::vector<bool> states;
    int clicks = 0;
    browser.OnCustomButtonClick = [&](TBrowseFolder&, QDialog* dialog) {
      ++clicks;
      QVERIFY(dialog->isVisible());
    };
    browser.OnInitialized = [&](TBrowseFolder& b, QDialog* dialog) {
      QTimer::singleShot(0, dialog, [&, dialog] {
        QCOMPARE(b.CustomButton()->text(), QStringLiteral("New"));
        QCOMPARE(b.CustomButton()->width(), 75);
        b.SetCustomButtonCaption(QStringLiteral("Newer"));
        QCOMPARE(b.CustomButton()->text(), QStringLiteral("Newer"));
        b.EnableOK(false);
        states.push_back(b.CustomButton()->isEnabled());
        b.SetSelectionPath(Path("roms"));
        states.push_back(b.CustomButton()->isEnabled());
        b.CustomButton()->click();
        dialog->reject();
      });
    };
    QVERIFY(!browser.Execute());
    QCOMPARE(states, (std::vector<bool>{false, true}));
    QCOMPARE(clicks, 1);
    QVERIFY(browser.CustomButtonEnabled());
  }

  void ComputersCannotBeChosen() {
    TBrowseFolder browser;
    browser.Flags = bfBrowseForComputer;
    browser.Directory = Path("roms");
    bool ok = true;
    bool hasStatus = true;
    browser.OnInitialized = [&](TBrowseFolder& b, QDialog* dialog) {
      QTimer::singleShot(0, dialog, [&, dialog] {
        ok = b.OkEnabled();
        hasStatus = dialog->findChild<QLabel*>(QStringLiteral("StatusLabel")) != nullptr;
        dialog->reject();
      });
    };
    QVERIFY(!browser.Execute());
    QVERIFY(!ok);
    QVERIFY(!hasStatus);  // no status area without bfStatusText
  }

  void PlacedAgainstTheForegroundWindow() {
    QWidget main;
    main.setGeometry(100, 80, 600, 400);
    main.show();
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    const QRect r = main.frameGeometry();
    TBrowseFolder browser;
    QPoint pos;
    int width = 0;
    browser.OnInitialized = [&](TBrowseFolder&, QDialog* dialog) {
      QTimer::singleShot(0, dialog, [&, dialog] {
        pos = dialog->frameGeometry().topLeft();
        width = dialog->width();
        dialog->reject();
      });
    };
    browser.Execute();
    QCOMPARE(pos, QPoint(r.left() + r.width() / 2 - width / 2, r.top() + r.height() / 4));
  }
};

QTEST_MAIN(AltRomPathTest)
#include "AltRomPathTest.moc"
