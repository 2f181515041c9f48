#pragma once

#include <QString>

// The matching rule of the game list's search field: a game is listed when its folded name
// contains the folded search text. Folding drops letter case and accents (a letter with its
// combining marks removed after canonical decomposition) and turns every run of blanks into one
// blank, so "space  racer" finds "Space Racer".
namespace gamesearch {

/// A name as the search compares it; computed once per row when the list is filled.
QString FoldName(QStringView name);

/// The same, appended to folded: the list keeps the names of all rows in one block.
void AppendFoldedName(QStringView name, QString& folded);

/// What was typed, as the search looks for it: folded like a name, without leading blanks. A
/// trailing blank stays, so "moon " finds "Moon Patrol" and not "Moonlight". Empty: every name.
QString FoldSearchText(const QString& typed);

/// Whether a folded name matches folded search text.
inline bool Matches(QStringView foldedName, const QString& foldedText) {
  return foldedText.isEmpty() || foldedName.contains(foldedText, Qt::CaseSensitive);
}

}  // namespace gamesearch
