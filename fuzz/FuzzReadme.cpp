// The readme's games list: any text, with names taken from it as if driver directories existed.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "FuzzSupport.h"
#include "catalogue/Catalogue.h"
#include "catalogue/NewGames.h"
#include "catalogue/ReadmeGamesList.h"
#include "platform/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::AsText(data, size);
  // Driver directories: the words of the text (the game lines end with one), each name once.
  TNewGames newGames;
  std::unordered_set<std::string> seen;
  std::string word;
  for (std::size_t i = 0; i <= text.size() && seen.size() < 256; ++i) {
    const char c = i < text.size() ? text[i] : ' ';
    if (static_cast<unsigned char>(c) > 32 && c != '|') {
      word += c;
    } else if (!word.empty()) {
      if (seen.insert(LowerAscii(word)).second) newGames.Add(word);
      word.clear();
    }
  }
  if (seen.insert("loht").second) newGames.Add("loht");  // what the misspelt line names
  const std::size_t before = newGames.Count();
  // Names that the 8-byte short name cuts to the same text may rightly appear twice.
  std::unordered_map<std::string, int> cutForms;
  for (const std::string& name : newGames.Names()) ++cutForms[LowerAscii(TString8(name).view())];

  TCatalogue cat;
  InitGameRecord(cat.Games.emplace_back());
  ParseReadmeGamesList(cat, newGames, text);

  // Every entry made used up one name, and no name was taken twice.
  fuzz::Check(cat.Games.size() - 1 + newGames.Count() == before, "entries and names disagree");
  std::unordered_set<std::string> taken;
  for (std::size_t i = 1; i < cat.Games.size(); ++i) {
    const TGameRecord& game = cat.Games[i];
    fuzz::Check(!game.ZipName.empty(), "an entry without a short name");
    const std::string cut = LowerAscii(game.ZipName.view());
    fuzz::Check(taken.insert(cut).second || cutForms[cut] > 1, "a name taken twice");
  }
  return 0;
}
