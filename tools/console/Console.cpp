// startvelk-console [--title TEXT] [--minimized | --maximized] [--follow FILE] -- PROGRAM
//                   [ARGUMENT...]
//
// Runs PROGRAM and shows what it writes in a console-like window until it ends; then the window
// closes and the exit status is PROGRAM's. When PROGRAM failed (a status other than 0 after
// writing to its error output) the window stays, so that the reason can be read, until the user
// closes it or presses Enter or Escape. With --follow, what PROGRAM's programs write into FILE
// (the batch file redirects the emulator's output there) is shown too, as it grows. SIGUSR1 makes
// the window say that StartVELK, whose window was closed, cleans up when the game ends.

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Process.h"
#include "platform/RunSession.h"
#include "platform/Spawn_posix.h"
#include "ui/MainArtwork.h"

namespace {

constexpr int kFailedToStart = 127;  // the statuses a shell gives for these two cases
constexpr int kCrashed = 137;

int gNoticePipe[2] = {-1, -1};

void OnNoticeSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(gNoticePipe[1], &byte, 1);
}

// A file that another program writes while the run lasts, shown as it grows. What it held before
// the run is not shown: it counts as new once it differs from how it was at the start.
class TFollowedFile {
 public:
  explicit TFollowedFile(const QString& path) : FPath(path) {
    struct stat st;
    FHadStart = Stat(st);
    if (FHadStart) FStart = st;
  }

  /// What was added since the last call, at most a screenful of bytes at a time.
  QByteArray Read() {
    struct stat st;
    if (!Stat(st)) {
      FLive = true;  // gone: whatever comes next is new
      FOffset = 0;
      return {};
    }
    if (!FLive) {
      if (FHadStart && st.st_ino == FStart.st_ino && st.st_size == FStart.st_size &&
          st.st_mtim.tv_sec == FStart.st_mtim.tv_sec &&
          st.st_mtim.tv_nsec == FStart.st_mtim.tv_nsec)
        return {};
      FLive = true;
      FOffset = 0;
    }
    if (st.st_size < FOffset) FOffset = 0;  // written anew
    if (st.st_size == FOffset) return {};
    // Never a pipe or a device: reading one could block the window.
    const int fd = ::open(FFound.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    QByteArray bytes(static_cast<qsizetype>(std::min<off_t>(st.st_size - FOffset, 64 * 1024)), 0);
    struct stat opened;
    ssize_t got = -1;
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode))
      got = ::pread(fd, bytes.data(), static_cast<std::size_t>(bytes.size()), FOffset);
    ::close(fd);
    if (got <= 0) return {};
    FOffset += got;
    bytes.truncate(got);
    return bytes;
  }

 private:
  // The file as named, else the one entry of its folder that matches without regard to case, as
  // the batch interpreter finds it.
  bool Stat(struct stat& st) {
    FFound = QFile::encodeName(FPath);
    if (::stat(FFound.constData(), &st) == 0) return S_ISREG(st.st_mode);
    const QFileInfo info(FPath);
    const QStringList names = info.dir().entryList({info.fileName()}, QDir::Files | QDir::System);
    if (names.size() != 1) return false;
    FFound = QFile::encodeName(info.dir().filePath(names.front()));
    return ::stat(FFound.constData(), &st) == 0 && S_ISREG(st.st_mode);
  }

  QString FPath;
  QByteArray FFound;
  struct stat FStart {};
  bool FHadStart = false;
  bool FLive = false;
  off_t FOffset = 0;
};

