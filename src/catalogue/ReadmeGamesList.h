#pragma once

#include <string>
#include <string_view>

struct TCatalogue;
class TNewGames;

/// The readme's file name as the catalogue load opens it (found ignoring letter case).
inline constexpr const char* ReadmeFileName = "Readme.txt";

/// Reads the readme's "gameslist:" section and appends to cat.Games, in the readme's order, an
/// entry for each line whose short name newGames holds, removing the name from newGames. Stops as
/// soon as newGames is empty. A readme that cannot be read adds nothing: the file is read whole
/// before any entry is made, so the catalogue never holds part of a readme's games.
void ReadReadmeGamesList(TCatalogue& cat, TNewGames& newGames);

/// ReadReadmeGamesList on a readme's text already read.
void ParseReadmeGamesList(TCatalogue& cat, TNewGames& newGames, std::string_view text);

/// Display name from a readme text: ASCII lower case, word starts capitalised (an apostrophe does
/// not start a word), then the first "Ii" becomes "II".
std::string CapitalizeName(std::string_view text);
