#pragma once

#include <QMainWindow>
#include <QSize>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/WindowState.h"
#include "screenshots/ScreenShot.h"

class QAction;
class TFolderSurvey;
class TSettingsAhead;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QScrollArea;
class QSplitter;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;
class TExecFile;
class TGameRows;
class TGameListView;
class TGameSearchField;
class TMImage;
class TUserInteraction;
class TZipArchive;

/// What the main window asks of the rest of the program. The program entry fills it with the real
/// catalogue, dialogs and launcher (DefaultMainHooks); tests put their own in.
struct TMainHooks {
  /// Start-up of the catalogue: batch file, catalogue load, availability; fills the window state.
  std::function<void(TWindowState&)> StartupIO;
  /// Shutdown: settings file from the collected window state, batch files deleted.
  std::function<void(const TWindowState&)> ShutdownIO;
  /// Deletes batch.bat and the console log; at a close after a failed start-up, alone.
  std::function<void()> DeleteBatchFiles;
  /// Recomputes GameStatus of every game.
  std::function<void()> ScanGameAvailability;
  std::function<void(TZipArchive&)> LoadUnzipLibrary;
  std::function<void()> UnloadUnzipLibrary;
  /// Called first when the window closes: running waits are told to return.
  std::function<void()> OnClose;
  /// The zip ROM path dialog: returns the path it leaves, the given one when cancelled.
  std::function<std::string(const std::string&)> EditZipRompath;
  /// The slide-show interval dialog: interval in milliseconds in and out.
  std::function<std::int32_t(std::int32_t)> EditScreenShotTimer;
  std::function<void(const std::string&)> ShowAbout;
  std::function<void(const std::string&)> ShellOpen;
  /// Font scaling of a window on screens that are not 96 dpi.
  std::function<void(QWidget&)> ScaleFonts;
  /// Runs the current game; empty until the game start is built into the program.
  std::function<void()> StartGame;
  /// Fills the rows of a view other than the three of the View menu's availability (the play
  /// history's), sorted by name; false while one of those three is chosen.
  std::function<bool(TGameRows&)> ViewRows;
  /// Puts the rows of every view in the order the user chose, once they are sorted by name.
  std::function<void(TGameRows&)> OrderRows;
};

/// The hooks of the real program; the first scan takes the answers of survey when it can.
TMainHooks DefaultMainHooks(TUserInteraction& ui, TFolderSurvey* survey = nullptr,
                            TSettingsAhead* settings = nullptr);

/// The program's main window: game list, menus, status bar, settings panel and screenshot pane.
class TMain : public QMainWindow, public TSlideShowControl {
  Q_OBJECT

 public:
  TMain(TUserInteraction& ui, TMainHooks hooks, QWidget* parent = nullptr);
  ~TMain() override;

  /// Shows the window the first time: centred on the desktop, in the state the settings gave.
  void ShowAsStarted();

  // Game list.
  void FillGameList();
  void GameSelectionChanged();
  void FindCurrentGame();

  // Status bar.
  void SetStatusText(const std::string& text);
  void ResetStatusText();
  static QString StatusTitle();
  /// While a game runs: the Start button starts nothing and the status bar rests on text instead
  /// of the title. An empty text ends that.
  void SetRunningText(const QString& text);

  // Window state that the settings file carries.
  void ApplyWindowState(const TWindowState& state);
  TWindowState CollectWindowState() const;

  // Settings panel.
  void ShowGameSettings();
  void StoreGameSettings();

  // Screenshot pane.
  void LoadScreenShots();
  void ShowScreenShot();
  void NextScreenShot();
  void PrevScreenShot();
  void DeleteScreenShot();
  void ResetAllScreenShots(std::int32_t index);
  void PlaceScreenShot();
  void UpdateScreenShotControls();
  /// Runs or stops the slide-show timer; a run of a game pauses it and then follows SToolPlay.
  void EnableSSTimer(bool enabled);
  const std::vector<std::string>& ScreenShotFiles() const;

  // The slide show as the screenshot set pauses and resumes it.
  bool SlideShowPlaying() const override;
  void PauseSlideShow() override;
  void PlaySlideShow() override;

  /// The hooks in force; tests change them after creation.
  TMainHooks& Hooks() { return FHooks; }

  /// A message of the zip component: one with an error code other than 0 is shown in a plain box.
  void ZipArchiveMessage(TZipArchive& sender, int errCode, const std::string& message);

  /// The launcher of the batch file and the zip component, both owned by the window.
  std::unique_ptr<TExecFile> ExecEmu;
  std::unique_ptr<TZipArchive> ZipArchive;

  // Controls, named as the handlers address them; tests reach them through these.
  QWidget* GameListPanel = nullptr;
  TGameSearchField* GameSearch = nullptr;  ///< narrows the game list as the user types
  TGameListView* GameList = nullptr;
  QPushButton* StartEmuButton = nullptr;
  QSplitter* Splitter = nullptr;
  QTabWidget* PageControl = nullptr;
  QWidget* ScreenShotTab = nullptr;
  QWidget* SettingsTab = nullptr;
  QLabel* StatusPanel0 = nullptr;
  QLabel* StatusPanel1 = nullptr;

  QCheckBox* ChUseDefSettings = nullptr;
  QPushButton* SaveDefaultSettingsButton = nullptr;
  QScrollArea* SettingsScrollBox = nullptr;
  QCheckBox* ChVsync = nullptr;
  QCheckBox* ChScanLines = nullptr;
  QComboBox* CbResolution = nullptr;
  QCheckBox* ChRotateScreen = nullptr;
  QCheckBox* ChSound = nullptr;
  QCheckBox* ChAltFMBase = nullptr;
  QCheckBox* ChJoystick = nullptr;
  QCheckBox* ChFrameSkip = nullptr;