class TConsoleWindow : public QPlainTextEdit {
 public:
  explicit TConsoleWindow(const QString& title) {
    setWindowTitle(title);
    setWindowIcon(artwork::ProgramIcon());
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

  // The program writes into pipes of the window's own, read until every program of the run that
  // holds them has closed them: a program that outlives the first one, or that is still ending
  // when the window is closed, never writes into a closed pipe (and dies of it).
  void Run(const std::string& program, const std::vector<std::string>& arguments) {
    // As in a terminal, the programs inside learn the window they show in.
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
      ::setenv("WINDOWID", std::to_string(winId()).c_str(), 1);
    int out[2] = {-1, -1}, err[2] = {-1, -1};
    const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);  // the program sees no input
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
      FailToStart(std::strerror(errno));
      return;
    }
    platform::TSpawnOptions options;
    options.StdIn = input;
    options.StdOut = out[1];
    options.StdErr = err[1];
    std::vector<std::string> argv{program};
    if (program.find('/') == std::string::npos)
      if (const auto found = platform::FindOnPath(program)) argv[0] = *found;
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::string error;
    FChild = platform::SpawnArgv(argv, options, &error);
    for (const int fd : {input, out[1], err[1]}) ::close(fd);
    Watch(out[0], false);
    Watch(err[0], true);
    if (!FChild.Valid()) {
      FailToStart(error);
      return;
    }
    auto* ended = new QSocketNotifier(static_cast<qintptr>(FChild.WaitHandle()),
                                      QSocketNotifier::Read, this);
    connect(ended, &QSocketNotifier::activated, this, [this, ended] {
      if (!FChild.HasEnded()) return;
      ended->setEnabled(false);
      FEndCode = FChild.ExitCode().value_or(kCrashed);
      FinishOnceQuiet();
    });
  }

  int ExitCode() const { return FExitCode; }

  /// Shows what is written into path while the run lasts.
  void Follow(const QString& path) {
    FFollowed = std::make_unique<TFollowedFile>(path);
    connect(&FFollowTimer, &QTimer::timeout, this, [this] { Append(FFollowed->Read()); });
    FFollowTimer.start(250);
  }

  /// Says that StartVELK cleans up when the game ends, its own window being closed.
  void ShowCleanUpNotice() {
    Append("\nStartVELK's window is closed. StartVELK will clean up when the game ends.\n");
  }

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
    if (!FFinished && FChild.Valid() && !FChild.HasEnded()) {
      const std::int64_t self = ::getpid();
      if (::getsid(0) == self) {
        platform::EndRunProcesses(self, false);
        EndTheRestOfTheRun(self);
      } else {
        ::kill(static_cast<pid_t>(FChild.Id()), SIGTERM);
      }
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

  // Programs that take their time to end get a moment of their own, then are ended; what they
  // write meanwhile is still read.
  void EndTheRestOfTheRun(std::int64_t self) {
    platform::TRunWatch run(self);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!run.Ended()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        platform::EndRunProcesses(self, true);
        return;
      }
      pollfd p{static_cast<int>(run.WaitHandle()), POLLIN, 0};
      ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
  }

  void Watch(int fd, bool errors) {
    if (fd < 0) return;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ++FOpenPipes;
    auto* notifier = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, notifier, fd, errors] {
      char buffer[65536];
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) {
        FWroteErrors = FWroteErrors || errors;
        Append(QByteArray(buffer, static_cast<int>(n)));
        return;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
      notifier->setEnabled(false);  // every writer has closed it
      ::close(fd);
      --FOpenPipes;
      FinishOnceQuiet();
    });
  }

  // Said once the window runs, so that its closing reaches a running event loop.
  void FailToStart(const std::string& why) {
    QTimer::singleShot(0, this, [this, why] {
      FWroteErrors = true;
      Append(QByteArray("startvelk-console: ") + why.c_str() + "\n");
      Finish(kFailedToStart);
    });
  }

  // The run is over for the window once its first program has ended and nothing more can be
  // written to it.
  void FinishOnceQuiet() {
    if (FEndCode >= 0 && FOpenPipes == 0) Finish(FEndCode);
  }

  void Finish(int code) {
    if (FFinished) return;
    FFinished = true;
    FExitCode = code;
    if (FFollowed) {
      FFollowTimer.stop();
      for (QByteArray rest = FFollowed->Read(); !rest.isEmpty(); rest = FFollowed->Read())
        Append(rest);
    }
    if (code != 0 && FWroteErrors) {
      Append("\nPress Enter or close this window.\n");
      return;
    }
    close();
  }

  platform::TChildProcess FChild;
  std::unique_ptr<TFollowedFile> FFollowed;
  QTimer FFollowTimer;
  int FOpenPipes = 0;
  int FEndCode = -1;  // the first program's status once it has ended
  bool FFinished = false;
  bool FWroteErrors = false;
  int FExitCode = 0;
};

int Usage() {
  std::fputs(
      "usage: startvelk-console [--title TEXT] [--minimized | --maximized] [--follow FILE] --"
      " PROGRAM [ARGUMENT...]\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // The options are read before Qt sees them, so that none of PROGRAM's arguments is taken as one
  // of Qt's own.
  QString title = QStringLiteral("StartVELK console");
  Qt::WindowState state = Qt::WindowNoState;
  QString followed;
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
    } else if (arg == "--follow" && first + 1 < argc) {
      followed = QString::fromLocal8Bit(argv[++first]);
    } else {
      return Usage();
    }
  }
  if (first >= argc) return Usage();
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  // The program's class and desktop entry: the task bar shows the window as StartVELK's.
  QApplication::setApplicationName(QStringLiteral("StartVELK"));
  QGuiApplication::setDesktopFileName(QStringLiteral("startvelk"));
  std::vector<std::string> arguments(argv + first + 1, argv + argc);
  TConsoleWindow window(title);
  window.setWindowState(state);
  window.show();
  if (!followed.isEmpty()) window.Follow(followed);
  // The signal is turned into an event of the window's loop; the programs inside do not inherit
  // the handler.
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gNoticePipe) == 0) {
    auto* notifier = new QSocketNotifier(gNoticePipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
      char byte;
      while (::read(gNoticePipe[0], &byte, 1) > 0) {
      }
      window.ShowCleanUpNotice();
    });
    struct sigaction action {};
    action.sa_handler = OnNoticeSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGUSR1, &action, nullptr);
  }
  window.Run(argv[first], arguments);
  app.exec();
  return window.ExitCode();
}
