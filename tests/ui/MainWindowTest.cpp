// The main window's game list, views, menus, status bar, toggles and resizing rules.

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QSplitterHandle>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <climits>
#include <stdexcept>
#include <tuple>

#include "MainTestSupport.h"
#include "launch/ZipArchive.h"
#include "ui/GameListView.h"
#include "ui/MainArtwork.h"
#include "ui/MainStart.h"
#include "ui/StartUtils.h"

namespace {

QStringList Rows(const TMain& main) {
  QStringList rows;
  for (int i = 0; i < main.GameList->count(); ++i) rows << main.GameList->RowText(i);
  return rows;
}

QList<bool> Checks(const TMain& main) {
  QList<bool> checks;
  for (int i = 0; i < main.GameList->count(); ++i) checks << main.GameList->RowChecked(i);
  return checks;
}

const std::vector<TTestGame> kGames = {
    {"beta Blaster", "beta", gsInstalled},  {"Alpha One", "alpha", gsNotAvailable},
    {"gamma Ray", "gamma", gsZipAvailable}, {"Delta Force", "delta", gsNotAvailable},
    {"Epsilon", "eps", gsInstalled},
};

// The window on kGames with the second row selected, shown, counting the starts it asks for.
TMain& StartCountingStarts(TMainFixture& f, int& starts) {
  TMain& main = f.Start(kGames, {}, 1);
  main.Hooks().StartGame = [&starts] { ++starts; };
  main.show();
  return main;
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  // The placeholder, the start button and the program icon painted ahead on another thread are
  // the ones painted when needed, taken once; another ratio is painted anew. The icon offers the
  // window manager all its sizes.
  void picturesPaintedAheadAreTheSame() {
    const QImage direct = artwork::NoShotPicture(1.0);
    const QImage button = artwork::StartButtonPicture(false, 1.0).toImage();
    const QImage greyed = artwork::StartButtonPicture(true, 1.0).toImage();
    const QImage icon = artwork::ProgramIcon().pixmap(QSize(48, 48)).toImage();
    {
      const artwork::TPicturesAhead ahead;
      const QIcon program = artwork::ProgramIcon();
      QCOMPARE(program.availableSizes(),
               QList<QSize>({{16, 16}, {32, 32}, {48, 48}, {64, 64}, {128, 128}}));
      QCOMPARE(program.pixmap(QSize(48, 48)).toImage(), icon);
      QCOMPARE(program.pixmap(QSize(20, 20)).size(), QSize(20, 20));
      QCOMPARE(artwork::StartButtonPicture(true, 1.0).toImage(), greyed);
      QCOMPARE(artwork::StartButtonPicture(false, 1.0).toImage(), button);
      QCOMPARE(artwork::StartButtonPicture(false, 1.0).toImage(), button);
      QCOMPARE(artwork::NoShotPicture(2.0).size(), QSize(768, 512));
      QCOMPARE(artwork::NoShotPicture(1.0), direct);
      QCOMPARE(artwork::NoShotPicture(1.0), direct);
    }
    const artwork::TPicturesAhead unused;  // ends without being asked, waiting for its painting
  }

  void listSortedIgnoringCaseWithAvailabilityAndCaption() {
    TMainFixture f;
    TMain& main = f.Start(kGames);
    QCOMPARE(Rows(main),
             QStringList({"Alpha One", "beta Blaster", "Delta Force", "Epsilon", "gamma Ray"}));
    QCOMPARE(Checks(main), QList<bool>({false, true, false, true, true}));
    QCOMPARE(main.windowTitle(), QString("StartVELK 0.9.1 [5 of 5 games]"));
    // LastGameListPos 0 selects the first row, an unavailable game: Start stays disabled.
    QCOMPARE(main.GameList->currentRow(), 0);
    QCOMPARE(Catalogue().CurrentGame, 2);
    QVERIFY(!main.StartEmuButton->isEnabled());
    QCOMPARE(main.StatusPanel0->text(), QString("alpha"));
    QCOMPARE(main.StatusPanel1->text(), TMain::StatusTitle());
  }

  void viewFiltersRebuildAndSelectTheFirstRow() {
    TMainFixture f;
    TMain& main = f.Start(kGames, {}, 3);
    QCOMPARE(main.GameList->currentRow(), 3);
    QCOMPARE(Catalogue().CurrentGame, 5);
    QVERIFY(main.StartEmuButton->isEnabled());

    main.MenuInstalledGames->trigger();
    QVERIFY(main.MenuInstalledGames->isChecked());
    QVERIFY(!main.MenuAllGames->isChecked());
    QCOMPARE(Rows(main), QStringList({"beta Blaster", "Epsilon", "gamma Ray"}));
    QCOMPARE(Checks(main), QList<bool>({true, true, true}));
    QCOMPARE(main.GameList->currentRow(), 0);
    QCOMPARE(Catalogue().CurrentGame, 1);
    QVERIFY(main.StartEmuButton->isEnabled());
    QCOMPARE(main.windowTitle(), QString("StartVELK 0.9.1 [3 of 5 games]"));

    main.MenuUnInstalledGames->trigger();
    QCOMPARE(Rows(main), QStringList({"Alpha One", "Delta Force"}));
    QCOMPARE(Checks(main), QList<bool>({false, false}));
    QCOMPARE(main.windowTitle(), QString("StartVELK 0.9.1 [2 of 5 games]"));
    QCOMPARE(Catalogue().LastGameListPos, 0);

    // Choosing the checked entry again keeps it checked and still rebuilds.
    main.MenuUnInstalledGames->trigger();
    QVERIFY(main.MenuUnInstalledGames->isChecked());
    QCOMPARE(main.GameList->count(), 2);
  }

  void emptyViewLeavesNothingSelected() {
    TMainFixture f;
    TMain& main = f.Start({{"Only One", "one", gsNotAvailable}, {"Other", "oth", gsNotAvailable}});
    main.MenuInstalledGames->trigger();
    QCOMPARE(main.GameList->count(), 0);
    QCOMPARE(main.windowTitle(), QString("StartVELK 0.9.1 [0 of 2 games]"));
    QCOMPARE(Catalogue().CurrentGame, -1);
    QVERIFY(!main.StartEmuButton->isEnabled());
    QVERIFY(main.ChUseDefSettings->isHidden());
    QVERIFY(main.SettingsScrollBox->isHidden());
    emit main.MenuScreenShot->aboutToShow();
    QVERIFY(!main.MenuDeleteCurrentScreenshot->isEnabled());
    main.MenuAllGames->trigger();
    emit main.MenuScreenShot->aboutToShow();
    QVERIFY(main.MenuDeleteCurrentScreenshot->isEnabled());
  }

  void lastGameListPosBeyondTheListSelectsNothing() {
    TMainFixture f;
    TMain& main = f.Start(kGames, {}, 5);
    QCOMPARE(main.GameList->currentRow(), -1);
    QCOMPARE(Catalogue().CurrentGame, -1);
    QVERIFY(!main.StartEmuButton->isEnabled());
    QCOMPARE(Catalogue().LastGameListPos, 0);
    QCOMPARE(main.StatusPanel0->text(), QString());
  }

  void selectingAnUnavailableGameResetsTheListPosition() {
    TMainFixture f;
    TMain& main = f.Start(kGames, {}, 1);
    QCOMPARE(Catalogue().LastGameListPos, 1);
    main.GameList->setCurrentRow(2);  // Delta Force, not available
    QCOMPARE(Catalogue().CurrentGame, 4);
    QVERIFY(!main.StartEmuButton->isEnabled());
    QCOMPARE(Catalogue().LastGameListPos, 0);
    main.MenuCheckForGames->trigger();
    QCOMPARE(main.GameList->currentRow(), 0);
  }

  void twoGamesWithTheSameNameBothSelectTheFirst() {
    TMainFixture f;
    TMain& main = f.Start({{"Twin", "twina", gsInstalled}, {"Twin", "twinb", gsNotAvailable}});
    QCOMPARE(main.GameList->count(), 2);
    main.GameList->setCurrentRow(1);
    QCOMPARE(Catalogue().CurrentGame, 1);
    QCOMPARE(main.StatusPanel0->text(), QString("twina"));
    main.GameList->setCurrentRow(0);
    QCOMPARE(Catalogue().CurrentGame, 1);
  }

  void namesThatAreNotUtf8AreShownAndFoundAgain() {
    TMainFixture f;
    TMain& main = f.Start({{"Caf\xe9 Racer", "cafe", gsInstalled}});
    QCOMPARE(main.GameList->RowText(0), QString::fromUtf8("Caf\xc3\xa9 Racer"));
    QCOMPARE(Catalogue().CurrentGame, 1);
  }

  void checkMarksStayAsTheAvailabilitySays() {
    TMainFixture f;
    TMain& main = f.Start(kGames, {}, 1);
    const QModelIndex item = main.GameList->model()->index(1, 0);
    // Screen readers see checkable rows, checked exactly when the game is available.
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(main.GameList);
    QVERIFY(list && list->childCount() >= 2);
    for (int row = 0; row < 2; ++row) {
      const QAccessible::State state = list->child(row)->state();
      QVERIFY(state.checkable);
      QCOMPARE(bool(state.checked), main.GameList->RowChecked(row));
    }
    QVERIFY(!list->child(0)->state().checked && list->child(1)->state().checked);
    QVERIFY(!main.GameList->model()->setData(item, Qt::Unchecked, Qt::CheckStateRole));
    QVERIFY(main.GameList->RowChecked(1));
    main.GameList->setFocus();
    QTest::keyClick(main.GameList, Qt::Key_Space);
    QVERIFY(main.GameList->RowChecked(1));
    const QRect box = main.GameList->RowRect(0);
    QTest::mouseClick(main.GameList->viewport(), Qt::LeftButton, {}, box.topLeft() + QPoint(8, 7));
    QVERIFY(!main.GameList->RowChecked(0));
    QCOMPARE(main.GameList->currentRow(), 0);
    QCOMPARE(Catalogue().CurrentGame, 2);
  }

  void rescanRecomputesAvailabilityAndKeepsThePosition() {
    TMainFixture f;
    TMain& main = f.Start(kGames, {}, 1);
    f.OnScan = [] { Catalogue().GameStatus[2] = gsInstalled; };  // Alpha One got installed
    main.MenuCheckForGames->trigger();
    QCOMPARE(f.Scans, 1);
    QCOMPARE(Checks(main), QList<bool>({true, true, false, true, true}));
    QCOMPARE(main.GameList->currentRow(), 1);
    QVERIFY(main.StartEmuButton->isEnabled());
  }

  void zipRompathRescansOnlyWhenThePathChanged() {
    TMainFixture f;
    TMain& main = f.Start(kGames);
    Catalogue().AltRomPath = "/roms/";
    std::string answer = "/roms/";
    main.Hooks().EditZipRompath = [&](const std::string& path) {
      [&] { QCOMPARE(path, std::string("/roms/")); }();
      return answer;
    };
    main.MenuSetAlternativeRompath->trigger();
    QCOMPARE(f.Scans, 0);
    answer = "/Roms/";
    main.MenuSetAlternativeRompath->trigger();
    QCOMPARE(f.Scans, 1);
    QCOMPARE(Catalogue().AltRomPath, std::string("/Roms/"));
  }

  void helpEntriesOpenTheirTargets() {
    TMainFixture f;
    TMain& main = f.Start(kGames);
    std::vector<std::string> opened;
    std::string about;
    main.Hooks().ShellOpen = [&](const std::string& target) { opened.push_back(target); };
    main.Hooks().ShowAbout = [&](const std::string& version) { about = version; };
    main.MenuVELKReadme->trigger();
    main.MenuStartVELKReadme->trigger();
    main.MenuStartVELKFAQ->trigger();
    main.MenuWebSite2->trigger();
    main.MenuVELKHomepage->trigger();
    main.MenuAbout->trigger();
    QCOMPARE(opened.size(), std::size_t(5));
    QCOMPARE(opened[0], std::string("Readme.txt"));
    QCOMPARE(opened[1], std::string("StartVELK.txt"));
    QCOMPARE(opened[2], std::string("StartVELKFaq.txt"));
    QCOMPARE(opened[3], "http://" + main.MenuWebSite2->text().toStdString());
    QVERIFY(opened[4].rfind("https://", 0) == 0);
    QCOMPARE(about, std::string("0.9.1"));
  }

  void menusHaveTheirCaptionsShortcutsAndKinds() {
    TMainFixture f;
    TMain& main = f.Start(kGames);
    QCOMPARE(main.MenuView->title(), QString("&View"));
    QCOMPARE(main.MenuTools->title(), QString("&Tools"));
    QCOMPARE(main.MenuScreenShot->title(), QString("&ScreenShot"));
    QCOMPARE(main.MenuHelp->title(), QString("&Help"));
    QCOMPARE(main.MenuViewTabSheet->shortcut(), QKeySequence("Ctrl+T"));
    QCOMPARE(main.MenuViewStatBar->shortcut(), QKeySequence("Ctrl+B"));
    QCOMPARE(main.MenuShowControls->shortcut(), QKeySequence("Ctrl+C"));
    QCOMPARE(main.MenuShowName->shortcut(), QKeySequence("Ctrl+N"));
    QCOMPARE(main.MenuStretched->text(), QString("S&treched"));
    QCOMPARE(main.MenuCheckForGames->text(), QString("&Check for new installed games"));
    for (QAction* a : {main.MenuInstalledGames, main.MenuUnInstalledGames, main.MenuAllGames,
                       main.MenuOriginal, main.MenuScaled, main.MenuStretched})
      QVERIFY(a->isCheckable() && a->actionGroup());
    QVERIFY(main.MenuAllGames->isChecked() && main.MenuScaled->isChecked());
    QVERIFY(main.MenuViewTabSheet->isChecked() && main.MenuViewStatBar->isChecked());
    QVERIFY(main.MenuShowControls->isChecked() && main.MenuShowName->isChecked());
    QVERIFY(!main.MenuDeleteCurrentScreenshot->icon().isNull());
    QVERIFY(!main.MenuAbout->icon().isNull());
    // Icons are painted when asked for: at the ratio asked, and greyed where disabled.
    const QIcon start = main.StartEmuButton->icon();
    QCOMPARE(start.pixmap(QSize(64, 28), 2.0).size(), QSize(128, 56));
    QVERIFY(start.pixmap(QSize(64, 28), 1.0, QIcon::Disabled).toImage() !=
            start.pixmap(QSize(64, 28), 1.0).toImage());
    const QIcon about = main.MenuAbout->icon();
    QCOMPARE(about.pixmap(QSize(16, 16), 1.0).size(), QSize(16, 16));
    QVERIFY(about.pixmap(QSize(16, 16), 1.0, QIcon::Disabled).toImage() !=
            about.pixmap(QSize(16, 16), 1.0).toImage());
    QCOMPARE(main.StartEmuButton->toolTip(), QString("Start VELK Arcade Emulator"));

    // The shortcuts work from the list, where the focus usually is.
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.activateWindow();
    main.GameList->setFocus();
    QTest::keyClick(main.GameList, Qt::Key_C, Qt::ControlModifier);
    QVERIFY(!main.MenuShowControls->isChecked());
    QVERIFY(main.SToolBar->isHidden());
    QTest::keyClick(main.GameList, Qt::Key_C, Qt::ControlModifier);
    QVERIFY(!main.SToolBar->isHidden());
    QTest::keyClick(main.GameList, Qt::Key_N, Qt::ControlModifier);
    QVERIFY(main.SSShowName->isHidden());
    QTest::keyClick(main.GameList, Qt::Key_B, Qt::ControlModifier);
    QVERIFY(main.statusBar()->isHidden());
    QTest::keyClick(main.GameList, Qt::Key_T, Qt::ControlModifier);
    QVERIFY(main.PageControl->isHidden());
  }

  void statusTextAndStatusBarToggle() {
    TMainFixture f;
    TMain& main = f.Start(kGames);
    main.show();
    main.SetStatusText("Unzipping beta.zip");
    QCOMPARE(main.StatusPanel1->text(), QString("Unzipping beta.zip"));
    main.ResetStatusText();
    QCOMPARE(main.StatusPanel1->text(), TMain::StatusTitle());
    main.MenuViewStatBar->trigger();
    QVERIFY(!main.MenuViewStatBar->isChecked());
    QVERIFY(main.statusBar()->isHidden());
    main.MenuViewStatBar->trigger();
    QVERIFY(main.statusBar()->isVisible());
  }

  void tabSheetToggleWidensAndRestoresTheList() {
    TMainFixture f;
    TMain& main = f.Start(kGames);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    const int panel = main.GameListPanel->width();
    const int page = main.PageControl->width();
    QCOMPARE(panel, 185);
    main.MenuViewTabSheet->trigger();
    QVERIFY(!main.MenuViewTabSheet->isChecked());
    QVERIFY(main.PageControl->isHidden());
    QVERIFY(!main.Splitter->handle(1)->isEnabled());
    QTRY_VERIFY(main.GameListPanel->width() >= panel + page);
    main.MenuViewStatBar->trigger();  // a change of height in between changes nothing
    main.MenuViewTabSheet->trigger();
    QVERIFY(main.MenuViewTabSheet->isChecked());
    QVERIFY(main.PageControl->isVisible());
    QVERIFY(main.Splitter->handle(1)->isEnabled());
    QTRY_COMPARE(main.GameListPanel->width(), panel);
  }

  void savedWindowStateIsApplied() {
    TMainFixture f;
    TWindowState state;
    state.View = TViewFilter::vfNone;
    state.StatBar = false;
    state.TabSheet = true;
    state.GLPWidth = 220;
    state.Width = 700;
    state.Height = 500;
    state.ScreenShotMode = TScreenShotMode::smStretched;
    state.TimerInterval = 3000;
    state.Play = true;
    state.ShowName = false;
    state.ShowControls = false;
    TMain& main = f.Start(kGames, state);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QVERIFY(!main.MenuInstalledGames->isChecked() && !main.MenuUnInstalledGames->isChecked() &&
            !main.MenuAllGames->isChecked());
    // No view entry checked shows the games that are not available.
    QCOMPARE(Rows(main), QStringList({"Alpha One", "Delta Force"}));
    QVERIFY(main.statusBar()->isHidden());
    QTRY_COMPARE(main.frameGeometry().size(), QSize(700, 500));
    QCOMPARE(main.GameListPanel->width(), 220);
    QVERIFY(main.MenuStretched->isChecked() && !main.MenuScaled->isChecked());
    QVERIFY(main.SToolPlay->isChecked() && !main.SToolPause->isChecked());
    QVERIFY(main.SSTimer->isActive());
    QCOMPARE(main.SSTimer->interval(), 3000);
    QVERIFY(main.SToolBar->isHidden() && main.SSShowName->isHidden());
  }

  void hostileSizesFromTheSettingsFileAreHeldToTheScreen() {
    // Hand-edited values: each window gets what fits, and saves what it got.
    for (const auto& [width, height, panel] :
         {std::tuple{INT32_MAX, INT32_MAX, 16777215}, std::tuple{700, 500, INT32_MAX},
          std::tuple{-5, INT32_MIN, INT32_MIN}}) {
      TMainFixture f;
      TWindowState state;
      state.Width = width;
      state.Height = height;
      state.GLPWidth = panel;
      TMain& main = f.Start(kGames, state);
      main.ShowAsStarted();
      QVERIFY(QTest::qWaitForWindowExposed(&main));
      const QSize room = main.screen()->availableGeometry().size();
      QTRY_VERIFY(main.frameGeometry().width() <= room.width());
      QVERIFY(main.frameGeometry().height() <= room.height());
      QVERIFY(main.width() >= 148 && main.height() >= 140);
      QVERIFY(main.MenuViewTabSheet->isChecked() && main.PageControl->isVisible());
      QVERIFY(main.GameListPanel->width() >= 145);
      QVERIFY(main.GameListPanel->width() <= main.width() - 3);
      const int panelWidth = main.GameListPanel->width();
      const QSize outer = main.frameGeometry().size();
      main.close();
      QCOMPARE(f.Saved.Width, outer.width());
      QCOMPARE(f.Saved.Height, outer.height());
      QCOMPARE(f.Saved.GLPWidth, panelWidth);
    }
  }

  void hiddenTabSheetFromTheSettingsKeepsTheWidth() {
    TMainFixture f;
    TWindowState state;
    state.TabSheet = false;
    state.GLPWidth = 300;
    TMain& main = f.Start(kGames, state);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QVERIFY(main.PageControl->isHidden());
    QVERIFY(!main.MenuViewTabSheet->isChecked());
    QTRY_COMPARE(main.GameListPanel->width(), main.width());
    main.close();
    QCOMPARE(f.Saved.TabSheet, false);

    // Shown again, the pages get the room they had at design time in the 600 pixels wide window,
    // and the list panel keeps what the window gained or lost since (here its frame).
    TMain& again = f.Start(kGames, state);
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QTRY_COMPARE(again.frameGeometry().width(), 600);
    again.MenuViewTabSheet->trigger();
    QVERIFY(again.PageControl->isVisible());
    QTRY_COMPARE(again.GameListPanel->width(), 185 - (600 - again.width()));
  }

  void closeHandsOverTheWindowState() {
    TMainFixture f;
    TMain& main = f.Start(kGames);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.MenuStretched->trigger();
    main.MenuShowName->trigger();
    main.close();
    QCOMPARE(f.Shutdowns, 1);
    QCOMPARE(f.Saved.ScreenShotMode, TScreenShotMode::smStretched);
    QCOMPARE(f.Saved.View, TViewFilter::vfAll);
    QCOMPARE(f.Saved.ShowName, false);
    QCOMPARE(f.Saved.Width, 600);
    QCOMPARE(f.Saved.Height, 400);
    QCOMPARE(f.Saved.GLPWidth, 185);
    QCOMPARE(f.Saved.State, 0);
  }

  void closeWithAllViewKeysOffKeepsThemOff() {
    TMainFixture f;
    TWindowState state;
    state.View = TViewFilter::vfNone;
    TMain& main = f.Start(kGames, state);
    main.close();
    QCOMPARE(f.Saved.View, TViewFilter::vfNone);
  }

  void closeWithAnEmptyListSavesTheInstalledView() {
    TMainFixture f;
    TWindowState state;
    state.View = TViewFilter::vfUnInstalled;
    TMain& main = f.Start({{"Ready", "ready", gsInstalled}}, state);
    QCOMPARE(main.GameList->count(), 0);
    main.close();
    QCOMPARE(f.Saved.View, TViewFilter::vfInstalled);
    QVERIFY(main.MenuInstalledGames->isChecked());
  }

  void maximisedWindowSavesItsNormalSize() {
    TMainFixture f;
    TWindowState state;
    state.Width = 640;
    state.Height = 420;
    state.State = 2;
    TMain& main = f.Start(kGames, state);
    main.ShowAsStarted();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QTRY_VERIFY(main.isMaximized());
    main.close();
    QCOMPARE(f.Saved.State, 2);
    QCOMPARE(f.Saved.Width, 640);
    QCOMPARE(f.Saved.Height, 420);
  }

  void resizingSqueezesThePageBeforeTheList() {
    TMainFixture f;
    TMain& main = f.Start(kGames);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QCOMPARE(main.minimumWidth(), 148);
    QCOMPARE(main.minimumHeight(), 140);
    main.resize(170, 300);
    QTRY_COMPARE(main.width(), 170);
    QCOMPARE(main.GameListPanel->width(), 167);
    main.resize(100, 100);
    QTRY_COMPARE(main.width(), 148);
    QVERIFY(main.height() >= 140);
    QCOMPARE(main.GameListPanel->width(), 145);
  }

  void anErrorInAHandlerIsReportedAndTheWindowGoesOn() {
    TMainFixture f;
    TMain& main = f.Start(kGames);
    f.OnScan = [] { throw std::runtime_error("Cannot list directory beta"); };
    main.MenuCheckForGames->trigger();
    QCOMPARE(f.Ui.Boxes.size(), std::size_t(1));
    QCOMPARE(f.Ui.Boxes[0].Text, std::string("Cannot list directory beta"));
    QCOMPARE(f.Ui.Boxes[0].Type, TMsgDlgType::mtError);
    f.OnScan = nullptr;
    main.MenuCheckForGames->trigger();
    QCOMPARE(main.GameList->count(), 5);
  }

  void startAndCloseInAnEmulatorDirectory() {
    TMainFixture f;
    f.MakeEmulatorDir({{"SPACE RACER II", "spcrcr2", gsInstalled},
                       {"mr. x", "mrx", gsNotAvailable},
                       {"Robo Pal", "robopal", gsInstalled}});
    TZipArchive::SetLibraryFallbackSearch(false);  // no unzip library anywhere
    TMain& main = f.StartReal();
    TZipArchive::SetLibraryFallbackSearch(true);
    QVERIFY(QFile::exists(f.Path("batch.bat")));
    QCOMPARE(f.Ui.Boxes.size(), std::size_t(1));
    QCOMPARE(f.Ui.Boxes[0].Text, std::string("3 new supported games found!"));
    QCOMPARE(f.Ui.Plain, std::vector<std::string>({"UNZIPLIB.DLL not found!"}));
    QCOMPARE(Rows(main), QStringList({"Mr. X", "Robo Pal", "Space Racer II"}));
    QCOMPARE(Checks(main), QList<bool>({false, true, true}));
    QCOMPARE(main.windowTitle(), QString("StartVELK 0.9.1 [3 of 3 games]"));
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.GameList->setCurrentRow(2);
    main.MenuStretched->trigger();
    main.close();
    QVERIFY(!QFile::exists(f.Path("batch.bat")));
    QVERIFY(!QFile::exists(f.Path("VELKStart.txt")));
    const QByteArray ini = f.Read("StartVELK.ini");
    QVERIFY2(ini.contains("NumOfGames=4\r\n"), ini.constData());
    QVERIFY(ini.contains("Original=0\r\nScaled=0\r\nStretched=1\r\n"));
    QVERIFY(ini.contains("LGLPos=2\r\n"));
    QVERIFY(ini.contains("[Game3]\r\nName=Robo Pal\r\nZipName=robopal\r\n"));

    // The next start is unchanged: no box, the same view and position.
    f.Ui.Boxes.clear();
    f.Ui.Plain.clear();
    TMain& again = f.StartReal();
    QVERIFY(f.Ui.Boxes.empty());
    QVERIFY(again.MenuStretched->isChecked() && !again.MenuScaled->isChecked());
    QCOMPARE(again.GameList->currentRow(), 2);
    QCOMPARE(Catalogue().CurrentGame, 1);
  }

  void settingsFileOfAnEmptyListAndAMaximisedWindow() {
    TMainFixture f;
    f.MakeEmulatorDir({{"Ready Game", "ready", gsInstalled}});
    f.StartReal().close();
    f.Ui.Boxes.clear();
    TMain& main = f.StartReal();
    main.MenuUnInstalledGames->trigger();
    QCOMPARE(main.GameList->count(), 0);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.resize(650, 430);
    QTRY_COMPARE(main.size(), QSize(650, 430));
    const QSize outer = main.frameGeometry().size();
    main.showMaximized();
    QTRY_VERIFY(main.isMaximized());
    QTRY_VERIFY(main.width() > 650);
    main.close();
    const QByteArray ini = f.Read("StartVELK.ini");
    QVERIFY2(ini.contains("Installed=1\r\nUnInstalled=0\r\nAll=0\r\n"), ini.constData());
    QVERIFY(ini.contains(QString("State=2\r\nWidth=%1\r\nHeight=%2\r\n")
                             .arg(outer.width())
                             .arg(outer.height())
                             .toUtf8()));
  }

  void allViewKeysOffStayOffThroughTheFile() {
    TMainFixture f;
    f.MakeEmulatorDir({{"Ready Game", "ready", gsInstalled}, {"Other Game", "other", 0}});
    f.StartReal().close();
    QByteArray ini = f.Read("StartVELK.ini");
    QVERIFY(ini.contains("All=1\r\n"));
    f.Write("StartVELK.ini", ini.replace("All=1\r\n", "All=0\r\n"));
    f.Ui.Boxes.clear();
    TMain& main = f.StartReal();
    QVERIFY(!main.MenuInstalledGames->isChecked() && !main.MenuUnInstalledGames->isChecked() &&
            !main.MenuAllGames->isChecked());
    QCOMPARE(Rows(main), QStringList({"Other Game"}));
    main.close();
    QVERIFY(f.Read("StartVELK.ini").contains("Installed=0\r\nUnInstalled=0\r\nAll=0\r\n"));
  }

  void aFailedStartUpReportsAndKeepsTheSettingsFile() {
    TMainFixture f;
    f.OnStartup = [] { throw std::runtime_error("StartVELK.ini cannot be read"); };
    TMain& main = f.Start(kGames);
    QCOMPARE(f.Ui.Boxes.size(), std::size_t(1));
    QCOMPARE(f.Ui.Boxes[0].Text, std::string("StartVELK.ini cannot be read"));
    QCOMPARE(main.GameList->count(), 0);
    QCOMPARE(main.windowTitle(), QString("StartVELK 0.9.1 [0 of 0 games]"));
    main.close();
    QCOMPARE(f.Shutdowns, 0);  // the unreadable file is not replaced by an empty catalogue
    QCOMPARE(f.BatchDeletes, 1);
  }

  void zipMessagesWithAnErrorCodeAreShown() {
    TMainFixture f;
    TMain& main = f.Start(kGames);
    main.ZipArchiveMessage(*main.ZipArchive, 0, "Listing archive");
    QVERIFY(f.Ui.Plain.empty());
    main.ZipArchiveMessage(*main.ZipArchive, 10104, "Error in zip file");
    QCOMPARE(f.Ui.Plain, std::vector<std::string>({"Error in zip file"}));
  }

  void searchNarrowsTheListAndTheSelectionFollows() {
    TMainFixture f;
    int starts = 0;
    TMain& main = StartCountingStarts(f, starts);
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.GameList->setFocus();
    QTest::keyClicks(main.GameList, "A");  // typed into the list, lands in the search field
    QVERIFY(main.GameSearch->hasFocus());
    QCOMPARE(Rows(main), QStringList({"Alpha One", "beta Blaster", "Delta Force", "gamma Ray"}));
    QCOMPARE(main.GameList->currentRow(), 1);  // the selected game stays selected
    QCOMPARE(main.windowTitle(), QString("StartVELK 0.9.1 [4 of 5 games]"));
    QTest::keyClicks(main.GameSearch, "MM");
    QCOMPARE(Rows(main), QStringList({"gamma Ray"}));
    QCOMPARE(Catalogue().CurrentGame, 3);
    QCOMPARE(Catalogue().LastGameListPos, 4);  // its row in the whole list
    QVERIFY(main.StartEmuButton->isEnabled());
    QTest::keyClick(main.GameSearch, Qt::Key_Return);
    QCOMPARE(starts, 1);
    QTest::keyClick(main.GameSearch, Qt::Key_Escape);
    QCOMPARE(main.GameSearch->text(), QString());
    QCOMPARE(main.GameList->count(), 5);
    QCOMPARE(main.GameList->currentRow(), 4);
    QTest::keyClicks(main.GameSearch, "zz");
    QCOMPARE(main.GameList->count(), 0);
    QCOMPARE(Catalogue().CurrentGame, -1);
    QVERIFY(!main.StartEmuButton->isEnabled());
    QTest::keyClick(main.GameSearch, Qt::Key_Return);
    QCOMPARE(starts, 1);
    QCOMPARE(main.windowTitle(), QString("StartVELK 0.9.1 [0 of 5 games]"));
    main.MenuInstalledGames->trigger();  // the view still filters under the search
    QTest::keyClick(main.GameSearch, Qt::Key_Escape);
    QCOMPARE(Rows(main), QStringList({"beta Blaster", "Epsilon", "gamma Ray"}));
    main.GameList->setFocus();
    QTest::keySequence(&main, QKeySequence::Find);
    QVERIFY(main.GameSearch->hasFocus());
  }

  void startButtonDoubleClickAndEnterReachTheStartHandler() {
    TMainFixture f;
    int starts = 0;
    TMain& main = StartCountingStarts(f, starts);
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QTest::mouseClick(main.StartEmuButton, Qt::LeftButton);
    QCOMPARE(starts, 1);
    const QRect row = main.GameList->RowRect(1);
    QTest::mouseClick(main.GameList->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(main.GameList->viewport(), Qt::LeftButton, {}, row.center());
    QCOMPARE(starts, 2);
    main.GameList->setFocus();
    QTest::keyClick(main.GameList, Qt::Key_Return);
    QCOMPARE(starts, 3);
    // Enter does nothing while the Start button is disabled; the double click is not guarded.
    main.GameList->setCurrentRow(0);
    QTest::keyClick(main.GameList, Qt::Key_Return);
    QCOMPARE(starts, 3);
  }

  void aRunningGameShowsWhateverIsSelectedAndItsProgressFitsTheStatusBar() {
    TMainFixture f;
    TMain& main = f.Start(kGames, {}, 1);  // beta Blaster, available
    TRecordingInteraction ui;
    TMainGameStart start(main, Catalogue(), ui);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    const std::int32_t beta = Catalogue().CurrentGame;
    start.RunBegins(beta);
    const QString running = "Running: " + ShownText(Catalogue().Games[beta].Name);
    QCOMPARE(main.ExecEmu->Title, Catalogue().Games[beta].Name.str() + " \u2014 VELK");
    for (int row : {3, 4}) {  // another available game selected meanwhile
      main.GameList->setCurrentRow(row);
      QVERIFY(!main.StartEmuButton->isEnabled());
      QCOMPARE(main.StartEmuButton->accessibleName(), running);
      QCOMPARE(main.StatusPanel1->text(), running);
    }
    // The largest counts, in the user's grouping, on one line of the 20-pixel bar.
    QLocale::setDefault(QLocale(QLocale::English));
    start.ShowUnzipProgress(999999, 999999);
    QCOMPARE(start.UnzipProgress->text(), QString("999,999 of 999,999 files"));
    QTest::qWait(50);
    const QRect bar = main.statusBar()->rect();
    for (QWidget* part :
         {static_cast<QWidget*>(start.UnzipProgress), static_cast<QWidget*>(start.UnzipCancel)}) {
      const QRect at(part->mapTo(main.statusBar(), QPoint(0, 0)), part->size());
      QVERIFY2(bar.contains(at), qPrintable(part->objectName()));
      QVERIFY(part->height() >= part->fontMetrics().height());
    }
    QVERIFY(start.UnzipProgress->fontMetrics().horizontalAdvance(start.UnzipProgress->text()) <
            start.UnzipProgress->width() - start.UnzipProgress->fontMetrics().height());
    start.HideUnzipProgress();
    start.RunEnded();
    QVERIFY(main.StartEmuButton->isEnabled());
    QCOMPARE(main.StatusPanel1->text(), TMain::StatusTitle());
    QCOMPARE(main.StartEmuButton->accessibleName(), QString("Start VELK Arcade Emulator"));
  }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
