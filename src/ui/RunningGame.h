#pragma once

#include <QIcon>
#include <QString>
#include <functional>

class TMain;

/// What shows that a game runs: the Start button says so and starts nothing, the status bar names
/// the game until the run has ended, and the console window carries the game's name. When the
/// window is closed during a run, a desktop notification (or, where none can be shown, the
/// console window) tells the user that StartVELK cleans up when the game ends.
class TRunningGame {
 public:
  explicit TRunningGame(TMain& main) : FMain(main) {}

  void Begins(const QString& name);
  void Ends();
  /// The window was closed; the program stays until the game ends. consolePid is the console
  /// window's process, told to show the notice when no notification can be shown.
  void ClosedDuringRun(std::int64_t consolePid);

  bool Active() const { return !FName.isEmpty(); }
  const QString& Name() const { return FName; }

  /// The Start button's and the status bar's words for a running game.
  static QString StatusText(const QString& name);
  static QString ConsoleTitle(const QString& name);
  static QString CleanUpNotice(const QString& name);

  /// Called with true when a run begins and false when it has ended.
  std::function<void(bool running)> OnRunning;
  /// Called when the window closed during the run, with the game's name.
  std::function<void(const QString& name)> OnClosedDuringRun;

 private:
  TMain& FMain;
  QString FName;
  QString FStartText;
  QIcon FStartIcon;
};

/// Shows a notification on the desktop; false when the desktop has no notification service.
bool ShowDesktopNotification(const QString& summary, const QString& body);
