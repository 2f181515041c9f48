#pragma once

// The real startvelk, started on an X server of its own in a generated emulator directory: what
// the whole-program tests share.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <QString>
#include <optional>

namespace programrun {

/// Writes bytes to path, creating its folder.
void WriteText(const QString& path, const QByteArray& text);

/// The running startvelk whose working directory is dir, found through /proc.
std::optional<qint64> ProgramIn(const QString& dir);

/// Window names on the X display the program runs on; empty when xwininfo is missing.
QString WindowNames(qint64 pid);

/// The X display and authority the program runs on, read from its environment.
QProcessEnvironment DisplayOf(qint64 pid);

/// Runs xdotool on the program's display; true when it succeeded. Its output goes to output.
bool Xdo(qint64 pid, const QStringList& args, QByteArray* output = nullptr);

/// Asks the windows that xdotool finds with search on the program's display to close, as a window
/// manager does when its close button is pressed (WM_DELETE_WINDOW). True when a window was asked.
bool CloseWindows(qint64 pid, const QStringList& search);

/// velk.exe's date as the settings file stores it, so that a start counts as unchanged.
QByteArray EmuExeDate(const QString& velk);

/// Makes path an executable shell script with the given body.
void WriteScript(const QString& path, const QByteArray& body);

}  // namespace programrun

/// startvelk on an X server of its own in dir; killed with its X server when the test ends.
class TProgramRun {
 public:
  explicit TProgramRun(const QString& dir);
  ~TProgramRun();
  TProgramRun(const TProgramRun&) = delete;
  TProgramRun& operator=(const TProgramRun&) = delete;
  QProcess& Process() { return FProgram; }

 private:
  QString FDir;
  QTemporaryDir FAuthority;  // the X server's cookie
  QProcess FServer;
  QProcess FProgram;
};
