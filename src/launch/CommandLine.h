#pragma once

#include <string>

#include "catalogue/Catalogue.h"

/// The emulator's argument string for the current game of the catalogue: its short name followed
/// by the option words of its settings, or of the default record when it uses the defaults.
/// selectedChecked is the check mark of the game list's selected row (false when none is
/// selected); an unchecked row, or a current game outside the catalogue, gives the empty string.
void BuildCommandLine(std::string& commandLine, bool selectedChecked);

/// The same for an explicit catalogue, so callers other than the main window can use it.
void BuildCommandLine(const TCatalogue& catalogue, bool selectedChecked, std::string& commandLine);
