#include "CommandLine.h"

void BuildCommandLine(std::string& commandLine, bool selectedChecked) {
  BuildCommandLine(Catalogue(), selectedChecked, commandLine);
}

void BuildCommandLine(const TCatalogue& catalogue, bool selectedChecked, std::string& commandLine) {
  commandLine.clear();
  if (!selectedChecked) return;
  // A checked row always belongs to a game, but an index beyond the catalogue must not be read.
  if (catalogue.CurrentGame < 0 ||
      static_cast<std::size_t>(catalogue.CurrentGame) >= catalogue.Games.size())
    return;
  const TGameRecord& game = catalogue.Games[static_cast<std::size_t>(catalogue.CurrentGame)];
  const TGameRecord& options =
      game.UseDefSettings && !catalogue.Games.empty() ? catalogue.Games[0] : game;

  commandLine = game.ZipName.str();
  if (options.Vsync) commandLine += " -v";
  if (!options.ScanLines) commandLine += " -n";
  if (options.Resolution.view() != "Default") {
    commandLine += " -d";
    commandLine += options.Resolution.view();
  }
  if (options.RotateScreen) commandLine += " -r";
  if (!options.Sound) commandLine += " -s";
  if (options.AltFMBase) commandLine += " -a";
  if (options.Joystick) commandLine += " -j";
  if (options.FrameSkip) commandLine += " -f";
}
