#include "GameListView.h"

#include <QAccessible>
#include <QDir>
#include <QKeyEvent>
#include <QSize>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>
#include <string>
#include <string_view>

#include "GameSearch.h"
#include "StartUtils.h"
#include "catalogue/Catalogue.h"

namespace {

// Draws the marks and never changes them: a click on a mark selects its row as a click anywhere
// on the row does, and the space bar leaves the mark as it is.
class TReadOnlyMarkDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  bool editorEvent(QEvent*, QAbstractItemModel*, const QStyleOptionViewItem&,
                   const QModelIndex&) override {
    return false;
  }
};

}  // namespace

void SortByName(std::vector<TGameRow>& rows) {
  // Each folded key is written as its UTF-16 code units, high byte first, into one buffer: byte
  // order is then code-unit order, and memcmp compares them. An ASCII text folds to its lower
  // case, made there without a folded copy of the string; only other texts are folded by Qt.
  std::string keys;
  keys.reserve(rows.size() * 32);
  struct TKey {
    std::uint32_t At;
    std::uint32_t Length;
    std::size_t Row;
  };
  std::vector<TKey> order(rows.size());
  const auto append = [&keys](char16_t u) {
    keys.push_back(static_cast<char>(u >> 8));
    keys.push_back(static_cast<char>(u & 0xFF));
  };
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const QString& text = rows[r].Text;
    const std::size_t at = keys.size();
    const auto units = QStringView(text);
    if (std::all_of(units.begin(), units.end(), [](QChar c) { return c.unicode() < 0x80; })) {
      for (const QChar c : units) {
        const char16_t u = c.unicode();
        append(u >= 'A' && u <= 'Z' ? static_cast<char16_t>(u + ('a' - 'A')) : u);
      }
    } else {
      for (const QChar c : text.toCaseFolded()) append(c.unicode());
    }
    order[r] = {static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(keys.size() - at), r};
  }
  const std::string_view all(keys);
  std::sort(order.begin(), order.end(), [all](const TKey& a, const TKey& b) {
    const int c = all.substr(a.At, a.Length).compare(all.substr(b.At, b.Length));
    return c != 0 ? c < 0 : a.Row < b.Row;
  });
  std::vector<TGameRow> sorted;
  sorted.reserve(rows.size());
  for (const TKey& key : order) sorted.push_back(std::move(rows[key.Row]));
  rows = std::move(sorted);
}

void TGameListModel::SetRows(std::vector<TGameRow> rows) {
  beginResetModel();
  FRows = std::move(rows);
  FRowsFolded = false;
  Narrow();
  endResetModel();
}

void TGameListModel::SetSearch(const QString& typed) {
  const QString folded = gamesearch::FoldSearchText(typed);
  if (folded == FFoldedSearch) return;
  beginResetModel();
  FFoldedSearch = folded;
  Narrow();
  endResetModel();
}

void TGameListModel::PrepareSearch() {
  if (FRowsFolded) return;
  for (TGameRow& row : FRows) row.Folded = gamesearch::FoldName(row.Text);
  FRowsFolded = true;
}

void TGameListModel::Narrow() {
  if (!FFoldedSearch.isEmpty()) PrepareSearch();
  FShown.clear();
  FShown.reserve(FRows.size());
  for (std::size_t i = 0; i < FRows.size(); ++i)
    if (gamesearch::Matches(FRows[i].Folded, FFoldedSearch)) FShown.push_back(static_cast<int>(i));
}

int TGameListModel::RowOfViewPosition(int position) const {
  const auto it = std::lower_bound(FShown.begin(), FShown.end(), position);
  return it != FShown.end() && *it == position ? static_cast<int>(it - FShown.begin()) : -1;
}

int TGameListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(FShown.size());
}

QString GameStatusText(const TCatalogue& cat, std::int32_t index) {
  const std::int32_t status = index >= 0 && index < static_cast<std::int32_t>(cat.GameStatus.size())
                                  ? cat.GameStatus[index]
                                  : gsNotAvailable;
  if (status == gsInstalled) return QStringLiteral("installed");
  if (status != gsZipAvailable) return QStringLiteral("not available");
  std::string folder = cat.AltRomPath.empty() ? cat.GameDir : cat.AltRomPath;
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  return QStringLiteral("zipped in %1").arg(QDir::toNativeSeparators(ShownText(folder)));
}

QVariant TGameListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TGameRow& row = Row(index.row());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
      return row.Text;
    case Qt::CheckStateRole:
      return row.Available ? Qt::Checked : Qt::Unchecked;
    case Qt::AccessibleDescriptionRole:
      // A screen reader says the mark only when it is there: the status is said in words too.
      return GameStatusText(Catalogue(), row.Index);
    case Qt::SizeHintRole:
      return QSize(0, 15);
    default:
      return {};
  }
}

Qt::ItemFlags TGameListModel::flags(const QModelIndex& index) const {
  // User-checkable so that screen readers report each row's mark; the model takes no change of
  // it, and the view's delegate never asks for one.
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable
                         : Qt::NoItemFlags;
}

TGameListView::TGameListView(QWidget* parent) : QListView(parent), FModel(this) {
  setModel(&FModel);
  setItemDelegate(new TReadOnlyMarkDelegate(this));
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
}

int TGameListView::currentRow() const {
  const QModelIndexList selected = selectionModel()->selectedIndexes();
  return selected.isEmpty() ? -1 : selected.first().row();
}

void TGameListView::setCurrentRow(int row) {
  if (row < 0 || row >= count()) {
    selectionModel()->clear();
    return;
  }
  const QModelIndex index = FModel.index(row);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  scrollTo(index);
}

void TGameListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  // The search field selects rows while the keyboard stays in it; the screen reader's focus
  // stays there too. Only the list's own moves are announced as a move of the focus.
  if (hasFocus())
    QListView::currentChanged(current, previous);
  else
    QAbstractItemView::currentChanged(current, previous);
}

void TGameListView::focusInEvent(QFocusEvent* event) {
  QListView::focusInEvent(event);
  // Coming into the list, the reader names the selected game, not only the list: after the
  // list's own focus has been told.
  QTimer::singleShot(0, this, [this] {
    const int row = currentRow();
    if (row < 0 || !hasFocus() || !QAccessible::isActive()) return;
    QAccessibleEvent focus(this, QAccessible::Focus);
    focus.setChild(row);
    QAccessible::updateAccessibility(&focus);
  });
}

void TGameListView::keyPressEvent(QKeyEvent* event) {
  // Printable text starts a search; a leading blank stays the list's own key.
  const QString text = event->text();
  const bool plain =
      !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
  if (plain && !text.isEmpty() && text.front().isPrint() && !text.front().isSpace()) {
    emit TypedText(text);
    event->accept();
    return;
  }
  QListView::keyPressEvent(event);
}

void TGameSearchField::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && !text().isEmpty()) {
    clear();
    event->accept();
    return;
  }
  if (event->key() == Qt::Key_Down && event->modifiers() == Qt::NoModifier) {
    emit LeaveDown();
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}
