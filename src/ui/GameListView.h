#pragma once

#include <QAbstractListModel>
#include <QLineEdit>
#include <QListView>
#include <QString>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

/// The rows of the game list: catalogue entries as the view shows them. The texts lie one after
/// the other in one block, so that tens of thousands of rows cost two allocations, not one each.
class TGameRows {
 public:
  /// Room for rows of about unitsPerRow UTF-16 units each.
  void Reserve(std::size_t rows, std::size_t unitsPerRow);
  /// Appends a row showing a catalogue name (its bytes shown as ShownText shows them).
  void Add(std::string_view name, std::int32_t index, bool available);
  /// Appends a row showing text.
  void Add(QStringView text, std::int32_t index, bool available);

  std::size_t Size() const { return FRows.size(); }
  QStringView Text(std::size_t row) const {
    return QStringView(FTexts).mid(FRows[row].At, FRows[row].Length);
  }
  std::int32_t Index(std::size_t row) const { return FRows[row].Index; }  ///< into Games
  bool Available(std::size_t row) const { return FRows[row].Available; }  ///< the check mark

  /// Sorts the rows by their case-folded texts, compared as QString compares (by UTF-16 code
  /// unit); rows of equal keys keep their order.
  void SortByName();
  /// Puts the rows in the given order of their positions; the texts stay where they are.
  void Reorder(const std::vector<std::size_t>& order);

 private:
  struct TRow {
    qsizetype At;
    qsizetype Length;
    std::int32_t Index;
    bool Available;
  };
  QString FTexts;
  std::vector<TRow> FRows;
};

struct TCatalogue;

/// A game's status in words, as a screen reader says it with its row: "installed", "zipped in
/// <folder>", "not available".
QString GameStatusText(const TCatalogue& cat, std::int32_t index);

/// The rows of the chosen view, sorted, of which the search text lets some through. Rows are
/// plain values: with tens of thousands of games a model is far cheaper than one item per row,
/// and narrowing it is one pass over precomputed names.
class TGameListModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  /// Replaces the rows of the view (already sorted) and applies the search text again.
  void SetRows(TGameRows rows);
  /// Lets through the rows whose name contains typed, as the search's matching rule says.
  void SetSearch(const QString& typed);
  /// Makes the rows' names as the search compares them, unless made already: the first search
  /// does it when nothing did before. The window calls it once it is shown, so that filling a
  /// list of many games does not wait for it and the first keystroke does not either.
  void PrepareSearch();
  bool Searching() const { return !FFoldedSearch.isEmpty(); }

  /// Rows of the view before the search narrows it.
  int ViewRowCount() const { return static_cast<int>(FRows.Size()); }
  /// A shown row's text, catalogue index and check mark.
  QString RowText(int row) const { return FRows.Text(FShown[row]).toString(); }
  std::int32_t RowIndex(int row) const { return FRows.Index(FShown[row]); }
  bool RowAvailable(int row) const { return FRows.Available(FShown[row]); }
  /// Position of a shown row in the view's whole list.
  int ViewPosition(int row) const { return FShown[row]; }
  /// The shown row at a position of the view's whole list; -1 when the search hides it.
  int RowOfViewPosition(int position) const;

  /// What else a row shows (a picture, a tool tip, a description for screen readers), given its
  /// game and text: an invalid value leaves the role to the model.
  std::function<QVariant(std::int32_t game, QStringView text, int role)> RowData;
  /// The rows' pictures, tool tips or descriptions have changed.
  void RowsChanged();

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  void Narrow();
  QStringView Folded(std::size_t row) const {
    return QStringView(FFolded).mid(FFoldedAt[row], FFoldedAt[row + 1] - FFoldedAt[row]);
  }

  TGameRows FRows;
  std::vector<int> FShown;  ///< positions in FRows of the rows the search lets through
  QString FFoldedSearch;
  // The rows' names as the search compares them, once made: one block, row r from FFoldedAt[r]
  // to FFoldedAt[r + 1].
  QString FFolded;
  std::vector<qsizetype> FFoldedAt;
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
  QString RowText(int row) const { return FModel.RowText(row); }
  bool RowChecked(int row) const { return FModel.RowAvailable(row); }
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
  /// A control at the field's end that clears it, shown while there is text: drawn by the
  /// program, since the platform's clear button looks up an icon theme at every start.
  void AddClearControl();

 signals:
  void LeaveDown();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};
