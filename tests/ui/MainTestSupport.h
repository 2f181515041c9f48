#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "catalogue/WindowState.h"
#include "RecordingInteraction.h"
#include "ui/MainWindow.h"

/// One game of a generated catalogue.
struct TTestGame {
  std::string Name;
  std::string ZipName;
  std::int32_t Status = gsInstalled;
  bool UseDefSettings = true;
};

/// A temporary emulator directory as the working directory, a catalogue put straight into memory
/// by the start-up hook, and the window state the shutdown hook was handed.
class TMainFixture {
 public:
  TMainFixture() : FOldDir(QDir::currentPath()) { QDir::setCurrent(FDir.path()); }
  ~TMainFixture() {
    Main.reset();
    QDir::setCurrent(FOldDir);
    Catalogue() = TCatalogue{};
  }

  QString Path(const QString& relative) const { return FDir.filePath(relative); }

  /// Creates the window on these games; state is what the settings file would have given.
  TMain& Start(const std::vector<TTestGame>& games, TWindowState state = {},
               std::int32_t lastGameListPos = 0) {
    Catalogue() = TCatalogue{};
    TMainHooks hooks;
    hooks.StartupIO = [=, this](TWindowState& window) {
      if (OnStartup) OnStartup();
      TCatalogue& cat = Catalogue();
      cat.Games.resize(1);
      InitGameRecord(cat.Games[0]);
      cat.GameStatus.assign(1, 0);
      for (const TTestGame& g : games) {
        TGameRecord record;
        InitGameRecord(record);
        record.Name = g.Name;
        record.ZipName = g.ZipName;
        record.UseDefSettings = g.UseDefSettings;
        cat.Games.push_back(record);
        cat.GameStatus.push_back(g.Status);
      }
      cat.LastGameListPos = lastGameListPos;
      window = state;
      ++Startups;
    };
    hooks.ShutdownIO = [this](const TWindowState& window) {
      Saved = window;
      ++Shutdowns;
    };
    hooks.DeleteBatchFiles = [this] { ++BatchDeletes; };
    hooks.ScanGameAvailability = [this] {
      ++Scans;
      if (OnScan) OnScan();
    };
    Main = std::make_unique<TMain>(Ui, std::move(hooks));
    return *Main;
  }

  /// Creates the window with the program's own hooks on the files of the directory.
  TMain& StartReal() {
    Catalogue() = TCatalogue{};
    Main = std::make_unique<TMain>(Ui, DefaultMainHooks(Ui));
    return *Main;
  }

  /// Writes a file below the directory, with parent folders.
  void Write(const QString& relative, const QByteArray& bytes) const {
    QDir().mkpath(QFileInfo(Path(relative)).path());
    QFile file(Path(relative));
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
  }

  /// An emulator directory: velk.exe, a readme listing the games, a driver directory for each and
  /// enough files in the installed ones.
  void MakeEmulatorDir(const std::vector<TTestGame>& games) const {
    Write("velk.exe", "#!/bin/sh\n");
    QByteArray readme = "VELK\r\ngameslist:\r\n";
    for (const TTestGame& g : games) {
      readme +=
          QByteArray::fromStdString(g.Name) + " | " + QByteArray::fromStdString(g.ZipName) + "\r\n";
      const QString zip = QString::fromStdString(g.ZipName);
      Write(zip + "/" + zip + ".vlk", "driver");
      if (g.Status == gsInstalled)
        for (int i = 0; i < 4; ++i) Write(zip + QString("/rom%1.bin").arg(i), "rom");
    }
    Write("readme.txt", readme);
  }

  QByteArray Read(const QString& relative) const {
    QFile file(Path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  TRecordingInteraction Ui;
  std::unique_ptr<TMain> Main;
  TWindowState Saved;
  int Startups = 0;
  int Shutdowns = 0;
  int Scans = 0;
  int BatchDeletes = 0;
  std::function<void()> OnScan;
  std::function<void()> OnStartup;

 private:
  QTemporaryDir FDir;
  QString FOldDir;
};
