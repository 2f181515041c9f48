#pragma once

#include <QAbstractButton>
#include <QDialog>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QModelIndex;

/// Options of the folder dialog; the values are the bits of the system's folder dialog.
enum TBrowseInfoFlag : unsigned {
  bfFileSysDirsOnly = 0x1,
  bfDontGoBelowDomain = 0x2,
  bfStatusText = 0x4,
  bfFileSysAncestors = 0x8,
  bfBrowseForComputer = 0x1000,
  bfBrowseForPrinter = 0x2000,
};
using TBrowseInfoFlags = unsigned;

/// The folder at the top of the tree.
enum TSHFolders {
  foDesktop,
  foDesktopExpanded,  ///< no root: every folder of the machine
  foPrograms,
  foControlPanel,
  foPrinters,
  foPersonal,
  foFavorites,
  foStartup,
  foRecent,
  foSendto,
  foRecycleBin,
  foStartMenu,
  foDesktopDirectory,
  foMyComputer,
  foNetwork,
  foNetworkNeighborhood,
  foFonts,
  foTemplates,
};

enum TCustomButtonType { btPushButton, btCheckBox };

/// The path with its middle parts replaced by ellipsis until it fits maxLength: the first part
/// (the drive) and the last parts stay. Shorter paths, and paths of fewer than three parts, are
/// returned unchanged; the result may stay longer when only three parts are left.
std::string ShortenPath(std::string_view path, char separator, std::string_view ellipsis,
                        std::size_t maxLength);

/// The folder of the file system a root stands for on this machine; nothing for roots that are
/// no folder here (printers, network, control panel ...).
std::optional<QString> RootFolderPath(TSHFolders root);

/// A modal folder dialog: a tree of the file system's folders with a title, a status area, OK and
/// Cancel, and an optional extra button. The component has no window of its own; Execute opens
/// the dialog.
class TBrowseFolder : public QObject {
  Q_OBJECT

 public:
  explicit TBrowseFolder(QObject* owner = nullptr);
  ~TBrowseFolder() override;

  /// Shows the dialog; true when the user confirmed a folder, which Directory then holds.
  bool Execute();

  std::string Directory;  ///< preselected folder before Execute, chosen folder after it
  QString Title;
  TBrowseInfoFlags Flags = bfFileSysDirsOnly | bfStatusText;
  bool ShowPathInStatusArea = false;
  TSHFolders RootFolder = foDesktopExpanded;
  bool CustomButtonVisible = false;
  TCustomButtonType CustomButtonType = btPushButton;
  bool CustomButtonChecked = false;
  bool SyncCustomButton = false;

  bool CustomButtonEnabled() const { return FCustomButtonEnabled; }
  void SetCustomButtonEnabled(bool enabled);
  const QString& CustomButtonCaption() const { return FCustomButtonCaption; }
  void SetCustomButtonCaption(const QString& caption);
  int CustomButtonWidth() const { return FCustomButtonWidth; }
  void SetCustomButtonWidth(int width);  ///< 0 or less stores 75

  /// Window to place the dialog against when none is in the foreground; otherwise the owner
  /// (when it is a window) or the application's main window is used.
  QPointer<QWidget> OwnerWindow;

  std::function<void(TBrowseFolder& sender, QDialog* dialog)> OnInitialized;
  std::function<void(TBrowseFolder& sender, QDialog* dialog, const QModelIndex& item,
                     const std::string& directory)>
      OnSelectionChanged;
  std::function<void(TBrowseFolder& sender, QDialog* dialog)> OnCustomButtonClick;

  // Run-time state while and after the dialog is open.
  const std::string& SelectedPath() const { return FSelectedPath; }
  const QString& DisplayName() const { return FDisplayName; }  ///< of the chosen item
  QDialog* DialogHandle() const { return FDialog; }
  QAbstractButton* CustomButton() const { return FCustomButton; }

  /// Enables or disables the dialog's OK button; with SyncCustomButton the custom button follows.
  void EnableOK(bool enabled);
  /// Selects a folder of the open dialog by its path; false when the tree does not hold it.
  bool SetSelectionPath(const std::string& path);
  /// Text shown in the status area of the open dialog.
  void SetStatusText(const QString& text);
  QString StatusText() const;
  bool OkEnabled() const;

 private:
  void Initialized(QDialog* dialog);
  void SelectionChanged(const QModelIndex& index);
  QWidget* PlacementWindow() const;

  bool FCustomButtonEnabled = true;
  QString FCustomButtonCaption;
  int FCustomButtonWidth = 75;
  std::string FSelectedPath;
  QString FDisplayName;
  QPointer<QDialog> FDialog;
  QPointer<QAbstractButton> FCustomButton;
  QPointer<QPushButton> FOkButton;
  QPointer<QLabel> FStatusLabel;
  class TBrowseDialog* FBrowseDialog = nullptr;
};
