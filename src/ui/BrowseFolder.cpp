#include "ui/BrowseFolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeView>
#include <vector>

#include "platform/Files.h"
#include "ui/StartUtils.h"

std::string ShortenPath(std::string_view path, char separator, std::string_view ellipsis,
                        std::size_t maxLength) {
  if (path.size() <= maxLength) return std::string(path);
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t pos = path.find(separator, start);
    if (pos == std::string_view::npos) {
      parts.push_back(path.substr(start));
      break;
    }
    parts.push_back(path.substr(start, pos - start));
    start = pos + 1;
  }
  if (parts.size() < 3) return std::string(path);
  parts[1] = ellipsis;
  auto join = [&] {
    std::string joined;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      if (i > 0) joined += separator;
      joined.append(parts[i]);
    }
    return joined;
  };
  std::string result = join();
  while (result.size() > maxLength && parts.size() > 3) {
    parts.erase(parts.begin() + 2);
    result = join();
  }
  return result;
}

std::optional<QString> RootFolderPath(TSHFolders root) {
  auto located = [](QStandardPaths::StandardLocation where) -> std::optional<QString> {
    const QString path = QStandardPaths::writableLocation(where);
    if (path.isEmpty() || !QDir(path).exists()) return std::nullopt;
    return path;
  };
  switch (root) {
    case foDesktopExpanded:
    case foMyComputer:
      return QString();  // the file system's top: "/" here, the drives on Windows
    case foDesktop:
    case foDesktopDirectory:
      return located(QStandardPaths::DesktopLocation);
    case foPersonal:
      return located(QStandardPaths::DocumentsLocation);
    case foPrograms:
    case foStartMenu:
      return located(QStandardPaths::ApplicationsLocation);
    case foFonts:
      return located(QStandardPaths::FontsLocation);
    case foTemplates: {
      const QString path = QDir::home().filePath(QStringLiteral("Templates"));
      if (QDir(path).exists()) return path;
      return std::nullopt;
    }
    case foRecycleBin: {
      const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           QStringLiteral("/Trash/files");
      if (QDir(path).exists()) return path;
      return std::nullopt;
    }
    case foControlPanel:
    case foPrinters:
    case foFavorites:
    case foStartup:
    case foRecent:
    case foSendto:
    case foNetwork:
    case foNetworkNeighborhood:
      return std::nullopt;
  }
  return std::nullopt;
}

namespace {
std::string FromQtPath(const QString& path) {
  return QFile::encodeName(QDir::toNativeSeparators(path)).toStdString();
}
QString ToQtPath(const std::string& path) {
  return QDir::cleanPath(
      QDir::fromNativeSeparators(QFile::decodeName(QByteArray::fromStdString(path))));
}

constexpr int kDialogWidth = 320;
constexpr int kDialogHeight = 302;
constexpr int kCustomButtonId = 255;
}  // namespace

class TBrowseDialog : public QDialog {
 public:
  TBrowseDialog(QWidget* parent, const TBrowseFolder& browser) : QDialog(parent) {
    SetFixedDialogFlags(this);
    setFixedSize(kDialogWidth, kDialogHeight);
    setWindowTitle(QStringLiteral("Browse for Folder"));
    TitleLabel = new QLabel(browser.Title, this);
    TitleLabel->setObjectName(QStringLiteral("TitleLabel"));
    TitleLabel->setWordWrap(true);
    TitleLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    TitleLabel->setGeometry(12, 10, kDialogWidth - 24, 30);
    int treeTop = 44;
    if (browser.Flags & bfStatusText) {
      StatusLabel = new QLabel(this);
      StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
      StatusLabel->setGeometry(12, 42, kDialogWidth - 24, 16);
      treeTop = 62;
    }
    Tree = new QTreeView(this);
    Tree->setObjectName(QStringLiteral("FolderTree"));
    Tree->setGeometry(12, treeTop, kDialogWidth - 24, 262 - treeTop);
    Tree->setHeaderHidden(true);
    Tree->setUniformRowHeights(true);
    Tree->setExpandsOnDoubleClick(true);

    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setObjectName(QStringLiteral("OKButton"));
    OkButton->setGeometry(152, 270, 75, 23);
    OkButton->setDefault(true);
    OkButton->setEnabled(false);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(233, 270, 75, 23);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    if (const std::optional<QString> root = RootFolderPath(browser.RootFolder)) {
      Model = new QFileSystemModel(this);
      Model->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
      Model->setReadOnly(true);
      Model->setRootPath(*root);
      Tree->setModel(Model);
      for (int c = 1; c < Model->columnCount(); ++c) Tree->hideColumn(c);
      if (!root->isEmpty()) Tree->setRootIndex(Model->index(*root));
      // The folders load and sort in the background; the preselected folder is kept in view
      // while its parents fill in, until the user takes over the tree.
      connect(Model, &QFileSystemModel::directoryLoaded, this, &TBrowseDialog::FollowCurrent);
      connect(Model, &QAbstractItemModel::layoutChanged, this, &TBrowseDialog::FollowCurrent);
      connect(Model, &QAbstractItemModel::rowsInserted, this, &TBrowseDialog::FollowCurrent);
      Tree->viewport()->installEventFilter(this);
      Tree->installEventFilter(this);
      Tree->verticalScrollBar()->installEventFilter(this);
    }
  }

