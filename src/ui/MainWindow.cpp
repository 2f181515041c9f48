#include "MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "GameListView.h"
#include "GameSearch.h"
#include "MainArtwork.h"
#include "catalogue/Catalogue.h"
#include "launch/ExecFile.h"
#include "launch/ZipArchive.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "platform/UserInteraction.h"
#include "ui/FontScale.h"
#include "ui/StartUtils.h"

namespace {

constexpr int kGameListPanelMinWidth = 145;
constexpr int kSplitterWidth = 3;
constexpr int kMinClientHeight = 140;

// The addresses of the Help menu; the project's own, kept on its own domain.
const char* const kVELKHomepage = "https://velk.example.org/";
const char* const kStartVELKHomepage = "https://startvelk.example.org/";
const char* const kRomsArchive = "https://velk.example.org/roms/";
const char* const kWebSites[4] = {"www.arcade-history.example", "www.emulation-news.example",
                                  "www.cabinet-builders.example", "www.retro-scores.example"};

// The pages give way entirely when the window gets narrow: the list panel keeps its width longest.
class TPageControl : public QTabWidget {
 public:
  explicit TPageControl(QWidget* parent) : QTabWidget(parent) {}
  QSize minimumSizeHint() const override { return {0, QTabWidget::minimumSizeHint().height()}; }
};

}  // namespace

TMain::TMain(TUserInteraction& ui, TMainHooks hooks, QWidget* parent)
    : QMainWindow(parent), FUi(ui), FHooks(std::move(hooks)) {
  setObjectName("Main");
  setWindowTitle("StartVELK");
  // The program's icon, painted at five sizes, is the application's already where it has one.
  if (QApplication::windowIcon().isNull()) setWindowIcon(artwork::ProgramIcon());
  QFont font("Arial");
  SetCharacterHeight(font, 12);
  setFont(font);
  resize(600, 400);

  BuildMenus();
  Splitter = new QSplitter(Qt::Horizontal, this);
  Splitter->setObjectName("Splitter");
  Splitter->setHandleWidth(kSplitterWidth);
  Splitter->setChildrenCollapsible(false);
  Splitter->setOpaqueResize(true);
  setCentralWidget(Splitter);
  BuildGameListPanel();
  BuildPageControl();
  BuildStatusBar();
  Splitter->addWidget(GameListPanel);
  Splitter->addWidget(PageControl);
  Splitter->setStretchFactor(0, 0);
  Splitter->setStretchFactor(1, 1);
  Splitter->handle(1)->setCursor(Qt::SizeHorCursor);
  Splitter->setSizes({185, 600 - 185 - kSplitterWidth});
  setMinimumSize(kGameListPanelMinWidth + kSplitterWidth, kMinClientHeight);

  // Enter presses the Start button, as the default button of the window does.
  for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
    auto* enter = new QShortcut(QKeySequence(key), this);
    connect(enter, &QShortcut::activated, this, [this] {
      if (StartEmuButton->isEnabled()) StartEmuButtonClick();
    });
  }
  connect(qApp, &QApplication::focusChanged, this, &TMain::OnFocusChanged);

  ExecEmu = std::make_unique<TExecFile>(&FUi);
  ConfigureExecEmu(*ExecEmu);
  ZipArchive = std::make_unique<TZipArchive>(FUi);
  ZipArchive->OnMessage = [this](TZipArchive& sender, int errCode, const std::string& message) {
    ZipArchiveMessage(sender, errCode, message);
  };

  Guarded([this] { FormCreate(); });
}

void TMain::ZipArchiveMessage(TZipArchive&, int errCode, const std::string& message) {
  if (errCode != 0) FUi.ShowMessage(message);
}

TMain::~TMain() {
  // The application reports focus changes while the widgets below are torn down, after this
  // window's own part is gone; it must not reach this window's slot then.
  disconnect(qApp, &QApplication::focusChanged, this, &TMain::OnFocusChanged);
  FormDestroy();
}

void TMain::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    FUi.MessageDlg(error.what(), TMsgDlgType::mtError, mbOK);
  }
}

// ---------------------------------------------------------------------------------------------
// Building the window

