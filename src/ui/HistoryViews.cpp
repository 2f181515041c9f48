#include "HistoryViews.h"

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <unordered_set>

#include "catalogue/Availability.h"
#include "catalogue/Catalogue.h"
#include "history/RunText.h"
#include "launch/BatchFile.h"
#include "launch/StartGame.h"
#include "platform/Files.h"
#include "platform/SharedFile.h"
#include "platform/UserInteraction.h"
#include "ui/FolderChoice.h"
#include "ui/GameListView.h"
#include "ui/LastRunDialog.h"
#include "ui/MainStart.h"
#include "ui/MainWindow.h"
#include "ui/StartUtils.h"

namespace {

constexpr std::size_t kRecentGames = 50;
constexpr int kStarSize = 12;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// A five-pointed star, gold with a dark rim, drawn for the screen's pixel ratios; or nothing of
// the same size, so that every name starts at the same place.
QIcon StarIcon(bool star) {
  QIcon icon;
  for (const qreal ratio : {1.0, 2.0}) {
    QPixmap pixmap(QSize(kStarSize, kStarSize) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    if (star) {
      QPainter painter(&pixmap);
      painter.setRenderHint(QPainter::Antialiasing);
      QPainterPath path;
      const QPointF centre(kStarSize / 2.0, kStarSize / 2.0 + 0.5);
      for (int i = 0; i < 10; ++i) {
        const double radius = i % 2 == 0 ? kStarSize / 2.0 - 0.5 : kStarSize / 4.6;
        const double angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
        const QPointF point(centre.x() + radius * std::cos(angle),
                            centre.y() + radius * std::sin(angle));
        i == 0 ? path.moveTo(point) : path.lineTo(point);
      }
      path.closeSubpath();
      painter.setPen(QPen(QColor(120, 80, 0), 0.8));
      painter.setBrush(QColor(255, 196, 0));
      painter.drawPath(path);
    }
    icon.addPixmap(pixmap);
  }
  return icon;
}

// The statistics line: the longest of its forms that fits, the whole text in its tool tip.
class TStatisticsLine : public QLabel {
 public:
  TStatisticsLine() {
    setObjectName("PlayStatistics");
    setAccessibleName("Play statistics");
    setTextFormat(Qt::PlainText);
    setMinimumWidth(1);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  }
  void SetTexts(const QStringList& texts) {
    FTexts = texts;
    const QString whole = texts.value(0);
    setToolTip(whole);
    setAccessibleDescription(whole);
    Fit();
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    Fit();
  }

 private:
  void Fit() {
    const int room = contentsRect().width();
    for (const QString& text : FTexts) {
      if (fontMetrics().horizontalAdvance(text) <= room) {
        setText(text);
        return;
      }
    }
    setText(fontMetrics().elidedText(FTexts.value(FTexts.size() - 1), Qt::ElideRight, room));
  }

  QStringList FTexts;
};

QStringList Texts(const std::vector<std::string>& texts) {
  QStringList list;
  for (const std::string& text : texts) list << QString::fromStdString(text);
  return list;
}

std::string ZipNameOf(std::int32_t game) {
  const TCatalogue& cat = Catalogue();
  return game > 0 && static_cast<std::size_t>(game) < cat.Games.size()
             ? cat.Games[static_cast<std::size_t>(game)].ZipName.str()
             : std::string();
}

void AddRow(TGameRows& rows, std::int32_t game) {
  const TCatalogue& cat = Catalogue();
  const bool available = static_cast<std::size_t>(game) < cat.GameStatus.size() &&
                         cat.GameStatus[static_cast<std::size_t>(game)] != gsNotAvailable;
  rows.Add(cat.Games[static_cast<std::size_t>(game)].Name.view(), game, available);
}

}  // namespace

TPlayHistoryViews::TPlayHistoryViews(TUserInteraction& ui)
    : FUi(ui), FStar(StarIcon(true)), FNoStar(StarIcon(false)) {}

void TPlayHistoryViews::AddHooks(TMainHooks& hooks) {
  auto startup = hooks.StartupIO;
  hooks.StartupIO = [this, startup](TWindowState& window) {
    if (startup) startup(window);
    FPartView = window.View;
    const std::string message = FHistory.Load(Catalogue().GameDir);
    const std::string view = FHistory.Log().Preference("view");
    FView = view == "favourites" ? TView::vFavourites
            : view == "recent"   ? TView::vRecent
                                 : TView::vNone;
    for (const char* key : {"installed", "uninstalled", "all", "favourites", "recent"}) {
      const std::string order = FHistory.Log().Preference(std::string("order.") + key);
      if (order == "lastplayed") FOrders[key] = TOrder::oLastPlayed;
      if (order == "timesplayed") FOrders[key] = TOrder::oTimesPlayed;
      if (order == "name") FOrders[key] = TOrder::oName;
    }
    if (!message.empty()) FUi.MessageDlg(message, TMsgDlgType::mtError, mbOK);
  };
  hooks.ViewRows = [this](TGameRows& rows) { return ViewRows(rows); };
  hooks.OrderRows = [this](TGameRows& rows) { OrderRows(rows); };
  auto onClose = hooks.OnClose;
  hooks.OnClose = [this, onClose] {
    LeaveHistoryViewForClose();
    if (onClose) onClose();
  };
}

void TPlayHistoryViews::Attach(TMain& main, TMainGameStart& start, TFolderMenu& fileMenu) {
  FMain = &main;
  TGameListView* list = main.GameList;

  // View: the two views of the history beside the three of availability, then the orders.
  QActionGroup* views = main.MenuAllGames->actionGroup();
  const QList<QAction*> entries = main.MenuView->actions();
  QAction* before = entries.value(entries.indexOf(main.MenuAllGames) + 1);
  // A checkable entry of the View menu, one of group.
  const auto entryOf = [&](QActionGroup* group, const char* caption, const char* name) {
    auto* entry = new QAction(caption, this);
    entry->setObjectName(name);
    entry->setCheckable(true);
    group->addAction(entry);
    main.MenuView->insertAction(before, entry);
    return entry;
  };
  const auto viewEntry = [&](const char* caption, const char* name) {
    return entryOf(views, caption, name);
  };
  MenuFavouriteGames = viewEntry("&Favourite Games", "MenuFavouriteGames");
  MenuRecentlyPlayed = viewEntry("&Recently Played", "MenuRecentlyPlayed");
  main.MenuView->insertSeparator(before);
  FOrderGroup = new QActionGroup(this);
  const auto orderEntry = [&](const char* caption, const char* name) {
    return entryOf(FOrderGroup, caption, name);
  };
  MenuSortByName = orderEntry("Sort by &Name", "MenuSortByName");
  MenuSortByLastPlayed = orderEntry("Sort by Last &Played", "MenuSortByLastPlayed");
  MenuSortByTimesPlayed = orderEntry("Sort by Times P&layed", "MenuSortByTimesPlayed");
  if (FView == TView::vFavourites) MenuFavouriteGames->setChecked(true);
  if (FView == TView::vRecent) MenuRecentlyPlayed->setChecked(true);
  ShowOrderChecks();
  // After the window's own handler has filled the list: only the choice is kept here.
  connect(views, &QActionGroup::triggered, this, [this](QAction* entry) {
    SavePreference("view", entry == MenuFavouriteGames   ? "favourites"
                           : entry == MenuRecentlyPlayed ? "recent"
                                                         : "");
  });
  connect(FOrderGroup, &QActionGroup::triggered, this, [this](QAction* entry) {
    const TOrder order = entry == MenuSortByLastPlayed    ? TOrder::oLastPlayed
                         : entry == MenuSortByTimesPlayed ? TOrder::oTimesPlayed
                                                          : TOrder::oName;
    FOrders[ViewKey()] = order;
    SavePreference("order." + ViewKey(), order == TOrder::oLastPlayed    ? "lastplayed"
                                         : order == TOrder::oTimesPlayed ? "timesplayed"
                                                                         : "name");
    RefillKeeping(SelectedGame());
  });

  // Tools: the favourite mark and the last run of the selected game.
  main.MenuTools->addSeparator();
  MenuFavourite = main.MenuTools->addAction("Mark as &Favourite");
  MenuFavourite->setObjectName("MenuFavourite");
  MenuFavourite->setCheckable(true);
  MenuFavourite->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
  connect(MenuFavourite, &QAction::triggered, this, [this] { ToggleFavourite(); });
  MenuLastRun = main.MenuTools->addAction("&Last Run...");
  MenuLastRun->setObjectName("MenuLastRun");
  connect(MenuLastRun, &QAction::triggered, this, [this] { ShowLastRun(); });
  MenuExportPlayHistory = new QAction("&Export Play History...", this);
  MenuExportPlayHistory->setObjectName("MenuExportPlayHistory");
  connect(MenuExportPlayHistory, &QAction::triggered, this, [this] { ExportPlayHistory(); });
  fileMenu.AddEntry(MenuExportPlayHistory);

  list->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list, &QWidget::customContextMenuRequested, this, [this, list](const QPoint& at) {
    if (list->currentRow() < 0) return;
    QMenu menu(list);
    menu.addAction(MenuFavourite);
    menu.addAction(MenuLastRun);
    menu.exec(list->viewport()->mapToGlobal(at));
  });