  QWidget* SSPanel = nullptr;
  TMImage* SSImage = nullptr;
  TMImage* NoShotImage = nullptr;
  QLabel* SSShowName = nullptr;
  QToolBar* SToolBar = nullptr;
  QAction* SToolPlay = nullptr;
  QAction* SToolPause = nullptr;
  QAction* SToolPrev = nullptr;
  QAction* SToolNext = nullptr;
  QAction* SToolTimer = nullptr;
  QAction* SToolKill = nullptr;
  QAction* SToolClose = nullptr;
  QTimer* SSTimer = nullptr;

  QMenu* MenuView = nullptr;
  QAction* MenuInstalledGames = nullptr;
  QAction* MenuUnInstalledGames = nullptr;
  QAction* MenuAllGames = nullptr;
  QAction* MenuViewTabSheet = nullptr;
  QAction* MenuViewStatBar = nullptr;
  QMenu* MenuTools = nullptr;
  QAction* MenuSetDefaultSettings = nullptr;
  QAction* MenuSetAlternativeRompath = nullptr;
  QAction* MenuCheckForGames = nullptr;
  QMenu* MenuScreenShot = nullptr;
  QAction* MenuOriginal = nullptr;
  QAction* MenuScaled = nullptr;
  QAction* MenuStretched = nullptr;
  QAction* MenuResetalltoTitlescreen = nullptr;
  QAction* MenuResetalltoGameplayscreen = nullptr;
  QAction* MenuDeleteCurrentScreenshot = nullptr;
  QAction* MenuShowControls = nullptr;
  QAction* MenuShowName = nullptr;
  QMenu* MenuHelp = nullptr;
  QAction* MenuVELKReadme = nullptr;
  QAction* MenuVELKHomepage = nullptr;
  QAction* MenuStartVELKReadme = nullptr;
  QAction* MenuStartVELKFAQ = nullptr;
  QAction* MenuStartVELKHomepage = nullptr;
  QAction* MenuWebSite1 = nullptr;
  QAction* MenuWebSite2 = nullptr;
  QAction* MenuWebSite3 = nullptr;
  QAction* MenuWebSite4 = nullptr;
  QAction* VELKRomsArchive1 = nullptr;
  QAction* MenuAbout = nullptr;

 public slots:
  void GameListClick();
  void GameSearchChanged();
  void StartEmuButtonClick();
  void MenuViewGamesClick(QAction* entry);
  void MenuViewTabSheetClick();
  void MenuViewStatBarClick();
  void MenuSetDefaultSettingsClick();
  void MenuSetAlternativeRompathClick();
  void MenuCheckForGamesClick();
  void MenuScreenShotClick();
  void MenuScreenShotScalingClick(QAction* entry);
  void MenuShowControlsClick();
  void MenuShowNameClick();
  void MenuUrlClick();
  void ChUseDefSettingsClick();
  void SettingsScrollBoxExit();
  void SaveDefaultSettingsButtonClick();
  void SToolPlayClick();
  void SToolPauseClick();
  void SToolTimerClick();
  void SSTimerTimer();
  void FormResize();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void FormClose();
  void FormDestroy();
  void BuildMenus();
  void BuildGameListPanel();
  void BuildPageControl();
  void BuildScreenShotTab();
  void BuildSettingsTab();
  void BuildStatusBar();
  void SToolBarResize();
  /// Puts Play and Pause down or up without running their handlers.
  void SetSlideShowButtons(bool playing);
  void AdjustToOuterSize();
  /// Carries out what the screenshot set decided: the picture, or the no-screenshot view.
  void ShowView(const TScreenShotView& view);
  /// Decodes the picture on show again when its place has outgrown the decoded size.
  void RefreshPictureDetail();
  /// Runs a handler; an input/output error that escapes it becomes the general error report.
  void Guarded(const std::function<void()>& handler);
  void OnFocusChanged(QWidget* old, QWidget* now);
  bool FocusInSettingsArea() const;
  void SetListGreyed(bool greyed);
  /// The caption with the number of rows listed and of games in the catalogue.
  void SetListCaption();
  std::int32_t GameListPanelWidth() const;
  void SetGameListPanelWidth(std::int32_t width);
  std::int32_t CurrentGameStatus() const;

  TUserInteraction& FUi;
  TMainHooks FHooks;
  std::unique_ptr<TScreenShotSet> FScreenShotSet;
  std::string FPicturePath;  ///< the file SSImage shows, for a sharper decode after a resize
  QTimer* FDetailTimer = nullptr;
  QActionGroup* FViewGroup = nullptr;
  QActionGroup* FScalingGroup = nullptr;
  std::int32_t FPageWidthBeforeHide = 0;
  std::int32_t FPanelWidth = 185;  ///< the list panel's width as last set
  std::int32_t FStartState = 0;
  QString FRunningText;
  bool FFilling = false;
  bool FSettingSlideShow = false;  ///< Play and Pause change by the program, not by the user
  bool FClosed = false;
  bool FStartupFailed = false;  ///< the catalogue could not be loaded: nothing is saved at close
  bool FShownOnce = false;
  bool FOuterAdjusted = false;
  bool FNormalShown = false;  ///< the window has been on screen in the normal state
  QSize FOuterSize{600, 400};
  QSize FFrameExtra{0, 0};  ///< outer minus inner size of the normal state, once known
};
