// Program entry: the two required files, the application, the windows, the message loop.

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#ifndef _WIN32
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "platform/Files.h"
#include "platform/UserInteraction.h"
#include "ui/MainWindow.h"

namespace {

// Interim user interaction until the dialogs' implementation is wired in.
class TInterimInteraction : public TUserInteraction {
 public:
  TMain* Main = nullptr;
  TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons) override {
    QString t = QString::fromStdString(text);
    t.replace('\r', '\n');
    if (type == TMsgDlgType::mtConfirmation)
      return QMessageBox::question(nullptr, "Confirm", t) == QMessageBox::Yes ? TModalResult::mrYes
                                                                               : TModalResult::mrNo;
    QMessageBox::critical(nullptr, type == TMsgDlgType::mtError ? "Error" : "Information", t);
    return TModalResult::mrOk;
  }
  void ShowMessage(const std::string& text) override {
    QMessageBox::information(nullptr, "StartVELK", QString::fromStdString(text));
  }
  void Beep() override { QApplication::beep(); }
  void SetStatusText(const std::string& text) override {
    if (Main) Main->SetStatusText(text);
  }
  void ResetStatusText() override {
    if (Main) Main->ResetStatusText();
  }
  void ProcessMessages() override { QApplication::processEvents(); }
  bool WaitDispatching(TWaitHandle) override { return false; }
  bool QuitRequested() const override { return false; }
};

#ifndef _WIN32
// The end of a desktop session (SIGTERM, SIGHUP) or Ctrl+C closes the main window as the user
// would, so the settings are saved and the batch files removed. The handler only writes a byte;
// the window is closed from the event loop.
int gSignalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(gSignalPipe[1], &byte, 1);
}

void CloseOnTerminationSignals(QPointer<QWidget>* mainWindow) {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, qApp, [mainWindow] {
    char byte;
    [[maybe_unused]] const auto got = ::read(gSignalPipe[0], &byte, 1);
    if (*mainWindow)
      (*mainWindow)->close();
    else
      QCoreApplication::exit(1);  // also ends the loop of a box shown before the window
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
  QApplication app(argc, argv);
  TInterimInteraction ui;
  QPointer<QWidget> mainWindow;
#ifndef _WIN32
  CloseOnTerminationSignals(&mainWindow);
#endif
  for (const char* name : {"velk.exe", "readme.txt"}) {
    if (!platform::FileExists(name)) {
      ui.MessageDlg(std::string("File not found: ") + name + "\rThis file is needed by StartVELK.",
                    TMsgDlgType::mtError, mbCancel);
      return 1;
    }
  }
  QApplication::setApplicationName("StartVELK");
  QApplication::setApplicationDisplayName("StartVELK");
  TMain main(ui, DefaultMainHooks(ui));
  ui.Main = &main;
  mainWindow = &main;
  main.ShowAsStarted();
  return app.exec();
}
