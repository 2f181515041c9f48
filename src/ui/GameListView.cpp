#include "GameListView.h"

#include <QAccessible>
#include <QAction>
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
#include "ui/MainArtwork.h"

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

void TGameRows::Reserve(std::size_t rows, std::size_t unitsPerRow) {
  FRows.reserve(rows);
  FTexts.reserve(static_cast<qsizetype>(rows * unitsPerRow));
}

void TGameRows::Add(std::string_view name, std::int32_t index, bool available) {
  const qsizetype at = FTexts.size();
  // Plain ASCII, as most names are, is its own UTF-16 text; others are shown as ShownText does.
  if (std::all_of(name.begin(), name.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    FTexts.append(QLatin1String(name.data(), static_cast<qsizetype>(name.size())));
  else
    FTexts.append(ShownText(name));
  FRows.push_back({at, FTexts.size() - at, index, available});
}

void TGameRows::Add(QStringView text, std::int32_t index, bool available) {
  const qsizetype at = FTexts.size();
  FTexts.append(text);
  FRows.push_back({at, FTexts.size() - at, index, available});
}

void TGameRows::Reorder(const std::vector<std::size_t>& order) {
  std::vector<TRow> rows;
  rows.reserve(order.size());
  for (const std::size_t at : order) rows.push_back(FRows[at]);
  FRows = std::move(rows);
}

void TGameRows::SortByName() {
  // Each folded key is written into one buffer so that byte order is code-unit order: one byte
  // a unit when every text is ASCII (as most catalogues are), else its UTF-16 units, high byte
  // first. An ASCII text folds to its lower case without a folded copy; only others are folded
  // by Qt. Each key's first sixteen bytes are held beside it, so most comparisons stay there.
  const bool ascii = std::all_of(FRows.begin(), FRows.end(), [this](const TRow& row) {
    const QStringView text = QStringView(FTexts).mid(row.At, row.Length);
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
  });
  std::string keys;
  keys.reserve(static_cast<std::size_t>(FTexts.size()) * (ascii ? 1 : 2));
  struct TKey {
    std::uint64_t Head[2];  // the key's first sixteen bytes, big-endian, zero-padded
    std::uint32_t At;
    std::uint32_t Length;
    std::uint32_t Row;
  };
  std::vector<TKey> order(FRows.size(), TKey{});
  const auto append = [&keys, ascii](char16_t u) {
    if (!ascii) keys.push_back(static_cast<char>(u >> 8));
    keys.push_back(static_cast<char>(u & 0xFF));
  };
  for (std::size_t r = 0; r < FRows.size(); ++r) {
    const QStringView text = Text(r);
    const std::size_t at = keys.size();
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
      for (const QChar c : text) {
        const char16_t u = c.unicode();
        append(u >= 'A' && u <= 'Z' ? static_cast<char16_t>(u + ('a' - 'A')) : u);
      }
    } else {
      for (const QChar c : text.toString().toCaseFolded()) append(c.unicode());
    }
    TKey& key = order[r];
    for (std::size_t i = 0; i < 16; ++i)
      key.Head[i / 8] = (key.Head[i / 8] << 8) |
                        (at + i < keys.size() ? static_cast<unsigned char>(keys[at + i]) : 0);
    key.At = static_cast<std::uint32_t>(at);
    key.Length = static_cast<std::uint32_t>(keys.size() - at);
    key.Row = static_cast<std::uint32_t>(r);
  }
  const std::string_view all(keys);
  std::sort(order.begin(), order.end(), [all](const TKey& a, const TKey& b) {
    if (a.Head[0] != b.Head[0]) return a.Head[0] < b.Head[0];
    if (a.Head[1] != b.Head[1]) return a.Head[1] < b.Head[1];
    const int c = all.substr(a.At, a.Length).compare(all.substr(b.At, b.Length));
    return c != 0 ? c < 0 : a.Row < b.Row;
  });
  std::vector<TRow> sorted;
  sorted.reserve(FRows.size());
  for (const TKey& key : order) sorted.push_back(FRows[key.Row]);
  FRows = std::move(sorted);
}

void TGameListModel::SetRows(TGameRows rows) {
  beginResetModel();
  FRows = std::move(rows);
  FFolded.clear();
  FFoldedAt.clear();
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
  if (!FFoldedAt.empty()) return;
  FFoldedAt.reserve(FRows.Size() + 1);
  FFolded.reserve(FRows.Size() * 16);
  for (std::size_t r = 0; r < FRows.Size(); ++r) {
    FFoldedAt.push_back(FFolded.size());
    gamesearch::AppendFoldedName(FRows.Text(r), FFolded);
  }
  FFoldedAt.push_back(FFolded.size());
}

void TGameListModel::Narrow() {
  FShown.clear();
  FShown.reserve(FRows.Size());
  if (FFoldedSearch.isEmpty()) {
    for (std::size_t i = 0; i < FRows.Size(); ++i) FShown.push_back(static_cast<int>(i));
    return;
  }
  PrepareSearch();
  for (std::size_t i = 0; i < FRows.Size(); ++i)
    if (gamesearch::Matches(Folded(i), FFoldedSearch)) FShown.push_back(static_cast<int>(i));
}

int TGameListModel::RowOfViewPosition(int position) const {
  const auto it = std::lower_bound(FShown.begin(), FShown.end(), position);
  return it != FShown.end() && *it == position ? static_cast<int>(it - FShown.begin()) : -1;
}

void TGameListModel::RowsChanged() {
  if (rowCount() > 0) emit dataChanged(index(0), index(rowCount() - 1));
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
  if (RowData)
    if (QVariant extra = RowData(RowIndex(index.row()), FRows.Text(FShown[index.row()]), role);
        extra.isValid())
      return extra;
  switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
      return RowText(index.row());
    case Qt::CheckStateRole:
      return RowAvailable(index.row()) ? Qt::Checked : Qt::Unchecked;
    case Qt::AccessibleDescriptionRole:
      // A screen reader says the mark only when it is there: the status is said in words too.
      return GameStatusText(Catalogue(), RowIndex(index.row()));
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

void TGameSearchField::AddClearControl() {
  QAction* action = addAction(artwork::ClearIcon(), QLineEdit::TrailingPosition);
  action->setText(QStringLiteral("Clear search"));
  action->setToolTip(QStringLiteral("Clear search (Esc)"));
  action->setVisible(false);
  connect(this, &QLineEdit::textChanged, action,
          [action](const QString& text) { action->setVisible(!text.isEmpty()); });
  connect(action, &QAction::triggered, this, [this] {
    clear();
    setFocus();
  });
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
