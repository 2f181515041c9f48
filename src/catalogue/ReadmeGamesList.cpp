#include "ReadmeGamesList.h"

#include "Catalogue.h"
#include "NewGames.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace {

// Far beyond any emulator's readme; a larger file (or one that never ends) is not read at all.
constexpr std::uint64_t MaxReadmeBytes = std::uint64_t{64} << 20;

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlankOrControl(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlankOrControl(s.back())) s.remove_suffix(1);
  return s;
}

// The next line of text, without its line feed; rest moves past it.
std::string_view NextLine(std::string_view& rest) {
  const std::size_t eol = rest.find('\n');
  const std::string_view line = rest.substr(0, eol);
  rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
  return line;
}

}  // namespace

std::string CapitalizeName(std::string_view text) {
  std::string result = LowerAscii(text);
  bool wordStart = true;
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') {
      if (wordStart) {
        c = static_cast<char>(c - 'a' + 'A');
        wordStart = false;
      }
    } else if (c != '\'') {
      wordStart = true;
    }
  }
  const std::size_t roman = result.find("Ii");
  if (roman != std::string::npos) result[roman + 1] = 'I';
  return result;
}

void ReadReadmeGamesList(TCatalogue& cat, TNewGames& newGames) {
  if (const auto text = platform::ReadWholeFile(ReadmeFileName, MaxReadmeBytes))
    ParseReadmeGamesList(cat, newGames, *text);
}

void ParseReadmeGamesList(TCatalogue& cat, TNewGames& newGames, std::string_view text) {
  std::string_view rest(text);
  bool marker = false;
  while (!rest.empty() && !marker)
    marker = NextLine(rest).find("gameslist:") != std::string_view::npos;
  if (!marker) return;

  std::string line;
  while (!rest.empty() && !newGames.Empty()) {
    line.assign(NextLine(rest));
    for (char& c : line)
      if (c == '|') c = ' ';
    const std::string_view trimmed = Trim(line);
    const std::size_t blank = trimmed.rfind(' ');
    std::string_view shortName =
        blank == std::string_view::npos ? trimmed : trimmed.substr(blank + 1);
    const std::string_view displayName =
        blank == std::string_view::npos ? std::string_view() : Trim(trimmed.substr(0, blank));
    if (shortName == "loth") shortName = "loht";  // the readme misspells this game's directory
    if (!newGames.Remove(shortName)) continue;

    TGameRecord& record = cat.Games.emplace_back();
    InitGameRecord(record);
    record.Name = CapitalizeName(displayName);
    record.ZipName = shortName;
  }
}
