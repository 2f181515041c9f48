#pragma once

#include <QAbstractListModel>
#include <QLineEdit>
#include <QListView>
#include <QString>
#include <cstdint>
#include <vector>

/// One row of the game list: a catalogue entry as the view shows it.
struct TGameRow {
  QString Text;        ///< the Name as shown
  QString Folded;      ///< the Name as the search compares it; made by the model
  std::int32_t Index;  ///< index into Games
  bool Available;      ///< the check mark: installed or zip-available
};

struct TCatalogue;

/// A game's status in words, as a screen reader says it with its row: "installed", "zipped in
/// <folder>", "not available".
QString GameStatusText(const TCatalogue& cat, std::int32_t index);

/// Sorts rows by their case-folded text, compared as QString compares (by UTF-16 code unit); rows
/// of equal keys keep their order.
void SortByName(std::vector<TGameRow>& rows);

/// The rows of the chosen view, sorted, of which the search text lets some through. Rows are
/// plain values: with tens of thousands of games a model is far cheaper than one item per row,
/// and narrowing it is one pass over precomputed names.
class TGameListModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  /// Replaces the rows of the view (already sorted) and applies the search text again.
  void SetRows(std::vector<TGameRow> rows);
  /// Lets through the rows whose name contains typed, as the search's matching rule says.
  void SetSearch(const QString& typed);
  /// Makes the rows' names as the search compares them, unless made already: the first search
  /// does it when nothing did before. The window calls it once it is shown, so that filling a
  /// list of many games does not wait for it and the first keystroke does not either.
  void PrepareSearch();
  bool Searching() const { return !FFoldedSearch.isEmpty(); }

  /// Rows of the view before the search narrows it.
  int ViewRowCount() const { return static_cast<int>(FRows.size()); }
  const TGameRow& Row(int row) const { return FRows[FShown[row]]; }
  /// Position of a shown row in the view's whole list.
  int ViewPosition(int row) const { return FShown[row]; }
  /// The shown row at a position of the view's whole list; -1 when the search hides it.
  int RowOfViewPosition(int position) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  void Narrow();

  std::vector<TGameRow> FRows;
  std::vector<int> FShown;  ///< positions in FRows of the rows the search lets through
  QString FFoldedSearch;
  bool FRowsFolded = false;  ///< the rows' Folded names are made
};

/// The game list: rows with a check mark each, read-only (the marks show availability only).
/// Typing while it has the focus hands the text to the search field.
class TGameListView : public QListView {
  Q_OBJECT

 public:
  explicit TGameListView(QWidget* parent = nullptr);

  TGameListModel& Model() { return FModel; }
  const TGameListModel& Model() const { return FModel; }
  int count() const { return FModel.rowCount(); }
  /// The selected row, -1 when none.
  int currentRow() const;
  /// Selects row and makes it current; -1 (or a row out of range) selects none.
  void setCurrentRow(int row);
  QString RowText(int row) const { return FModel.Row(row).Text; }
  bool RowChecked(int row) const { return FModel.Row(row).Available; }
  QRect RowRect(int row) const { return visualRect(FModel.index(row)); }

 signals:
  void TypedText(const QString& text);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void focusInEvent(QFocusEvent* event) override;

 private:
  TGameListModel FModel;
};

/// The search field above the game list: Escape clears it, Down moves to the list.
class TGameSearchField : public QLineEdit {
  Q_OBJECT

 public:
  using QLineEdit::QLineEdit;

 signals:
  void LeaveDown();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};
