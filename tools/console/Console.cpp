// startvelk-console [--title TEXT] [--minimized | --maximized] -- PROGRAM [ARGUMENT...]
//
// Runs PROGRAM and shows what it writes in a console-like window until it ends; then the window
// closes and the exit status is PROGRAM's. When PROGRAM failed (a status other than 0 after
// writing to its error output) the window stays, so that the reason can be read, until the user
// closes it or presses Enter or Escape.

#include <QApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QStringList>
#include <chrono>
#include <cstdio>

#include <poll.h>
#include <unistd.h>

#include "platform/RunSession.h"

namespace {

constexpr int kFailedToStart = 127;  // the statuses a shell gives for these two cases
constexpr int kCrashed = 137;

class TConsoleWindow : public QPlainTextEdit {
 public:
  explicit TConsoleWindow(const QString& title) {
    setWindowTitle(title);
    setAccessibleName(title);
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setMaximumBlockCount(10000);  // a chatty program must not fill the memory
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setFont(font);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, QColor(12, 12, 12));
    colours.setColor(QPalette::Text, QColor(204, 204, 204));
    setPalette(colours);
    const QFontMetrics metrics(font);
    resize(metrics.horizontalAdvance(QLatin1Char('M')) * 80 + 24, metrics.lineSpacing() * 25 + 12);
  }

  void Run(const QString& program, const QStringList& arguments) {
    connect(&FProcess, &QProcess::readyReadStandardOutput, this,
            [this] { Append(FProcess.readAllStandardOutput()); });
    connect(&FProcess, &QProcess::readyReadStandardError, this, [this] {
      const QByteArray text = FProcess.readAllStandardError();
      FWroteErrors = FWroteErrors || !text.isEmpty();
      Append(text);
    });
    connect(&FProcess, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
      Finish(status == QProcess::NormalExit ? code : kCrashed);
    });
    connect(&FProcess, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
      if (error != QProcess::FailedToStart) return;
      FWroteErrors = true;
      Append(("startvelk-console: " + FProcess.errorString() + "\n").toLocal8Bit());
      Finish(kFailedToStart);
    });
    // As in a terminal, the programs inside learn the window they show in.
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert(QStringLiteral("WINDOWID"), QString::number(winId()));
      FProcess.setProcessEnvironment(env);
    }
    FProcess.setProgram(program);
    FProcess.setArguments(arguments);
    FProcess.start(QIODevice::ReadOnly);  // nothing to read: the program sees an empty input
  }

  int ExitCode() const { return FExitCode; }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (FFinished && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
                      event->key() == Qt::Key_Escape)) {
      close();
      return;
    }
    QPlainTextEdit::keyPressEvent(event);
  }

  void closeEvent(QCloseEvent* event) override {
    // Closing the window while the program runs ends it and every program it started, as
    // closing a console does: the front-end removes an unzipped game's files once the last of
    // them has ended, and none may be left reading them.
    if (!FFinished && FProcess.state() != QProcess::NotRunning) {
      const bool leader = ::getsid(0) == ::getpid();
      if (leader) platform::EndRunProcesses(::getpid(), false);
      FProcess.terminate();
      if (!FProcess.waitForFinished(3000)) FProcess.kill();
      if (leader) EndTheRestOfTheRun();
    }
    QPlainTextEdit::closeEvent(event);
  }

 private:
  void Append(const QByteArray& bytes) {
    QString text = QString::fromLocal8Bit(bytes);
    text.remove(QLatin1Char('\r'));
    moveCursor(QTextCursor::End);
    insertPlainText(text);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  }

  // Programs that outlive the batch interpreter get a moment of their own, then are ended.
  static void EndTheRestOfTheRun() {
    platform::TRunWatch run(::getpid());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!run.Ended()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        platform::EndRunProcesses(::getpid(), true);
        return;
      }
      pollfd p{static_cast<int>(run.WaitHandle()), POLLIN, 0};
      ::poll(&p, 1, static_cast<int>(left.count()));
    }
  }

  void Finish(int code) {
    if (FFinished) return;
    FFinished = true;
    FExitCode = code;
    Append(FProcess.readAllStandardOutput());
    Append(FProcess.readAllStandardError());
    if (code != 0 && FWroteErrors) {
      Append("\nPress Enter or close this window.\n");
      return;
    }
    close();
  }

  QProcess FProcess;
  bool FFinished = false;
  bool FWroteErrors = false;
  int FExitCode = 0;
};

int Usage() {
  std::fputs(
      "usage: startvelk-console [--title TEXT] [--minimized | --maximized] -- PROGRAM"
      " [ARGUMENT...]\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // The options are read before Qt sees them, so that none of PROGRAM's arguments is taken as one
  // of Qt's own.
  QString title = QStringLiteral("StartVELK console");
  Qt::WindowState state = Qt::WindowNoState;
  int first = 1;
  for (; first < argc; ++first) {
    const QByteArray arg(argv[first]);
    if (arg == "--") {
      ++first;
      break;
    }
    if (arg == "--title" && first + 1 < argc) {
      title = QString::fromLocal8Bit(argv[++first]);
    } else if (arg == "--minimized") {
      state = Qt::WindowMinimized;
    } else if (arg == "--maximized") {
      state = Qt::WindowMaximized;
    } else {
      return Usage();
    }
  }
  if (first >= argc) return Usage();
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral("startvelk"));
  QStringList arguments;
  for (int i = first + 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  TConsoleWindow window(title);
  window.setWindowState(state);
  window.show();
  window.Run(QString::fromLocal8Bit(argv[first]), arguments);
  app.exec();
  return window.ExitCode();
}