  // The list's rows: the star, the tool tip and the description; the line under the list.
  list->setIconSize(QSize(kStarSize, kStarSize));
  list->Model().RowData = [this](std::int32_t game, QStringView text, int role) {
    return RowData(game, text, role);
  };
  auto* statistics = new TStatisticsLine;
  PlayStatistics = statistics;
  if (auto* layout = qobject_cast<QVBoxLayout*>(list->parentWidget()->layout()))
    layout->addWidget(PlayStatistics);
  connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { UpdateStatistics(); });
  connect(&list->Model(), &QAbstractItemModel::modelReset, this, [this] { UpdateStatistics(); });
  list->Model().RowsChanged();
  UpdateStatistics();

  // The record of every start.
  start.OnRunBegins = [this](std::int32_t) { RunBegins(); };
  start.OnEmulatorStarting = [this](const TRunFacts& facts) { EmulatorStarting(facts); };
  start.OnRunOver = [this](const TRunFacts& facts) { RunOver(facts); };
  auto shutdown = main.Hooks().ShutdownIO;
  main.Hooks().ShutdownIO = [this, shutdown](const TWindowState& window) {
    if (shutdown) shutdown(window);
    // Tried again at the next close when it fails: nothing is lost meanwhile.
    FHistory.CompactIfWorthIt(nullptr);
  };
}