void TMain::BuildMenus() {
  QMenuBar* bar = menuBar();
  MenuView = bar->addMenu("&View");
  MenuView->setObjectName("MenuView");
  FViewGroup = new QActionGroup(this);
  FViewGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  auto viewEntry = [this](const char* caption, const char* name) {
    QAction* entry = MenuView->addAction(caption);
    entry->setObjectName(name);
    entry->setCheckable(true);
    FViewGroup->addAction(entry);
    return entry;
  };
  MenuInstalledGames = viewEntry("&Installed Games", "MenuInstalledGames");
  MenuUnInstalledGames = viewEntry("&Uninstalled Games", "MenuUnInstalledGames");
  MenuAllGames = viewEntry("&All Games", "MenuAllGames");
  MenuAllGames->setChecked(true);
  connect(FViewGroup, &QActionGroup::triggered, this,
          [this](QAction* entry) { Guarded([&] { MenuViewGamesClick(entry); }); });
  MenuView->addSeparator();
  MenuViewTabSheet = MenuView->addAction("&Tab Sheet");
  MenuViewTabSheet->setObjectName("MenuViewTabSheet");
  MenuViewTabSheet->setShortcut(QKeySequence("Ctrl+T"));
  MenuViewTabSheet->setCheckable(true);
  MenuViewTabSheet->setChecked(true);
  connect(MenuViewTabSheet, &QAction::triggered, this,
          [this] { Guarded([this] { MenuViewTabSheetClick(); }); });
  MenuViewStatBar = MenuView->addAction("Status &Bar");
  MenuViewStatBar->setObjectName("MenuViewStatBar");
  MenuViewStatBar->setShortcut(QKeySequence("Ctrl+B"));
  MenuViewStatBar->setCheckable(true);
  MenuViewStatBar->setChecked(true);
  connect(MenuViewStatBar, &QAction::triggered, this,
          [this] { Guarded([this] { MenuViewStatBarClick(); }); });

  MenuTools = bar->addMenu("&Tools");
  MenuTools->setObjectName("MenuTools");
  MenuSetDefaultSettings = MenuTools->addAction("Set &Default Settings");
  MenuSetDefaultSettings->setObjectName("MenuSetDefaultSettings");
  connect(MenuSetDefaultSettings, &QAction::triggered, this,
          [this] { Guarded([this] { MenuSetDefaultSettingsClick(); }); });
  MenuSetAlternativeRompath = MenuTools->addAction("Set Zip &Rompath");
  MenuSetAlternativeRompath->setObjectName("MenuSetAlternativeRompath");
  connect(MenuSetAlternativeRompath, &QAction::triggered, this,
          [this] { Guarded([this] { MenuSetAlternativeRompathClick(); }); });
  MenuCheckForGames = MenuTools->addAction("&Check for new installed games");
  MenuCheckForGames->setObjectName("MenuCheckForGames");
  connect(MenuCheckForGames, &QAction::triggered, this,
          [this] { Guarded([this] { MenuCheckForGamesClick(); }); });

  MenuScreenShot = bar->addMenu("&ScreenShot");
  MenuScreenShot->setObjectName("MenuScreenShot");
  connect(MenuScreenShot, &QMenu::aboutToShow, this, &TMain::MenuScreenShotClick);
  FScalingGroup = new QActionGroup(this);
  FScalingGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  auto scalingEntry = [this](const char* caption, const char* name) {
    QAction* entry = MenuScreenShot->addAction(caption);
    entry->setObjectName(name);
    entry->setCheckable(true);
    FScalingGroup->addAction(entry);
    return entry;
  };
  MenuOriginal = scalingEntry("&Original", "MenuOriginal");
  MenuScaled = scalingEntry("S&caled", "MenuScaled");
  MenuStretched = scalingEntry("S&treched", "MenuStretched");
  MenuScaled->setChecked(true);
  connect(FScalingGroup, &QActionGroup::triggered, this,
          [this](QAction* entry) { Guarded([&] { MenuScreenShotScalingClick(entry); }); });
  MenuScreenShot->addSeparator();
  MenuResetalltoTitlescreen = MenuScreenShot->addAction("Reset all to Titlescreen");
  MenuResetalltoTitlescreen->setObjectName("MenuResetalltoTitlescreen");
  connect(MenuResetalltoTitlescreen, &QAction::triggered, this,
          [this] { Guarded([this] { ResetAllScreenShots(0); }); });
  MenuResetalltoGameplayscreen = MenuScreenShot->addAction("Reset all to Gameplayscreen");
  MenuResetalltoGameplayscreen->setObjectName("MenuResetalltoGameplayscreen");
  connect(MenuResetalltoGameplayscreen, &QAction::triggered, this,
          [this] { Guarded([this] { ResetAllScreenShots(1); }); });
  MenuScreenShot->addSeparator();
  MenuDeleteCurrentScreenshot =
      MenuScreenShot->addAction(artwork::DeleteIcon(), "&Delete current screenshot");
  MenuDeleteCurrentScreenshot->setObjectName("MenuDeleteCurrentScreenshot");
  connect(MenuDeleteCurrentScreenshot, &QAction::triggered, this,
          [this] { Guarded([this] { DeleteScreenShot(); }); });
  MenuScreenShot->addSeparator();
  MenuShowControls = MenuScreenShot->addAction("Show &Controls");
  MenuShowControls->setObjectName("MenuShowControls");
  MenuShowControls->setShortcut(QKeySequence("Ctrl+C"));
  MenuShowControls->setCheckable(true);
  MenuShowControls->setChecked(true);
  connect(MenuShowControls, &QAction::triggered, this,
          [this] { Guarded([this] { MenuShowControlsClick(); }); });
  MenuShowName = MenuScreenShot->addAction("Show &Name");
  MenuShowName->setObjectName("MenuShowName");
  MenuShowName->setShortcut(QKeySequence("Ctrl+N"));
  MenuShowName->setCheckable(true);
  MenuShowName->setChecked(true);
  connect(MenuShowName, &QAction::triggered, this,
          [this] { Guarded([this] { MenuShowNameClick(); }); });

  MenuHelp = bar->addMenu("&Help");
  MenuHelp->setObjectName("MenuHelp");
  auto open = [this](QAction* entry, std::string target) {
    connect(entry, &QAction::triggered, this, [this, target] {
      Guarded([&] {
        if (FHooks.ShellOpen) FHooks.ShellOpen(target);
      });
    });
  };
  MenuVELKReadme = MenuHelp->addAction(artwork::DocumentIcon(), "VELK Readme");
  MenuVELKReadme->setObjectName("MenuVELKReadme");
  open(MenuVELKReadme, "Readme.txt");
  MenuVELKHomepage = MenuHelp->addAction("VELK Homepage");
  MenuVELKHomepage->setObjectName("MenuVELKHomepage");
  open(MenuVELKHomepage, kVELKHomepage);
  MenuStartVELKReadme = MenuHelp->addAction(artwork::DocumentIcon(), "StartVELK Readme");
  MenuStartVELKReadme->setObjectName("MenuStartVELKReadme");
  open(MenuStartVELKReadme, "StartVELK.txt");
  MenuStartVELKFAQ = MenuHelp->addAction(artwork::DocumentIcon(), "StartVELK FAQ");
  MenuStartVELKFAQ->setObjectName("MenuStartVELKFAQ");
  open(MenuStartVELKFAQ, "StartVELKFaq.txt");
  MenuStartVELKHomepage = MenuHelp->addAction("StartVELK Homepage");
  MenuStartVELKHomepage->setObjectName("MenuStartVELKHomepage");
  open(MenuStartVELKHomepage, kStartVELKHomepage);
  MenuHelp->addSeparator();
  QAction** sites[4] = {&MenuWebSite1, &MenuWebSite2, &MenuWebSite3, &MenuWebSite4};
  for (int i = 0; i < 4; ++i) {
    *sites[i] = MenuHelp->addAction(artwork::WebIcon(), kWebSites[i]);
    (*sites[i])->setObjectName(QString("MenuWebSite%1").arg(i + 1));
    connect(*sites[i], &QAction::triggered, this, &TMain::MenuUrlClick);
  }
  VELKRomsArchive1 = MenuHelp->addAction(artwork::ArchiveIcon(), "VELK Roms Archive");
  VELKRomsArchive1->setObjectName("VELKRomsArchive1");
  open(VELKRomsArchive1, kRomsArchive);
  MenuHelp->addSeparator();
  MenuAbout = MenuHelp->addAction(artwork::AboutIcon(), "&About StartVELK ...");
  MenuAbout->setObjectName("MenuAbout");
  connect(MenuAbout, &QAction::triggered, this, [this] {
    Guarded([this] {
      if (FHooks.ShowAbout) FHooks.ShowAbout("0.9.1");
    });
  });
}

