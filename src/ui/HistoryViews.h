#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalogue/WindowState.h"
#include "history/PlayHistory.h"

class QAction;
class QActionGroup;
class QLabel;
class QVariant;
class TFolderMenu;
class TMain;
class TMainGameStart;
class TUserInteraction;
class TGameRows;
struct TMainHooks;
struct TRunFacts;

/// The play history in the main window: favourites (Ctrl+D, the list's context menu, a star
/// beside the mark), the views "Favourite Games" and "Recently Played", the order of every view,
/// each row's statistics and the reason for its mark (tool tip and screen-reader description), the
/// statistics line under the list, the last run's report, the export, and the record of every
/// start. The settings file never sees any of it: the view the settings file keeps is the one of
/// the three availability views last shown, as if the history's views were not there.
class TPlayHistoryViews : public QObject {
 public:
  explicit TPlayHistoryViews(TUserInteraction& ui);

  /// Before the window is made: the history is read right after the catalogue, and the list asks
  /// it for its views and order from the first fill on.
  void AddHooks(TMainHooks& hooks);
  /// Once the window, its game start and its File menu are made: menu entries, the star, the
  /// statistics line, the record of runs, and the compaction of the file at close.
  void Attach(TMain& main, TMainGameStart& start, TFolderMenu& fileMenu);

  TPlayHistory& History() { return FHistory; }

  QAction* MenuFavouriteGames = nullptr;
  QAction* MenuRecentlyPlayed = nullptr;
  QAction* MenuSortByName = nullptr;
  QAction* MenuSortByLastPlayed = nullptr;
  QAction* MenuSortByTimesPlayed = nullptr;
  QAction* MenuFavourite = nullptr;
  QAction* MenuLastRun = nullptr;
  QAction* MenuExportPlayHistory = nullptr;
  QLabel* PlayStatistics = nullptr;

 private:
  enum class TView { vNone, vFavourites, vRecent };
  enum class TOrder { oName, oLastPlayed, oTimesPlayed };

  // The list.
  bool ViewRows(TGameRows& rows);
  void OrderRows(TGameRows& rows);
  QVariant RowData(std::int32_t game, QStringView text, int role);
  QString Reason(std::int32_t index);
  std::string ViewKey() const;
  TOrder OrderOfView() const;
  void ShowOrderChecks();
  /// Fills the list again with the game at catalogue index game still selected.
  void RefillKeeping(std::int32_t game);
  std::int32_t SelectedGame() const;
  void LeaveHistoryViewForClose();

  // Commands.
  void ToggleFavourite();
  void ShowLastRun();
  void ExportPlayHistory();
  void UpdateStatistics();

  // The record of a start.
  void RunBegins();
  void EmulatorStarting(const TRunFacts& facts);
  void RunOver(const TRunFacts& facts);
  void SavePreference(const std::string& key, const std::string& value);
  void ReportWriteFailure(const std::string& error);

  TUserInteraction& FUi;
  TPlayHistory FHistory;
  TMain* FMain = nullptr;
  TView FView = TView::vNone;                  // the view chosen
  TView FShown = TView::vNone;                 // the view the list holds
  TViewFilter FPartView = TViewFilter::vfAll;  // the availability view last chosen
  std::int32_t FPartPos = 0;  // its LastGameListPos when a history view took its place
  bool FFilled = false;
  std::unordered_map<std::string, TOrder> FOrders;  // by ViewKey
  std::unordered_map<std::int32_t, QString> FReasons;
  QActionGroup* FOrderGroup = nullptr;
  QIcon FStar, FNoStar;
  TRunRecord FRun;
  bool FRunRecorded = false;  // its start is on record
  std::int64_t FBeganMs = 0;
  bool FWriteFailureShown = false;
};