// ---------------------------------------------------------------------------------------------
// The list

std::string TPlayHistoryViews::ViewKey() const {
  if (FView == TView::vFavourites) return "favourites";
  if (FView == TView::vRecent) return "recent";
  return FPartView == TViewFilter::vfInstalled ? "installed"
         : FPartView == TViewFilter::vfAll     ? "all"
                                               : "uninstalled";
}

TPlayHistoryViews::TOrder TPlayHistoryViews::OrderOfView() const {
  const auto it = FOrders.find(ViewKey());
  if (it != FOrders.end()) return it->second;
  return FView == TView::vRecent ? TOrder::oLastPlayed : TOrder::oName;
}

void TPlayHistoryViews::ShowOrderChecks() {
  if (!FOrderGroup) return;
  const TOrder order = OrderOfView();
  (order == TOrder::oLastPlayed    ? MenuSortByLastPlayed
   : order == TOrder::oTimesPlayed ? MenuSortByTimesPlayed
                                   : MenuSortByName)
      ->setChecked(true);
}

bool TPlayHistoryViews::ViewRows(TGameRows& rows) {
  TCatalogue& cat = Catalogue();
  FReasons.clear();
  if (FMain) {
    FView = MenuFavouriteGames->isChecked()   ? TView::vFavourites
            : MenuRecentlyPlayed->isChecked() ? TView::vRecent
                                              : TView::vNone;
    if (FView == TView::vNone) {
      FPartView = FMain->MenuInstalledGames->isChecked()     ? TViewFilter::vfInstalled
                  : FMain->MenuUnInstalledGames->isChecked() ? TViewFilter::vfUnInstalled
                  : FMain->MenuAllGames->isChecked()         ? TViewFilter::vfAll
                                                             : TViewFilter::vfNone;
    } else if (FShown == TView::vNone) {
      // The position the availability view had before the view change reset it: the list still
      // holds that view.
      const int row = FMain->GameList->currentRow();
      FPartPos = row >= 0 && FMain->GameList->RowChecked(row)
                     ? FMain->GameList->Model().ViewPosition(row)
                     : 0;
    }
  }
  if (!FFilled) {
    // The first fill, before the window is on screen: the position is the settings file's.
    FFilled = true;
    FPartPos = cat.LastGameListPos;
    if (FView != TView::vNone) cat.LastGameListPos = 0;
  }
  FShown = FView;
  ShowOrderChecks();
  if (FView == TView::vNone) return false;

  const THistoryLog& log = FHistory.Log();
  if (FView == TView::vFavourites) {
    for (std::size_t i = 1; i < cat.Games.size(); ++i)
      if (log.Favourite(cat.Games[i].ZipName.view())) AddRow(rows, static_cast<std::int32_t>(i));
  } else {
    std::vector<std::pair<std::int64_t, std::int32_t>> started;
    for (std::size_t i = 1; i < cat.Games.size(); ++i)
      if (const auto stats = log.Stats(cat.Games[i].ZipName.view()); stats && stats->LastStartMs)
        started.emplace_back(stats->LastStartMs, static_cast<std::int32_t>(i));
    const std::size_t count = std::min(kRecentGames, started.size());
    std::partial_sort(started.begin(), started.begin() + static_cast<std::ptrdiff_t>(count),
                      started.end(), std::greater<>());
    for (std::size_t i = 0; i < count; ++i) AddRow(rows, started[i].second);
  }
  rows.SortByName();
  return true;
}