void TMain::BuildGameListPanel() {
  GameListPanel = new QWidget(Splitter);
  GameListPanel->setObjectName("GameListPanel");
  GameListPanel->setMinimumWidth(kGameListPanelMinWidth);
  auto* panelLayout = new QVBoxLayout(GameListPanel);
  panelLayout->setContentsMargins(4, 4, 4, 4);
  panelLayout->setSpacing(0);

  auto* group = new QGroupBox("Games", GameListPanel);
  group->setObjectName("GrGameList");
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->setContentsMargins(4, 2, 4, 4);
  GameSearch = new TGameSearchField;
  GameSearch->setObjectName("GameSearch");
  GameSearch->setPlaceholderText("Search games");
  GameSearch->setAccessibleName("Search games");
  GameSearch->setToolTip("Type part of a name to list only the games that contain it (Ctrl+F)");
  GameSearch->AddClearControl();
  groupLayout->addWidget(GameSearch);
  GameList = new TGameListView;
  GameList->setObjectName("GameList");
  GameList->setAccessibleName("Games");
  groupLayout->addWidget(GameList);
  panelLayout->addWidget(group, 1);

  auto* startPanel = new QWidget(GameListPanel);
  startPanel->setObjectName("StartButtonPanel");
  startPanel->setFixedHeight(39);
  auto* startLayout = new QVBoxLayout(startPanel);
  startLayout->setContentsMargins(0, 4, 0, 0);
  StartEmuButton = new QPushButton;
  StartEmuButton->setObjectName("StartEmuButton");
  StartEmuButton->setFixedHeight(35);
  StartEmuButton->setIcon(artwork::StartButtonIcon());
  StartEmuButton->setIconSize(QSize(64, 28));
  StartEmuButton->setToolTip("Start VELK Arcade Emulator");
  StartEmuButton->setAccessibleName("Start VELK Arcade Emulator");
  StartEmuButton->setEnabled(false);
  // Enter presses it (the window's shortcut below); marked so that screen readers announce it.
  StartEmuButton->setDefault(true);
  startLayout->addWidget(StartEmuButton);
  panelLayout->addWidget(startPanel);

  connect(GameList->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (!FFilling) Guarded([this] { GameListClick(); });
  });
  connect(GameList, &QListView::doubleClicked, this, [this] { StartEmuButtonClick(); });
  connect(GameSearch, &QLineEdit::textChanged, this,
          [this] { Guarded([this] { GameSearchChanged(); }); });
  connect(GameList, &TGameListView::TypedText, this, [this](const QString& text) {
    GameSearch->setFocus(Qt::ShortcutFocusReason);
    GameSearch->insert(text);
  });
  connect(GameSearch, &TGameSearchField::LeaveDown, this, [this] { GameList->setFocus(); });
  auto* find = new QShortcut(QKeySequence::Find, this);
  connect(find, &QShortcut::activated, this, [this] {
    GameSearch->setFocus(Qt::ShortcutFocusReason);
    GameSearch->selectAll();
  });
  connect(StartEmuButton, &QPushButton::clicked, this, [this] { StartEmuButtonClick(); });
}

