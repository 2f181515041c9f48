#include "GameSearch.h"

namespace gamesearch {

namespace {

bool IsAscii(QStringView text) {
  for (const QChar c : text)
    if (c.unicode() >= 0x80) return false;
  return true;
}

bool IsMark(QChar c) {
  const QChar::Category category = c.category();
  return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
         category == QChar::Mark_Enclosing;
}

}  // namespace

void AppendFoldedName(QStringView name, QString& folded) {
  // Most names are plain ASCII: decomposing them would only cost time at every list fill.
  QString decomposed;
  if (!IsAscii(name))
    decomposed = name.toString().normalized(QString::NormalizationForm_D).toCaseFolded();
  const QStringView letters = decomposed.isNull() ? name : QStringView(decomposed);
  const qsizetype start = folded.size();
  bool blank = false;
  for (const QChar c : letters) {
    if (c.isSpace()) {
      blank = true;
      continue;
    }
    if (IsMark(c)) continue;
    if (blank && folded.size() > start) folded += QLatin1Char(' ');
    blank = false;
    const char16_t u = c.unicode();
    folded += (u >= 'A' && u <= 'Z') ? QChar(u + ('a' - 'A')) : c;
  }
  if (blank && folded.size() > start) folded += QLatin1Char(' ');
}

QString FoldName(QStringView name) {
  QString folded;
  folded.reserve(name.size());
  AppendFoldedName(name, folded);
  return folded;
}

QString FoldSearchText(const QString& typed) {
  return FoldName(typed);
}

}  // namespace gamesearch