void TPlayHistoryViews::OrderRows(TGameRows& rows) {
  const TOrder order = OrderOfView();
  if (order == TOrder::oName || rows.Size() == 0) return;
  // Most recent or most played first; equal keys keep the order by name.
  const TCatalogue& cat = Catalogue();
  std::vector<std::pair<std::int64_t, std::size_t>> keys;
  keys.reserve(rows.Size());
  for (std::size_t i = 0; i < rows.Size(); ++i) {
    const auto stats =
        FHistory.Log().Stats(cat.Games[static_cast<std::size_t>(rows.Index(i))].ZipName.view());
    const std::int64_t key = !stats                         ? 0
                             : order == TOrder::oLastPlayed ? stats->LastStartMs
                                                            : stats->Plays;
    keys.emplace_back(-key, i);
  }
  std::sort(keys.begin(), keys.end());
  std::vector<std::size_t> ordered;
  ordered.reserve(keys.size());
  for (const auto& key : keys) ordered.push_back(key.second);
  rows.Reorder(ordered);
}

QString TPlayHistoryViews::Reason(std::int32_t index) {
  auto it = FReasons.find(index);
  if (it == FReasons.end())
    it = FReasons.emplace(index, ShownText(AvailabilityReason(Catalogue(), index))).first;
  return it->second;
}

QVariant TPlayHistoryViews::RowData(std::int32_t game, QStringView text, int role) {
  switch (role) {
    case Qt::DecorationRole:
      return FHistory.Log().Favourite(ZipNameOf(game)) ? FStar : FNoStar;
    case Qt::AccessibleDescriptionRole: {
      const bool favourite = FHistory.Log().Favourite(ZipNameOf(game));
      return (favourite ? QStringLiteral("favourite; ") : QString()) + Reason(game);
    }
    case Qt::ToolTipRole: {
      const auto stats = FHistory.Log().Stats(ZipNameOf(game));
      QStringList lines{text.toString(), Reason(game)};
      if (stats && stats->Favourite) lines << QStringLiteral("Favourite");
      lines << Texts(PlayStatsLines(stats ? &*stats : nullptr));
      for (QString& line : lines) line = line.toHtmlEscaped();
      return "<p style='white-space:pre'><b>" + lines.join("</b><br>") + "</p>";
    }
    default:
      return {};
  }
}

std::int32_t TPlayHistoryViews::SelectedGame() const {
  const int row = FMain->GameList->currentRow();
  return row >= 0 ? FMain->GameList->Model().RowIndex(row) : -1;
}