void TMain::BuildPageControl() {
  PageControl = new TPageControl(Splitter);
  PageControl->setObjectName("PageControl");
  BuildScreenShotTab();
  BuildSettingsTab();
  PageControl->addTab(ScreenShotTab, "Screenshot");
  PageControl->addTab(SettingsTab, "Settings");
  PageControl->setCurrentWidget(ScreenShotTab);
}

void TMain::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar");
  // 20 high, or a line of the window's font and its frame where that font is taller.
  bar->setFixedHeight(std::max(20, fontMetrics().height() + 4));
  bar->setSizeGripEnabled(true);
  StatusPanel0 = new QLabel("zipname");
  StatusPanel0->setObjectName("StatusPanel0");
  StatusPanel0->setFixedWidth(70);
  StatusPanel0->setAlignment(Qt::AlignCenter);
  StatusPanel0->setFrameShape(QFrame::StyledPanel);
  StatusPanel0->setFrameShadow(QFrame::Sunken);
  StatusPanel1 = new QLabel(StatusTitle());
  StatusPanel1->setObjectName("StatusPanel1");
  StatusPanel1->setAlignment(Qt::AlignCenter);
  StatusPanel1->setFrameShape(QFrame::StyledPanel);
  StatusPanel1->setFrameShadow(QFrame::Sunken);
  bar->addWidget(StatusPanel0);
  bar->addWidget(StatusPanel1, 1);
}

// ---------------------------------------------------------------------------------------------
// Life cycle

