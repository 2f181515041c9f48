// Program entry: the two required files, the application, the windows, the message loop.

#include <QApplication>
#include <QPointer>
#include <QString>
#include <optional>
#include <string>
#ifndef _WIN32
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>
#endif

#include "catalogue/Catalogue.h"
#include "catalogue/EmulatorFolder.h"
#include "catalogue/Scans.h"
#include "catalogue/SettingsFile.h"
#include "platform/Files.h"
#include "ui/DesktopSession.h"
#include "ui/FolderChoice.h"
#include "ui/HistoryViews.h"
#include "ui/MainArtwork.h"
#include "ui/MainStart.h"
#include "ui/MainWindow.h"
#include "ui/QtUserInteraction.h"
#include "ui/SingleInstance.h"
#include "ui/StartUtils.h"

namespace {

#ifndef _WIN32
// The end of a desktop session (SIGTERM, SIGHUP) or Ctrl+C closes the main window as the user
// would, so the settings are saved and the batch files removed. The handler only writes a byte;
// the window is closed from the event loop.
int gSignalPipe[2] = {-1, -1};
// A signal that came before the main window existed: the window is closed as soon as it is made.
bool gEndBeforeWindow = false;

void OnTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(gSignalPipe[1], &byte, 1);
}

void CloseOnTerminationSignals(QPointer<QWidget>* mainWindow) {
  // Not inherited by the emulator; never blocking the handler, however many signals come.
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gSignalPipe) != 0)
    return;
  auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, qApp, [mainWindow] {
    char byte;
    [[maybe_unused]] const auto got = ::read(gSignalPipe[0], &byte, 1);
    if (*mainWindow) {
      (*mainWindow)->close();
    } else {
      // A report box of the start-up is answered, later ones are not shown, and the window is
      // closed once it is made; a box about a missing file ends the program.
      gEndBeforeWindow = true;
      QtUserInteraction().SuppressBoxes();
      QCoreApplication::exit(1);  // also ends the loop of a box shown before the window
    }
  });
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  // The emulator folder: the one named, the working one, or one the user chose before. When none
  // is known, the user is asked once the application exists.
  const TFolderFound found =
      FindEmulatorFolder(platform::GetCurrentDir(), FolderArgument(argc, argv),
                         ReadRecentFolders(RecentFoldersFile()));
  const bool entered =
      found.Source != TFolderSource::fsNone && platform::SetCurrentDir(found.Folder);
  // The game folders and the settings file are read on other threads while the application and
  // the window are built; not when the emulator's files are missing and the program ends.
  const std::string gameDir = platform::GetCurrentDir();
  std::optional<TFolderSurvey> survey;
  std::optional<TSettingsAhead> settings;
  if (entered && StartupFilesExist()) {
    survey.emplace(gameDir, UserScanMemory(gameDir));
    settings.emplace(gameDir);
  }
  UseXWaylandForClipboard(argc, argv);
  QApplication app(argc, argv);
  // No display name: the platform would append it to every caption. The name gives the windows
  // their class, and the desktop entry's name tells the task bar which name and icon they belong
  // to; both before the first window, which may be a box about the emulator folder.
  QApplication::setApplicationName("StartVELK");
  QGuiApplication::setDesktopFileName("startvelk");
  TQtUserInteraction& ui = QtUserInteraction();
  QPointer<QWidget> mainWindow;
#ifndef _WIN32
  CloseOnTerminationSignals(&mainWindow);
#endif
  // Before any window: a missing emulator or readme ends the program after one box, unless the
  // user chooses the emulator folder then. One StartVELK per emulator folder.
  if (!EnterEmulatorFolder(found, ui)) return 1;
  TSingleInstance instance;
  if (!instance.Claim(platform::GetCurrentDir(), ui)) return 0;
  const artwork::TPicturesAhead firstPictures;  // painted while the window is built
  QApplication::setWindowIcon(artwork::ProgramIcon());

  TMainHooks hooks =
      DefaultMainHooks(ui, survey ? &*survey : nullptr, settings ? &*settings : nullptr);
  hooks.OnClose = [&ui] { ui.RequestQuit(); };
  TPlayHistoryViews history(ui);
  history.AddHooks(hooks);
  TMain main(ui, std::move(hooks));
  platform::EndHeldListing();  // the start's look-ups in the emulator's folder are done
  TMainGameStart gameStart(main, Catalogue(), ui);
  mainWindow = &main;
  instance.SetWindow(&main);
  TFolderMenu folderMenu(main);
  history.Attach(main, gameStart, folderMenu);
  gameStart.RunningGame.OnRunning = [&folderMenu](bool running) {
    folderMenu.SetEnabled(!running);
  };
  gameStart.RunningGame.OnClosedDuringRun = [&instance](const QString& game) {
    instance.WaitingForGame(game);
  };
#ifndef _WIN32
  if (gEndBeforeWindow) {
    main.close();  // settings saved and batch files deleted, as a close does
    return 0;
  }
#endif
  ui.OnSetStatusText = [&main](const std::string& text) { main.SetStatusText(text); };
  ui.OnResetStatusText = [&main] { main.ResetStatusText(); };
  SetDialogOwner(&main);  // its dialogs are made when first asked for
  main.ShowAsStarted();
  const int result = app.exec();
  ui.OnSetStatusText = nullptr;
  ui.OnResetStatusText = nullptr;
  folderMenu.StartChosenFolder();
  if (survey) {
    // The window is gone and the settings are written: what remains may take a moment.
    instance.Release();
    survey->KeepListingForNextStart();
  }
  return result;
}