void TPlayHistoryViews::RefillKeeping(std::int32_t game) {
  FMain->FillGameList();
  if (game < 1 || SelectedGame() == game) return;
  const TGameListModel& model = FMain->GameList->Model();
  for (int row = 0; row < model.rowCount(); ++row)
    if (model.RowIndex(row) == game) {
      FMain->GameList->setCurrentRow(row);
      return;
    }
}

void TPlayHistoryViews::LeaveHistoryViewForClose() {
  // The settings file gets the availability view and its position, as if the history's views
  // were never shown; the history keeps its own view for the next start.
  if (!FMain || FShown == TView::vNone) return;
  MenuFavouriteGames->setChecked(false);
  MenuRecentlyPlayed->setChecked(false);
  FMain->MenuInstalledGames->setChecked(FPartView == TViewFilter::vfInstalled);
  FMain->MenuUnInstalledGames->setChecked(FPartView == TViewFilter::vfUnInstalled);
  FMain->MenuAllGames->setChecked(FPartView == TViewFilter::vfAll);
  Catalogue().LastGameListPos = FPartPos;
  FMain->FillGameList();
}

// ---------------------------------------------------------------------------------------------
// Commands

void TPlayHistoryViews::UpdateStatistics() {
  if (!FMain || !PlayStatistics) return;
  const std::int32_t game = SelectedGame();
  auto* line = static_cast<TStatisticsLine*>(PlayStatistics);
  if (game < 1) {
    line->SetTexts({});
    MenuFavourite->setEnabled(false);
    MenuFavourite->setChecked(false);
    MenuLastRun->setEnabled(false);
    return;
  }
  const auto stats = FHistory.Log().Stats(ZipNameOf(game));
  line->SetTexts(Texts(PlayStatsTexts(stats ? &*stats : nullptr)));
  MenuFavourite->setEnabled(true);
  MenuFavourite->setChecked(stats && stats->Favourite);
  MenuLastRun->setEnabled(stats && stats->HasLastRun);
}

void TPlayHistoryViews::ToggleFavourite() {
  const std::int32_t game = SelectedGame();
  if (game < 1) return;
  const std::string zipName = ZipNameOf(game);
  std::string error;
  if (!FHistory.SetFavourite(zipName, !FHistory.Log().Favourite(zipName), &error))
    ReportWriteFailure(error);
  if (FShown == TView::vFavourites) {
    FMain->FillGameList();  // the game leaves the view; the next one takes its place
  } else {
    FMain->GameList->Model().RowsChanged();
    UpdateStatistics();
  }
}

void TPlayHistoryViews::ShowLastRun() {
  const std::int32_t game = SelectedGame();
  if (game < 1) return;
  const std::optional<TRunRecord> run = FHistory.Log().LastRun(ZipNameOf(game));
  const TGameRecord& record = Catalogue().Games[static_cast<std::size_t>(game)];
  if (!run) {
    FUi.MessageDlg(record.Name.str() + " has not been started yet.", TMsgDlgType::mtInformation,
                   mbOK);
    return;
  }
  TLastRunDialog::ShowReport(QString::fromStdString(LastRunReport(*run, record.Name.view())),
                             FMain);
}

void TPlayHistoryViews::ExportPlayHistory() {
  const QString path = QFileDialog::getSaveFileName(
      FMain, "Export Play History", QDir::home().filePath("StartVELK play history.csv"),
      "CSV files (*.csv);;All files (*)");
  if (path.isEmpty()) return;
  const TCatalogue& cat = Catalogue();
  std::vector<TExportRow> rows;
  std::unordered_set<std::string> listed;
  for (std::size_t i = 1; i < cat.Games.size(); ++i) {
    const std::string zipName = cat.Games[i].ZipName.str();
    const auto stats = FHistory.Log().Stats(zipName);
    if (!stats || (!stats->Favourite && stats->LastStartMs == 0) || !listed.insert(zipName).second)
      continue;
    rows.push_back({zipName, cat.Games[i].Name.str(), *stats});
  }
  // Games the catalogue no longer lists keep their lines, without a name.
  FHistory.Log().ForEachGame([&](const std::string& game, const TGameStats& stats) {
    if ((stats.Favourite || stats.LastStartMs != 0) && !listed.count(game))
      rows.push_back({game, std::string(), stats});
  });
  std::string error;
  const std::string target = QFile::encodeName(path).toStdString();
  if (!platform::WriteFileAtomically(target, PlayHistoryCsv(rows), &error)) {
    FUi.MessageDlg("Cannot write " + target + ": " + error, TMsgDlgType::mtError, mbOK);
    return;
  }
  FUi.SetStatusText("Exported the play history of " + std::to_string(rows.size()) +
                    (rows.size() == 1 ? " game" : " games"));
}