void TMain::FormCreate() {
  if (FHooks.ScaleFonts) FHooks.ScaleFonts(*this);
  FScreenShotSet = std::make_unique<TScreenShotSet>(Catalogue());
  Catalogue().GameDir = platform::GetCurrentDir();
  TWindowState state;
  try {
    if (FHooks.StartupIO) FHooks.StartupIO(state);
  } catch (const std::exception& error) {
    // The window still comes up, on what was loaded; the settings file it could not read is
    // left alone at close instead of being overwritten by an incomplete catalogue.
    FStartupFailed = true;
    FUi.MessageDlg(error.what(), TMsgDlgType::mtError, mbOK);
    TCatalogue& cat = Catalogue();
    if (cat.Games.empty()) {
      cat.Games.resize(1);
      InitGameRecord(cat.Games[0]);
    }
    cat.GameStatus.resize(cat.Games.size(), gsNotAvailable);
    state = TWindowState{};
  }
  ApplyWindowState(state);
  UpdateScreenShotControls();
  if (FHooks.LoadUnzipLibrary) FHooks.LoadUnzipLibrary(*ZipArchive);
  FillGameList();
}

void TMain::FormClose() {
  if (FClosed) return;
  FClosed = true;
  if (FHooks.OnClose) FHooks.OnClose();
  SSTimer->stop();
  // Edits still in the settings area when the window closes are kept like any other.
  if (FocusInSettingsArea()) SettingsScrollBoxExit();
  // A view without games would start the next run on an empty list; the installed view is saved.
  // The search is not saved, so only the view decides.
  if (GameList->Model().ViewRowCount() == 0) {
    MenuInstalledGames->setChecked(true);
    MenuViewGamesClick(MenuInstalledGames);
  }
  const TWindowState state = CollectWindowState();
  if (FStartupFailed) {
    if (FHooks.DeleteBatchFiles) FHooks.DeleteBatchFiles();
  } else if (FHooks.ShutdownIO) {
    FHooks.ShutdownIO(state);
  }
}

void TMain::FormDestroy() {
  FScreenShotSet.reset();
  if (FHooks.UnloadUnzipLibrary) {
    try {
      FHooks.UnloadUnzipLibrary();
    } catch (...) {
    }
  }
}

void TMain::closeEvent(QCloseEvent* event) {
  Guarded([this] { FormClose(); });
  event->accept();
}

void TMain::ShowAsStarted() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    QRect frame = frameGeometry();
    move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
  }
  switch (FStartState) {
    case 1:
      showMinimized();
      break;
    case 2:
      showMaximized();
      break;
    default:
      show();
      break;
  }
}

void TMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (FShownOnce) return;
  FShownOnce = true;
  // The saved size is the outer one; the frame is known only once the window is on screen.
  for (int delay : {0, 150}) QTimer::singleShot(delay, this, [this] { AdjustToOuterSize(); });
}

void TMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // A window that started maximised or minimised first meets its frame when it is restored:
  // only then can the saved outer size become the inner size the platform needs.
  // The window manager may apply its own idea of the restored size a little later, so the outer
  // size is set again until it has settled.
  if (event->type() != QEvent::WindowStateChange || FOuterAdjusted || !FShownOnce ||
      windowState() != Qt::WindowNoState)
    return;
  FOuterAdjusted = true;
  for (int delay : {0, 150, 400}) {
    QTimer::singleShot(delay, this, [this] {
      if (windowState() != Qt::WindowNoState) return;
      FNormalShown = true;
      const QSize frame = frameGeometry().size() - geometry().size();
      if (frame.width() <= 0 && frame.height() <= 0) return;
      FFrameExtra = frame;
      if (frameGeometry().size() != FOuterSize) resize(FOuterSize - frame);
    });
  }
}

void TMain::AdjustToOuterSize() {
  if (FOuterAdjusted || windowState() != Qt::WindowNoState) return;
  if (isVisible()) FNormalShown = true;
  const QSize frame = frameGeometry().size() - geometry().size();
  if (frame.width() <= 0 && frame.height() <= 0) return;
  FOuterAdjusted = true;
  FFrameExtra = frame;
  resize(FOuterSize - frame);
}

// ---------------------------------------------------------------------------------------------
// Window state

