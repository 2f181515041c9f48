// Program entry: the two required files, the application, the windows, the message loop.

#include <QApplication>
#include <QMessageBox>
#include <QString>

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

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TInterimInteraction ui;
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
  main.ShowAsStarted();
  return app.exec();
}
