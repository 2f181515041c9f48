// The settings panel: its three modes, the default-settings box, storage when the focus leaves,
// and the default-settings mode.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTest>

#include "MainTestSupport.h"
#include "ui/GameListView.h"

namespace {

const std::vector<TTestGame> kGames = {
    {"Alpha", "alpha", gsInstalled, true},
    {"Bravo", "bravo", gsInstalled, false},
};

// Moves the keyboard focus as a click would and lets the focus change be handled.
void FocusOn(QWidget* widget) {
  widget->setFocus(Qt::MouseFocusReason);
  QApplication::processEvents();
}

}  // namespace

class SettingsPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void modesFollowTheSelection() {
    TMainFixture f;
    TMain& main = f.Start(kGames);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.PageControl->setCurrentWidget(main.SettingsTab);
    // Alpha uses the defaults: box shown and checked, no settings area.
    QVERIFY(main.ChUseDefSettings->isVisible());
    QVERIFY(main.ChUseDefSettings->isChecked());
    QVERIFY(!main.SettingsScrollBox->isVisible());
    QVERIFY(!main.SaveDefaultSettingsButton->isVisible());
    // Bravo has its own settings: the area shows them.
    Catalogue().Games[2].ScanLines = true;
    Catalogue().Games[2].Resolution = "320x240";
    main.GameList->setCurrentRow(1);
    QVERIFY(!main.ChUseDefSettings->isChecked());
    QVERIFY(main.SettingsScrollBox->isVisible());
    QVERIFY(main.ChScanLines->isChecked());
    QCOMPARE(main.CbResolution->currentText(), QString("320x240"));
    // No game: everything hidden.
    main.GameList->clearSelection();
    QCOMPARE(Catalogue().CurrentGame, -1);
    QVERIFY(!main.ChUseDefSettings->isVisible());
    QVERIFY(!main.SettingsScrollBox->isVisible());
    // Back to a game whose box is already unchecked: the area comes back too.
    main.GameList->setCurrentRow(1);
    QVERIFY(main.SettingsScrollBox->isVisible());
  }

  void useDefaultSettingsBoxChangesTheRecordAtOnce() {
    TMainFixture f;
    TMain& main = f.Start(kGames);
    main.show();
    main.PageControl->setCurrentWidget(main.SettingsTab);
    QVERIFY(Catalogue().Games[1].UseDefSettings);
    main.ChUseDefSettings->click();
    QVERIFY(!Catalogue().Games[1].UseDefSettings);
    QVERIFY(main.SettingsScrollBox->isVisible());
    main.ChUseDefSettings->click();
    QVERIFY(Catalogue().Games[1].UseDefSettings);
    QVERIFY(!main.SettingsScrollBox->isVisible());
  }

  void editsAreStoredWhenTheFocusLeavesTheArea() {
    TMainFixture f;
    TMain& main = f.Start(kGames, {}, 1);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.activateWindow();
    main.PageControl->setCurrentWidget(main.SettingsTab);
    QCOMPARE(Catalogue().CurrentGame, 2);
    FocusOn(main.ChVsync);
    main.ChVsync->setChecked(false);
    main.ChJoystick->setChecked(true);
    main.CbResolution->setEditText("1024x768x");
    QVERIFY(Catalogue().Games[2].Vsync);  // nothing stored while the focus stays inside
    FocusOn(main.CbResolution);
    QVERIFY(Catalogue().Games[2].Vsync);
    // A click into the list stores into the game that was current before the click.
    FocusOn(main.GameList);
    QVERIFY(!Catalogue().Games[2].Vsync);
    QVERIFY(Catalogue().Games[2].Joystick);
    QCOMPARE(Catalogue().Games[2].Resolution.str(), std::string("1024x768"));
    QVERIFY(Catalogue().Games[1].Vsync);
    QVERIFY(!Catalogue().Games[1].Joystick);
    QCOMPARE(f.Ui.Beeps, 0);

    // Bytes that are no UTF-8 (a Windows-1252 multiplication sign) stay unless edited.
    const std::string cp1252 = std::string("1024") + '\xd7' + "768";
    Catalogue().Games[2].Resolution = cp1252;
    main.ShowGameSettings();
    QCOMPARE(main.CbResolution->currentText(), QString::fromUtf8("1024\u00d7768"));
    FocusOn(main.ChVsync);
    FocusOn(main.GameList);
    QCOMPARE(Catalogue().Games[2].Resolution.str(), cp1252);
    FocusOn(main.CbResolution);
    main.CbResolution->setEditText(QString::fromUtf8("800\u00d7600"));
    FocusOn(main.GameList);
    QCOMPARE(Catalogue().Games[2].Resolution.str(), std::string("800\u00d7600"));
  }

  void enterStartsWithTheEditsStored() {
    TMainFixture f;
    TMain& main = f.Start(kGames, {}, 1);
    bool frameSkipAtStart = false;
    main.Hooks().StartGame = [&] { frameSkipAtStart = Catalogue().Games[2].FrameSkip; };
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.activateWindow();
    main.PageControl->setCurrentWidget(main.SettingsTab);
    FocusOn(main.ChFrameSkip);
    main.ChFrameSkip->setChecked(true);
    QTest::keyClick(main.ChFrameSkip, Qt::Key_Return);
    QVERIFY(frameSkipAtStart);
  }

  void leavingTheAreaWithoutAGameBeeps() {
    TMainFixture f;
    TMain& main = f.Start(kGames);
    Catalogue().CurrentGame = -1;
    const TGameRecord before = Catalogue().Games[1];
    main.SettingsScrollBoxExit();
    QCOMPARE(f.Ui.Beeps, 1);
    QCOMPARE(Catalogue().Games[1].Vsync, before.Vsync);
  }

  void defaultSettingsModeEditsEntryZero() {
    TMainFixture f;
    TMain& main = f.Start(kGames);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.activateWindow();
    QVERIFY(main.StartEmuButton->isEnabled());
    main.MenuSetDefaultSettings->trigger();
    QCOMPARE(Catalogue().CurrentGame, 0);
    QVERIFY(!main.GameList->isEnabled());
    QVERIFY(!main.StartEmuButton->isEnabled());
    QCOMPARE(main.PageControl->currentWidget(), main.SettingsTab);
    QVERIFY(main.SaveDefaultSettingsButton->isVisible());
    QVERIFY(main.SettingsScrollBox->isVisible());
    QVERIFY(main.ChVsync->isChecked());
    // The covered box can be neither seen nor reached with Tab while the defaults are edited.
    QVERIFY(!main.ChUseDefSettings->isVisible());
    FocusOn(main.SaveDefaultSettingsButton);
    for (int i = 0; i < 12; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QVERIFY(QApplication::focusWidget() != main.ChUseDefSettings);
    }

    FocusOn(main.ChVsync);
    main.ChVsync->setChecked(false);
    FocusOn(main.SaveDefaultSettingsButton);  // the focus moves before the button acts
    main.SaveDefaultSettingsButton->click();
    QVERIFY(!Catalogue().Games[0].Vsync);
    QVERIFY(Catalogue().Games[1].Vsync);  // the game's own fields are untouched
    QVERIFY(!main.SaveDefaultSettingsButton->isVisible());
    QVERIFY(main.GameList->isEnabled());
    QCOMPARE(Catalogue().CurrentGame, 1);
    QVERIFY(main.ChUseDefSettings->isChecked() && main.ChUseDefSettings->isVisible());
    QVERIFY(!main.SettingsScrollBox->isVisible());
    QVERIFY(!main.StartEmuButton->isEnabled());  // until the selection changes again
    main.GameList->setCurrentRow(1);
    QVERIFY(main.StartEmuButton->isEnabled());
  }

  void layoutOfThePage() {
    TMainFixture f;
    TMain& main = f.Start(kGames, {}, 1);
    main.show();
    main.PageControl->setCurrentWidget(main.SettingsTab);
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QCOMPARE(main.ChUseDefSettings->pos(), QPoint(8, 8));
    QCOMPARE(main.SaveDefaultSettingsButton->pos(), QPoint(8, 8));
    QCOMPARE(main.SettingsScrollBox->geometry().topLeft(), QPoint(0, 40));
    QCOMPARE(main.SettingsScrollBox->width(), main.SettingsTab->width());
    QCOMPARE(main.SettingsScrollBox->geometry().bottom(), main.SettingsTab->height() - 1);
    QStringList items;
    for (int i = 0; i < main.CbResolution->count(); ++i) items << main.CbResolution->itemText(i);
    QCOMPARE(items, QStringList({"Default", "384x256", "360x256", "320x400", "320x240", "256x256",
                                 "224x288"}));
    QVERIFY(main.CbResolution->isEditable());
    QCOMPARE(main.ChRotateScreen->text(), QString("Rotate Screen (Image Fight)"));
    QCOMPARE(main.ChAltFMBase->text(), QString("Alternative FM Base (338h)"));
    QCOMPARE(main.ChFrameSkip->text(), QString("Frameskip (1 for Irem games)"));
    QCOMPARE(main.ChRotateScreen->pos(), QPoint(8, 80));
  }
};

QTEST_MAIN(SettingsPanelTest)
#include "SettingsPanelTest.moc"