void TMain::ApplyWindowState(const TWindowState& state) {
  MenuInstalledGames->setChecked(state.View == TViewFilter::vfInstalled);
  MenuUnInstalledGames->setChecked(state.View == TViewFilter::vfUnInstalled);
  MenuAllGames->setChecked(state.View == TViewFilter::vfAll);
  if (!state.StatBar) MenuViewStatBarClick();
  // A hand-edited size beyond the screen the window lands on would be laid out and painted at
  // that size; it is held to the screen's free area, and the size the window gets is what is saved.
  FOuterSize = QSize(state.Width, state.Height).expandedTo(minimumSize());
  if (const QScreen* landing = screen(); landing && !landing->availableGeometry().isEmpty())
    FOuterSize =
        FOuterSize.boundedTo(landing->availableGeometry().size().expandedTo(minimumSize()));
  resize(FOuterSize);
  if (state.TabSheet)
    SetGameListPanelWidth(state.GLPWidth);
  else
    MenuViewTabSheetClick();
  FStartState = (state.State >= 0 && state.State <= 2) ? state.State : 0;
  SSTimer->setInterval(std::max(state.TimerInterval, 0));
  if (state.Play) SToolPlayClick();
  MenuOriginal->setChecked(state.ScreenShotMode == TScreenShotMode::smOriginal);
  MenuScaled->setChecked(state.ScreenShotMode == TScreenShotMode::smScaled);
  MenuStretched->setChecked(state.ScreenShotMode == TScreenShotMode::smStretched);
  MenuShowName->setChecked(state.ShowName);
  MenuShowControls->setChecked(state.ShowControls);
}

TWindowState TMain::CollectWindowState() const {
  TWindowState state;
  state.View = MenuInstalledGames->isChecked()     ? TViewFilter::vfInstalled
               : MenuUnInstalledGames->isChecked() ? TViewFilter::vfUnInstalled
               : MenuAllGames->isChecked()         ? TViewFilter::vfAll
                                                   : TViewFilter::vfNone;
  state.StatBar = MenuViewStatBar->isChecked();
  state.TabSheet = MenuViewTabSheet->isChecked();
  const Qt::WindowStates ws = windowState();
  state.State = (ws & Qt::WindowMinimized) ? 1 : (ws & Qt::WindowMaximized) ? 2 : 0;
  // The outer size of the normal state, also for a maximised or minimised window. Until the
  // window has been on screen in the normal state, that is still the size it was given.
  if (state.State != 0 && !FNormalShown) {
    state.Width = FOuterSize.width();
    state.Height = FOuterSize.height();
  } else {
    QRect normal = (state.State != 0 && normalGeometry().isValid()) ? normalGeometry() : geometry();
    QSize frameExtra = FFrameExtra;
    if (isVisible() && state.State == 0) frameExtra = frameGeometry().size() - geometry().size();
    QSize outer = normal.size() + frameExtra;
    // Closed before its frame was known and its inner size made the outer size less the frame,
    // the window still has the size it was given as its outer one: that is its size.
    if (!FOuterAdjusted && normal.size() == FOuterSize) outer = FOuterSize;
    state.Width = outer.width();
    state.Height = outer.height();
  }
  state.GLPWidth = GameListPanelWidth();
  state.ScreenShotMode = MenuOriginal->isChecked()    ? TScreenShotMode::smOriginal
                         : MenuScaled->isChecked()    ? TScreenShotMode::smScaled
                         : MenuStretched->isChecked() ? TScreenShotMode::smStretched
                                                      : TScreenShotMode::smNone;
  state.TimerInterval = SSTimer->interval();
  state.Play = SToolPlay->isChecked();
  state.ShowName = MenuShowName->isChecked();
  state.ShowControls = MenuShowControls->isChecked();
  return state;
}

// ---------------------------------------------------------------------------------------------
// Game list

void TMain::FillGameList() {
  TCatalogue& cat = Catalogue();
  FFilling = true;
  setUpdatesEnabled(false);
  TGameRows rows;
  if (!FHooks.ViewRows || !FHooks.ViewRows(rows)) {
    const bool all = MenuAllGames->isChecked();
    const bool installed = MenuInstalledGames->isChecked();
    const auto count = static_cast<std::int32_t>(cat.Games.size());
    rows.Reserve(count > 0 ? count : 0, 20);  // most names are shorter
    for (std::int32_t i = 1; i < count; ++i) {
      const bool available = i < static_cast<std::int32_t>(cat.GameStatus.size()) &&
                             cat.GameStatus[i] != gsNotAvailable;
      if (!all && available != installed) continue;
      rows.Add(cat.Games[i].Name.view(), i, available);
    }
    rows.SortByName();
  }
  if (FHooks.OrderRows) FHooks.OrderRows(rows);
  TGameListModel& model = GameList->Model();
  model.SetRows(std::move(rows));
  // The names as the search compares them are made once the list is on screen.
  QTimer::singleShot(0, &model, [&model] { model.PrepareSearch(); });
  setUpdatesEnabled(true);
  // LastGameListPos counts rows of the whole view, as a start without search text rebuilds it;
  // while a search narrows the list, the first row it shows stands in for a hidden one.
  int row = -1;
  if (cat.LastGameListPos >= 0 && cat.LastGameListPos < model.ViewRowCount())
    row = model.RowOfViewPosition(cat.LastGameListPos);
  if (row < 0 && model.Searching() && cat.LastGameListPos >= 0 && model.rowCount() > 0) row = 0;
  GameList->setCurrentRow(row);
  FFilling = false;
  GameSelectionChanged();
  SetListCaption();
}

