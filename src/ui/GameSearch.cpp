#include "GameSearch.h"

namespace gamesearch {

namespace {

bool IsAscii(const QString& text) {
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

QString FoldName(const QString& name) {
  // Most names are plain ASCII: decomposing them would only cost time at every list fill.
  const QString letters =
      IsAscii(name) ? name : name.normalized(QString::NormalizationForm_D).toCaseFolded();
  QString folded;
  folded.reserve(letters.size());
  bool blank = false;
  for (const QChar c : letters) {
    if (c.isSpace()) {
      blank = true;
      continue;
    }
    if (IsMark(c)) continue;
    if (blank && !folded.isEmpty()) folded += QLatin1Char(' ');
    blank = false;
    const char16_t u = c.unicode();
    folded += (u >= 'A' && u <= 'Z') ? QChar(u + ('a' - 'A')) : c;
  }
  if (blank && !folded.isEmpty()) folded += QLatin1Char(' ');
  return folded;
}

QString FoldSearchText(const QString& typed) {
  return FoldName(typed);
}

}  // namespace gamesearch
