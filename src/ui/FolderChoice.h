#pragma once

#include <QObject>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/EmulatorFolder.h"

class QAction;
class QMenu;
class QWidget;
class TMain;
class TQtUserInteraction;

/// The folder dialog for the emulator folder: OK only on a folder that holds velk.exe and
/// readme.txt, the status area saying which is missing. Returns the folder chosen.
std::optional<std::string> ChooseEmulatorFolder(QWidget* parent, const std::string& start);

/// Adds folder in front of the remembered folders; a list that cannot be written is left as it
/// was (the folder is then asked for again at a later start).
void RememberEmulatorFolder(const std::string& folder);

/// Makes the emulator folder of this start the working folder. A folder named on the command line
/// must hold the emulator (the box of the missing file says which, with "Cancel" alone); without
/// a folder found, the box of the file missing here offers the folder dialog. False when the
/// program ends.
bool EnterEmulatorFolder(const TFolderFound& found, TQtUserInteraction& ui);

/// The File menu: "Open Emulator Folder..." and the folders opened recently. A choice closes the
/// window as a close does (settings saved, batch files removed); StartVELK then starts anew in the
/// folder chosen, since the catalogue is built once per run.
class TFolderMenu : public QObject {
 public:
  explicit TFolderMenu(TMain& main);

  /// Leaving the folder waits while a game runs.
  void SetEnabled(bool enabled);
  /// An entry of another unit, kept above Quit whenever the menu is rebuilt.
  void AddEntry(QAction* entry);
  /// After the message loop: starts the program in the folder chosen, if one was.
  void StartChosenFolder() const;

  QMenu* MenuFile = nullptr;
  QAction* MenuOpenEmulatorFolder = nullptr;

 private:
  void Rebuild();
  void Open(const std::string& folder);

  TMain& FMain;
  std::optional<std::string> FChosen;
  std::vector<QAction*> FEntries;
  bool FEnabled = true;
};