void TMain::SetListCaption() {
  const QString count = QString("%1 of %2 games")
                            .arg(GameList->count())
                            .arg(std::max<std::size_t>(Catalogue().Games.size(), 1) - 1);
  setWindowTitle("StartVELK 0.9.1 [" + count + "]");
  // A screen reader in the search field hears the count change with each keystroke.
  GameSearch->setAccessibleDescription(count);
}

void TMain::GameSearchChanged() {
  // The selected game stays selected while the search lets it through; otherwise the first
  // row that is left is selected, as a change of the view does.
  TGameListModel& model = GameList->Model();
  const int selected = GameList->currentRow();
  const int position = selected >= 0 ? model.ViewPosition(selected) : -1;
  FFilling = true;
  model.SetSearch(GameSearch->text());
  int row = position >= 0 ? model.RowOfViewPosition(position) : -1;
  if (row < 0 && model.rowCount() > 0) row = 0;
  GameList->setCurrentRow(row);
  FFilling = false;
  GameSelectionChanged();
  SetListCaption();
}

void TMain::GameSelectionChanged() {
  TCatalogue& cat = Catalogue();
  const int row = GameList->currentRow();
  if (row >= 0 && GameList->RowChecked(row)) {
    StartEmuButton->setEnabled(FRunningText.isEmpty());
    cat.LastGameListPos = GameList->Model().ViewPosition(row);
  } else {
    StartEmuButton->setEnabled(false);
    cat.LastGameListPos = 0;
  }
  FindCurrentGame();
  ShowGameSettings();
  if (cat.CurrentGame != -1) {
    const bool useDefaults = cat.Games[cat.CurrentGame].UseDefSettings;
    ChUseDefSettings->setChecked(useDefaults);
    ChUseDefSettingsClick();
  }
  LoadScreenShots();
  StatusPanel0->setText(cat.CurrentGame != -1 ? ShownText(cat.Games[cat.CurrentGame].ZipName)
                                              : QString());
  ResetStatusText();
}

void TMain::FindCurrentGame() {
  TCatalogue& cat = Catalogue();
  cat.CurrentGame = -1;
  const int row = GameList->currentRow();
  if (row < 0) return;
  // By name, as the row shows it: of two games with the same name the first is found.
  const std::int32_t index = GameList->Model().RowIndex(row);
  if (index <= 0 || index >= static_cast<std::int32_t>(cat.Games.size())) return;
  const std::string_view wanted = cat.Games[index].Name.view();
  for (std::size_t i = 1; i < cat.Games.size(); ++i) {
    if (cat.Games[i].Name.view() == wanted) {
      cat.CurrentGame = static_cast<std::int32_t>(i);
      return;
    }
  }
}

void TMain::GameListClick() {
  GameSelectionChanged();
}

void TMain::StartEmuButtonClick() {
  Guarded([this] {
    // Enter presses the button without moving the focus, so edits still in the settings area
    // are stored first: the game starts with what the panel shows.
    if (FocusInSettingsArea()) SettingsScrollBoxExit();
    if (FHooks.StartGame)
      FHooks.StartGame();
    else
      FUi.Beep();
  });
}

std::int32_t TMain::CurrentGameStatus() const {
  const TCatalogue& cat = Catalogue();
  if (cat.CurrentGame < 0 || cat.CurrentGame >= static_cast<std::int32_t>(cat.GameStatus.size()))
    return gsNotAvailable;
  return cat.GameStatus[cat.CurrentGame];
}

// ---------------------------------------------------------------------------------------------
// Status bar

QString TMain::StatusTitle() {
  return "StartVELK - front-end for the VELK arcade emulator";
}

void TMain::SetStatusText(const std::string& text) {
  StatusPanel1->setText(ShownText(text));
  statusBar()->repaint();
}

void TMain::ResetStatusText() {
  StatusPanel1->setText(FRunningText.isEmpty() ? StatusTitle() : FRunningText);
  statusBar()->repaint();
}

void TMain::SetRunningText(const QString& text) {
  FRunningText = text;
  const int row = GameList->currentRow();
  StartEmuButton->setEnabled(text.isEmpty() && GameList->isEnabled() && row >= 0 &&
                             GameList->RowChecked(row));
  ResetStatusText();
}