  void FollowCurrent() {
    if (!Following) return;
    QTimer::singleShot(0, this, [this] {
      if (Following && Tree->currentIndex().isValid())
        Tree->scrollTo(Tree->currentIndex(), QAbstractItemView::PositionAtCenter);
    });
  }

 protected:
  void showEvent(QShowEvent* event) override {
    QDialog::showEvent(event);
    Tree->setFocus();
    FollowCurrent();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::KeyPress:
      case QEvent::Wheel:
        Following = false;
        break;
      default:
        break;
    }
    return QDialog::eventFilter(watched, event);
  }

 private:
  bool Following = true;

 public:
  QLabel* TitleLabel = nullptr;
  QLabel* StatusLabel = nullptr;
  QTreeView* Tree = nullptr;
  QFileSystemModel* Model = nullptr;
  QPushButton* OkButton = nullptr;
  QPushButton* CancelButton = nullptr;
};

TBrowseFolder::TBrowseFolder(QObject* owner) : QObject(owner) {}

TBrowseFolder::~TBrowseFolder() = default;

void TBrowseFolder::SetCustomButtonEnabled(bool enabled) {
  FCustomButtonEnabled = enabled;
  if (FCustomButton) FCustomButton->setEnabled(enabled);
}

void TBrowseFolder::SetCustomButtonCaption(const QString& caption) {
  FCustomButtonCaption = caption;
  if (FCustomButton) FCustomButton->setText(caption);
}

void TBrowseFolder::SetCustomButtonWidth(int width) {
  FCustomButtonWidth = width <= 0 ? 75 : width;
}

void TBrowseFolder::EnableOK(bool enabled) {
  if (FOkButton) FOkButton->setEnabled(enabled);
  if (SyncCustomButton) SetCustomButtonEnabled(enabled);
}

bool TBrowseFolder::OkEnabled() const {
  return FOkButton && FOkButton->isEnabled();
}

void TBrowseFolder::SetStatusText(const QString& text) {
  if (FStatusLabel) FStatusLabel->setText(text);
}

QString TBrowseFolder::StatusText() const {
  return FStatusLabel ? FStatusLabel->text() : QString();
}

bool TBrowseFolder::SetSelectionPath(const std::string& path) {
  if (!FBrowseDialog || !FBrowseDialog->Model) return false;
  QFileSystemModel* model = FBrowseDialog->Model;
  const QModelIndex index = model->index(ToQtPath(platform::ResolvePath(path)));
  if (!index.isValid()) return false;
  const QModelIndex root = FBrowseDialog->Tree->rootIndex();
  if (root.isValid()) {  // only folders below the tree's top can be shown
    QModelIndex up = index.parent();
    while (up.isValid() && up != root) up = up.parent();
    if (up != root) return false;
  }
  FBrowseDialog->Tree->setCurrentIndex(index);
  FBrowseDialog->Tree->scrollTo(index, QAbstractItemView::PositionAtCenter);
  return true;
}

