#include "ui/FolderChoice.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>

#include "catalogue/Catalogue.h"
#include "catalogue/SettingsFile.h"
#include "platform/Files.h"
#include "ui/BrowseFolder.h"
#include "ui/MainWindow.h"
#include "ui/QtUserInteraction.h"
#include "ui/StartUtils.h"

namespace {

QString MissingText(const std::vector<std::string>& missing) {
  if (missing.empty()) return QStringLiteral("VELK is installed here");
  if (missing.size() == 1)
    return QStringLiteral("%1 is missing here").arg(QString::fromStdString(missing[0]));
  return QStringLiteral("%1 and %2 are missing here")
      .arg(QString::fromStdString(missing[0]), QString::fromStdString(missing[1]));
}

}  // namespace

std::optional<std::string> ChooseEmulatorFolder(QWidget* parent, const std::string& start) {
  TBrowseFolder browser(parent);
  browser.Title = QStringLiteral("Choose the folder in which VELK is installed");
  browser.Flags = bfFileSysDirsOnly | bfStatusText;
  browser.Directory = start;
  browser.OnSelectionChanged = [](TBrowseFolder& sender, QDialog*, const QModelIndex&,
                                  const std::string& directory) {
    const std::vector<std::string> missing =
        directory.empty() ? std::vector<std::string>{EmuExeName, "readme.txt"}
                          : MissingStartupFiles(directory);
    sender.SetStatusText(MissingText(missing));
    sender.EnableOK(!directory.empty() && missing.empty());
  };
  if (!browser.Execute() || browser.Directory.empty()) return std::nullopt;
  // The dialog's OK follows the selection; the folder is checked once more as it is taken.
  if (!MissingStartupFiles(browser.Directory).empty()) return std::nullopt;
  return browser.Directory;
}

void RememberEmulatorFolder(const std::string& folder) {
  const std::string file = RecentFoldersFile();
  WriteRecentFolders(file, AddRecentFolder(ReadRecentFolders(file), folder), nullptr);
}

bool EnterEmulatorFolder(const TFolderFound& found, TQtUserInteraction& ui) {
  std::string folder = found.Folder;
  if (found.Source == TFolderSource::fsArgument && !platform::DirectoryExists(folder)) {
    ui.MessageDlg("Folder not found: " + folder +
                      "\rStart StartVELK with the folder in which VELK is installed.",
                  TMsgDlgType::mtError, mbCancel);
    return false;
  }
  if (found.Source == TFolderSource::fsNone) {
    // Started where the emulator is not (from the menu, say): the box of the missing file offers
    // the folder dialog instead of ending the program.
    const std::string here = platform::GetCurrentDir();
    const std::vector<std::string> missing = MissingStartupFiles(here);
    const std::string file = missing.empty() ? std::string("velk.exe") : missing.front();
    for (;;) {
      if (!ui.ErrorWithChoice("File not found: " + file + "\rThis file is needed by StartVELK.",
                              QStringLiteral("Choose Emulator &Folder...")))
        return false;
      const char* home = std::getenv("HOME");
      if (const auto chosen = ChooseEmulatorFolder(nullptr, home ? home : here)) {
        folder = *chosen;
        break;
      }
    }
  }
  if (!folder.empty() && !platform::SetCurrentDir(folder)) {
    ui.MessageDlg("Cannot open the folder " + folder, TMsgDlgType::mtError, mbCancel);
    return false;
  }
  // A folder the user named that lacks a file ends the program after the box that names it.
  if (!RequireStartupFiles(ui)) return false;
  // Chosen here: the next start from anywhere lands in it. A folder named on the command line
  // (a script's, say) does not move the user's choice.
  if (found.Source == TFolderSource::fsNone) RememberEmulatorFolder(platform::GetCurrentDir());
  return true;
}

TFolderMenu::TFolderMenu(TMain& main) : FMain(main) {
  MenuFile = new QMenu(QStringLiteral("&File"), &main);
  MenuFile->setObjectName("MenuFile");
  QMenuBar* bar = main.menuBar();
  bar->insertMenu(bar->actions().value(0), MenuFile);
  // Read when it opens: another StartVELK may have added a folder meanwhile.
  connect(MenuFile, &QMenu::aboutToShow, this, &TFolderMenu::Rebuild);
  Rebuild();
}

void TFolderMenu::Rebuild() {
  MenuFile->clear();
  MenuOpenEmulatorFolder = MenuFile->addAction(QStringLiteral("&Open Emulator Folder..."));
  MenuOpenEmulatorFolder->setObjectName("MenuOpenEmulatorFolder");
  MenuOpenEmulatorFolder->setShortcut(QKeySequence::Open);
  MenuOpenEmulatorFolder->setEnabled(FEnabled);
  connect(MenuOpenEmulatorFolder, &QAction::triggered, this, [this] {
    if (const auto chosen = ChooseEmulatorFolder(&FMain, Catalogue().GameDir)) Open(*chosen);
  });
  const std::string& current = Catalogue().GameDir;
  int number = 0;
  for (const std::string& folder : ReadRecentFolders(RecentFoldersFile())) {
    if (folder == current) continue;
    if (number == 0) MenuFile->addSeparator();
    const QString shown = QDir::toNativeSeparators(ShownText(folder));
    QAction* entry = MenuFile->addAction(QStringLiteral("&%1 %2").arg(++number).arg(shown));
    entry->setEnabled(FEnabled);
    connect(entry, &QAction::triggered, this, [this, folder] { Open(folder); });
  }
  MenuFile->addSeparator();
  if (!FEntries.empty()) {
    MenuFile->addActions({FEntries.begin(), FEntries.end()});
    MenuFile->addSeparator();
  }
  QAction* quit = MenuFile->addAction(QStringLiteral("&Quit"));
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(quit, &QAction::triggered, &FMain, &QWidget::close);
}

void TFolderMenu::AddEntry(QAction* entry) {
  FEntries.push_back(entry);
  Rebuild();
}

void TFolderMenu::SetEnabled(bool enabled) {
  FEnabled = enabled;
  Rebuild();
}

void TFolderMenu::Open(const std::string& folder) {
  const std::vector<std::string> missing = MissingStartupFiles(folder);
  if (!missing.empty()) {
    QtUserInteraction().MessageDlg(
        "File not found: " + platform::JoinPath(folder, missing.front()) +
            "\rThis file is needed by StartVELK.",
        TMsgDlgType::mtError, mbOK);
    return;
  }
  if (folder == Catalogue().GameDir) return;  // already open here
  RememberEmulatorFolder(folder);
  FChosen = folder;
  FMain.close();
}

void TFolderMenu::StartChosenFolder() const {
  if (FChosen)
    QProcess::startDetached(QCoreApplication::applicationFilePath(),
                            {QString::fromStdString(*FChosen)}, QString::fromStdString(*FChosen));
}