// ---------------------------------------------------------------------------------------------
// Menus

void TMain::MenuViewGamesClick(QAction* entry) {
  for (QAction* a : {MenuInstalledGames, MenuUnInstalledGames, MenuAllGames})
    a->setChecked(a == entry);
  Catalogue().LastGameListPos = 0;
  FillGameList();
}

std::int32_t TMain::GameListPanelWidth() const {
  // Before the window is on screen nothing is laid out: the width is the one last set.
  return isVisible() ? GameListPanel->width() : FPanelWidth;
}

void TMain::SetGameListPanelWidth(std::int32_t width) {
  // Never wider than the window leaves beside the splitter, so a hand-edited width cannot
  // overflow the sizes below.
  width = std::clamp(width, kGameListPanelMinWidth,
                     std::max(kGameListPanelMinWidth, this->width() - kSplitterWidth));
  FPanelWidth = width;
  const int total = std::max(Splitter->width(), width + kSplitterWidth + 1);
  Splitter->setSizes({width, total - width - kSplitterWidth});
  GameListPanel->resize(width, GameListPanel->height());
}

void TMain::MenuViewTabSheetClick() {
  if (MenuViewTabSheet->isChecked() == PageControl->isHidden()) {
    // The action already toggled its own check; undo that so the branch below decides.
    MenuViewTabSheet->setChecked(!MenuViewTabSheet->isChecked());
  }
  if (!PageControl->isHidden()) {
    MenuViewTabSheet->setChecked(false);
    FPageWidthBeforeHide =
        isVisible() ? PageControl->width() : std::max(width() - FPanelWidth - kSplitterWidth, 0);
    const int widened = GameListPanelWidth() + FPageWidthBeforeHide;
    FPanelWidth = widened;
    PageControl->hide();
    Splitter->setSizes({widened, 0});
    Splitter->handle(1)->setEnabled(false);
  } else {
    MenuViewTabSheet->setChecked(true);
    // Hidden, the panel fills the splitter, the handle's width included.
    const int narrowed =
        (isVisible() ? Splitter->width() : width()) - FPageWidthBeforeHide - kSplitterWidth;
    PageControl->show();
    Splitter->handle(1)->setEnabled(true);
    SetGameListPanelWidth(narrowed);
  }
}

void TMain::MenuViewStatBarClick() {
  // Through the menu the action has toggled its check already; called directly it has not.
  if (MenuViewStatBar->isChecked() != statusBar()->isHidden())
    MenuViewStatBar->setChecked(!MenuViewStatBar->isChecked());
  statusBar()->setVisible(MenuViewStatBar->isChecked());
}

void TMain::MenuSetAlternativeRompathClick() {
  if (!FHooks.EditZipRompath) return;
  TCatalogue& cat = Catalogue();
  const std::string path = FHooks.EditZipRompath(cat.AltRomPath);
  if (path != cat.AltRomPath) {
    cat.AltRomPath = path;
    MenuCheckForGamesClick();
  }
}

void TMain::MenuCheckForGamesClick() {
  if (FHooks.ScanGameAvailability) FHooks.ScanGameAvailability();
  FFilling = true;
  GameList->setCurrentRow(-1);
  FFilling = false;
  StartEmuButton->setEnabled(false);
  FillGameList();
}

void TMain::MenuScreenShotClick() {
  MenuDeleteCurrentScreenshot->setEnabled(Catalogue().CurrentGame != -1);
}

void TMain::MenuUrlClick() {
  auto* entry = qobject_cast<QAction*>(sender());
  if (!entry) return;
  const std::string site = entry->text().remove('&').toStdString();
  Guarded([&] {
    if (FHooks.ShellOpen) FHooks.ShellOpen("http://" + site);
  });
}

// ---------------------------------------------------------------------------------------------
// Resizing

void TMain::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

void TMain::FormResize() {
  // The frame of the normal state, for the outer size a maximised window saves.
  if (isVisible() && windowState() == Qt::WindowNoState) {
    const QSize frame = frameGeometry().size() - geometry().size();
    if (frame.width() > 0 || frame.height() > 0) FFrameExtra = frame;
  }
  if (width() < kGameListPanelMinWidth + kSplitterWidth)
    resize(kGameListPanelMinWidth + kSplitterWidth, height());
  if (PageControl->isVisible() && width() < GameListPanelWidth() + kSplitterWidth)
    SetGameListPanelWidth(width() - kSplitterWidth);
  if (height() < kMinClientHeight) resize(width(), kMinClientHeight);
}