QWidget* TBrowseFolder::PlacementWindow() const {
  if (QWidget* active = QApplication::activeWindow()) return active;
  if (OwnerWindow) return OwnerWindow->window();
  if (auto* owner = qobject_cast<QWidget*>(parent())) return owner->window();
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<QMainWindow*>(w) && w->isVisible()) return w;
  return nullptr;
}

void TBrowseFolder::Initialized(QDialog* dialog) {
  FDialog = dialog;
  if (QWidget* fg = PlacementWindow(); fg && fg != dialog) {
    const QRect r = fg->frameGeometry();
    dialog->move(r.left() + r.width() / 2 - dialog->width() / 2, r.top() + r.height() / 4);
  } else {
    CenterOnScreen(dialog);
  }
  if (!Directory.empty() && platform::DirectoryExists(Directory)) SetSelectionPath(Directory);
  if (CustomButtonVisible) {
    QAbstractButton* button;
    if (CustomButtonType == btCheckBox) {
      auto* box = new QCheckBox(FCustomButtonCaption, dialog);
      box->setChecked(CustomButtonChecked);
      button = box;
    } else {
      auto* push = new QPushButton(FCustomButtonCaption, dialog);
      push->setAutoDefault(false);
      button = push;
    }
    button->setObjectName(QStringLiteral("CustomButton"));
    button->setProperty("controlId", kCustomButtonId);
    button->setGeometry(12, 270, FCustomButtonWidth, 23);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setEnabled(FCustomButtonEnabled);
    connect(button, &QAbstractButton::clicked, this, [this] {
      if (OnCustomButtonClick) OnCustomButtonClick(*this, FDialog);
    });
    FCustomButton = button;
  }
  if (OnInitialized) OnInitialized(*this, dialog);
}

void TBrowseFolder::SelectionChanged(const QModelIndex& index) {
  QString qtPath;
  if (index.isValid() && FBrowseDialog && FBrowseDialog->Model)
    qtPath = FBrowseDialog->Model->filePath(index);
  FSelectedPath = qtPath.isEmpty() ? std::string() : FromQtPath(qtPath);
  if (ShowPathInStatusArea)
    SetStatusText(QFile::decodeName(
        QByteArray::fromStdString(ShortenPath(FSelectedPath, platform::PathDelim, "...", 35))));
  // Computers and printers are no folders of the file system, so nothing here can be chosen.
  const bool acceptable =
      !FSelectedPath.empty() && !(Flags & (bfBrowseForComputer | bfBrowseForPrinter));
  EnableOK(acceptable);
  if (OnSelectionChanged) OnSelectionChanged(*this, FDialog, index, FSelectedPath);
}

bool TBrowseFolder::Execute() {
  QWidget* owner = OwnerWindow ? OwnerWindow->window() : nullptr;
  if (!owner)
    if (auto* w = qobject_cast<QWidget*>(parent())) owner = w->window();
  if (!owner) owner = PlacementWindow();

  TBrowseDialog dialog(owner, *this);
  FBrowseDialog = &dialog;
  FOkButton = dialog.OkButton;
  FStatusLabel = dialog.StatusLabel;
  FCustomButton = nullptr;
  FSelectedPath.clear();
  if (dialog.Tree->selectionModel())
    connect(dialog.Tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { SelectionChanged(current); });
  connect(dialog.OkButton, &QPushButton::clicked, &dialog, [this, &dialog] {
    if (CustomButtonType == btCheckBox && FCustomButton)
      CustomButtonChecked = FCustomButton->isChecked();
    dialog.accept();
  });

  Initialized(&dialog);
  const bool confirmed = dialog.exec() == QDialog::Accepted && !FSelectedPath.empty();
  if (confirmed) {
    Directory = FSelectedPath;
    const QModelIndex current = dialog.Tree->currentIndex();
    FDisplayName = dialog.Model ? dialog.Model->fileName(current) : QString();
  }
  FBrowseDialog = nullptr;
  FDialog = nullptr;
  FOkButton = nullptr;
  FStatusLabel = nullptr;
  FCustomButton = nullptr;
  return confirmed;
}
