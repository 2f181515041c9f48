#pragma once

#include <QObject>
#include <functional>
#include <string>

/// The way a later start in an emulator folder reaches the StartVELK that holds it: a local socket
/// beside the folder's lock (a named pipe on Windows). The holder listens; a caller sends one
/// line, "raise", and the holder answers "ok" once it has shown its window.
class TInstanceChannel : public QObject {
 public:
  explicit TInstanceChannel(QObject* parent = nullptr);
  ~TInstanceChannel() override;

  /// Listens for the holder of the lock at lockPath, any socket a dead holder left there
  /// replaced; onRaise is called for every caller's request. False when it cannot listen.
  bool Listen(const std::string& lockPath, std::function<void()> onRaise);
  /// Callers are no longer answered.
  void Close();

  /// Asks the holder of the lock at lockPath to show its window; true when it answered. It may
  /// still be starting (its window and its listening come after the lock), so it is given a few
  /// seconds.
  static bool AskToRaise(const std::string& lockPath);

 private:
  struct TState;
  TState* FState = nullptr;
};