// ---------------------------------------------------------------------------------------------
// The record of a start

void TPlayHistoryViews::SavePreference(const std::string& key, const std::string& value) {
  std::string error;
  if (!FHistory.SetPreference(key, value, &error)) ReportWriteFailure(error);
}

void TPlayHistoryViews::ReportWriteFailure(const std::string& error) {
  // Once: the history goes on in memory for the session.
  if (FWriteFailureShown || FHistory.Path().empty() || !FHistory.Writable()) return;
  FWriteFailureShown = true;
  FUi.MessageDlg("The play history cannot be written: " + error +
                     "\rFavourites and plays are kept only until StartVELK ends.",
                 TMsgDlgType::mtError, mbOK);
}

void TPlayHistoryViews::RunBegins() {
  FBeganMs = NowMs();
  FRun = TRunRecord{};
  FRunRecorded = false;
}

void TPlayHistoryViews::EmulatorStarting(const TRunFacts& facts) {
  const TCatalogue& cat = Catalogue();
  FRun.Game = ZipNameOf(facts.Game);
  FRun.StartMs = NowMs();
  FRun.CommandLine = facts.CommandLine;
  FRun.WorkingFolder = facts.WorkingFolder;
  FRun.Archive = facts.Archive;
  FRun.Extracted = facts.Extracted;
  FRun.BatchText =
      platform::ReadWholeFile(platform::ResolvePath(InGameDir(cat, std::string(BatchFileName))),
                              MaxBatchText)
          .value_or(std::string());
  std::string error;
  FRunRecorded = FHistory.RecordStart(FRun, &error);
  if (!FRunRecorded) {
    FRun.Id = 0;  // recorded whole at its end, if the file can be written then
    ReportWriteFailure(error);
  }
}

void TPlayHistoryViews::RunOver(const TRunFacts& facts) {
  const std::string zipName = ZipNameOf(facts.Game);
  if (zipName.empty()) return;
  // Left running when the program was asked to end: its end is not known.
  if (facts.EmulatorStarted && !facts.Ended) return;
  if (FRun.Game.empty()) {  // never reached the emulator
    FRun.Game = zipName;
    FRun.StartMs = FBeganMs;
    FRun.Archive = facts.Archive;
  }
  FRun.Extracted = facts.Extracted;
  FRun.Removed = facts.Removed;
  FRun.DurationMs = facts.EmulatorStarted ? facts.DurationMs : 0;
  FRun.EndMs = facts.EmulatorStarted ? FRun.StartMs + facts.DurationMs : NowMs();
  FRun.ExitStatus = facts.EmulatorStarted ? facts.ExitStatus : -1;
  FRun.Outcome =
      ClassifyRun(facts.EmulatorStarted, facts.Cancelled, facts.DurationMs, facts.ExitStatus);
  FRun.Reason = facts.Failure;
  if (facts.EmulatorStarted) {
    const std::string log =
        platform::ResolvePath(InGameDir(Catalogue(), std::string(ConsoleLogName)));
    const std::optional<std::string> tail = platform::ReadFileTail(log, OutputTailBytes);
    FRun.Output = tail ? OutputTail(*tail, platform::FileSize(log).value_or(0) > tail->size())
                       : std::string();
  }
  std::string error;
  if (!FHistory.RecordEnd(FRun, &error)) ReportWriteFailure(error);
  if (FUi.QuitRequested() || !FMain) return;

  const bool moves = FShown == TView::vRecent || OrderOfView() != TOrder::oName;
  if (moves) {
    RefillKeeping(SelectedGame());
  } else {
    FMain->GameList->Model().RowsChanged();
    UpdateStatistics();
  }
  // Said once, after the list has settled; the next selection puts the title back.
  const std::string failed = FailedStartText(SummaryOf(FRun), FRun.Reason);
  if (!failed.empty()) FUi.SetStatusText(failed);
}
