// Pictures of the real main window for review: run in an emulator directory on an X server,
//   MainWindowShots <output folder>
// It starts the window on the directory's catalogue as the program does, and saves one PNG per
// view (each tab, without the pages, without the status bar, a screenshot in each scaling mode).

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QMenu>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <cstdio>

#include "ui/GameListView.h"
#include "ui/MainWindow.h"
#include "ui/QtUserInteraction.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: MainWindowShots <output folder>\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  TQtUserInteraction& ui = QtUserInteraction();
  TMainHooks hooks = DefaultMainHooks(ui);
  hooks.ShutdownIO = nullptr;  // leave the directory as it was
  TMain main(ui, std::move(hooks));
  main.ShowAsStarted();
  if (!QTest::qWaitForWindowExposed(&main)) return 1;
  auto shot = [&](const char* name) {
    QTest::qWait(300);
    main.grab().save(out.filePath(QString(name) + ".png"));
  };
  for (int row = 0; row < main.GameList->count(); ++row) {
    main.GameList->setCurrentRow(row);
    if (!main.ScreenShotFiles().empty()) break;
  }
  shot("1-screenshot-scaled");
  main.MenuOriginal->trigger();
  shot("2-screenshot-original");
  main.MenuStretched->trigger();
  shot("3-screenshot-stretched");
  main.MenuScaled->trigger();
  main.PageControl->setCurrentWidget(main.SettingsTab);
  shot("4-settings");
  main.ChUseDefSettings->setChecked(false);
  shot("5-settings-own");
  main.ChUseDefSettings->setChecked(true);
  main.MenuSetDefaultSettings->trigger();
  shot("6-settings-defaults");
  main.SaveDefaultSettingsButtonClick();
  main.PageControl->setCurrentWidget(main.ScreenShotTab);
  main.MenuViewTabSheet->trigger();
  shot("7-no-tab-sheet");
  main.MenuViewStatBar->trigger();
  shot("8-no-tab-sheet-no-status-bar");
  main.MenuViewTabSheet->trigger();
  shot("9-no-status-bar");
  main.MenuViewStatBar->trigger();
  main.MenuShowControls->trigger();
  shot("10-controls-hidden");
  main.MenuShowControls->trigger();
  main.resize(900, 620);
  shot("11-large");
  int n = 12;
  for (QMenu* menu : {main.MenuView, main.MenuTools, main.MenuScreenShot, main.MenuHelp}) {
    menu->popup(main.mapToGlobal(QPoint(20, 20)));
    QTest::qWait(300);
    menu->grab().save(out.filePath(QString("%1-menu-%2.png").arg(n++).arg(menu->objectName())));
    menu->hide();
  }
  return 0;
}
