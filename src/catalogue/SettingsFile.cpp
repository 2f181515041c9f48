#include "SettingsFile.h"

#include <algorithm>
#include <string_view>

#include "EmuExeDate.h"
#include "NewGames.h"
#include "Scans.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace {

// Some hundred bytes a game: a larger file is no settings file of ours and is not read.
constexpr std::uint64_t MaxSettingsBytes = std::uint64_t{64} << 20;

constexpr std::string_view StartSection = "StartVELK";
constexpr std::string_view ViewSection = "View";
constexpr std::string_view WindowSection = "Window";
constexpr std::string_view ScreenshotSection = "Screenshot";

std::string GameSection(std::int64_t n) {
  return "Game" + std::to_string(n);
}

// Checking one radio item unchecks the others of its group; unchecking one touches nothing else.
template <typename T>
void SetRadio(T& group, T item, bool checked, T none) {
  if (checked)
    group = item;
  else if (group == item)
    group = none;
}

// The number N of a section named Game<N> as ReadGameSection would ask for it, N >= 1.
bool IsGameSection(std::string_view name) {
  if (name.size() < 5 || !SameTextAscii(name.substr(0, 4), "game")) return false;
  const std::string_view digits = name.substr(4);
  if (digits.front() < '1' || digits.front() > '9' || digits.size() > 10) return false;
  return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// NumOfGames as a count of entries that is safe to read: at least entry 0, and never more
// missing sections than MaxMissingGameSections past the number the file holds.
std::int64_t GameCount(const TIniFile& ini) {
  const std::int32_t promised = ini.ReadInteger(StartSection, "NumOfGames", 0);
  const auto present = static_cast<std::int64_t>(ini.CountSections(IsGameSection));
  return std::clamp<std::int64_t>(promised, 1, present + 1 + MaxMissingGameSections);
}

}  // namespace

TGameRecord ReadGameSection(const TIniFile& ini, std::int32_t n, const TGameRecord& entry0) {
  const TIniFile::TSectionReader section = ini.Section(GameSection(n));
  TGameRecord record = n != 0 ? entry0 : TGameRecord{};
  // Taken from the text in place: no string of its own for each game.
  record.Name = section.Value("Name").value_or("error");
  record.ZipName = section.Value("ZipName").value_or("error");
  record.CurrentSS = section.ReadInteger("CurrentSS", 0);
  record.UseDefSettings = section.ReadBool("UseDefSettings", true);
  if (record.UseDefSettings && n != 0) return record;
  record.Vsync = section.ReadBool("Vsync", true);
  record.ScanLines = section.ReadBool("ScanLines", false);
  record.Resolution = section.Value("Resolution").value_or("Default");
  record.RotateScreen = section.ReadBool("RotateScreen", false);
  record.Sound = section.ReadBool("Sound", false);
  record.AltFMBase = section.ReadBool("AltFMBase", false);
  record.Joystick = section.ReadBool("Joystick", false);
  record.FrameSkip = section.ReadBool("FrameSkip", false);
  return record;
}

void ReadSettings(TCatalogue& cat, TNewGames& newGames, TWindowState& window) {
  TIniFile ini;
  const std::string settingsPath = InGameDir(cat, SettingsFileName);
  if (auto bytes = platform::ReadWholeFile(settingsPath, MaxSettingsBytes))
    ini.Parse(std::move(*bytes));
  else if (platform::PathExists(settingsPath))
    throw ESettingsFile(std::string("Cannot read ") + SettingsFileName + "; it is left as it is.");

  const auto storedDate = ini.Value(StartSection, "EmuExeDate");
  const bool emulatorChanged =
      !storedDate || !EmuExeDateMatches(*storedDate, InGameDir(cat, EmuExeName));
  if (emulatorChanged) ScanDriverDirs(newGames, cat.GameDir);
  // An emulator without any driver directory gives nothing to check the games against; keeping
  // them is kinder than emptying the catalogue.
  const bool reconcile = emulatorChanged && !newGames.Empty();

  cat.Games.clear();
  if (!ini.SectionHasEntries(StartSection)) {
    InitGameRecord(cat.Games.emplace_back());
    return;
  }

  cat.AltRomPath =
      platform::IncludeTrailingPathDelimiter(ini.ReadString(StartSection, "AltRomPath", ""));
  const std::int64_t count = GameCount(ini);

  SetRadio(window.View, TViewFilter::vfInstalled, ini.ReadBool(ViewSection, "Installed", false),
           TViewFilter::vfNone);
  SetRadio(window.View, TViewFilter::vfUnInstalled, ini.ReadBool(ViewSection, "UnInstalled", false),
           TViewFilter::vfNone);
  SetRadio(window.View, TViewFilter::vfAll, ini.ReadBool(ViewSection, "All", true),
           TViewFilter::vfNone);
  if (!ini.ReadBool(ViewSection, "StatBar", true)) window.StatBar = false;
  if (ini.ReadBool(ViewSection, "TabSheet", true))
    window.GLPWidth = ini.ReadInteger(WindowSection, "GLPWidth", 185);
  else
    window.TabSheet = false;

  window.Width = ini.ReadInteger(WindowSection, "Width", 600);
  window.Height = ini.ReadInteger(WindowSection, "Height", 400);
  const std::int32_t state = ini.ReadInteger(WindowSection, "State", 0);
  window.State = state >= 0 && state <= 2 ? state : 0;
  cat.LastGameListPos = ini.ReadInteger(WindowSection, "LGLPos", 0);

  std::int32_t seconds = ini.ReadInteger(ScreenshotSection, "Timer", 2);
  if (seconds < 0 || seconds > INT32_MAX / 1000) seconds = 2;
  window.TimerInterval = seconds * 1000;
  if (ini.ReadBool(ScreenshotSection, "Play", true)) window.Play = true;

  SetRadio(window.ScreenShotMode, TScreenShotMode::smOriginal,
           ini.ReadBool(ScreenshotSection, "Original", false), TScreenShotMode::smNone);
  SetRadio(window.ScreenShotMode, TScreenShotMode::smScaled,
           ini.ReadBool(ScreenshotSection, "Scaled", true), TScreenShotMode::smNone);
  SetRadio(window.ScreenShotMode, TScreenShotMode::smStretched,
           ini.ReadBool(ScreenshotSection, "Stretched", false), TScreenShotMode::smNone);
  window.ShowName = ini.ReadBool(ScreenshotSection, "ShowName", true);
  window.ShowControls = ini.ReadBool(ScreenshotSection, "ShowControls", true);

  cat.Games.reserve(static_cast<std::size_t>(count));
  cat.Games.push_back(ReadGameSection(ini, 0, TGameRecord{}));
  for (std::int64_t n = 1; n < count; ++n) {
    TGameRecord record = ReadGameSection(ini, static_cast<std::int32_t>(n), cat.Games[0]);
    // A game whose driver directory has gone is dropped; the later ones move up by one. Every
    // game is checked, also after the last new name has been matched.
    if (reconcile && !newGames.Remove(record.ZipName)) continue;
    cat.Games.push_back(record);
  }
}

TSettingsAhead::TSettingsAhead(std::string gameDir) {
  FCat.GameDir = std::move(gameDir);
  try {
    FThread = std::thread([this] {
      try {
        ReadSettings(FCat, FNewGames, FWindow);
      } catch (...) {
        FError = std::current_exception();
      }
    });
  } catch (...) {
    FTaken = true;  // no thread to be had: the load reads the file itself
  }
}

TSettingsAhead::~TSettingsAhead() {
  if (FThread.joinable()) FThread.join();
}

bool TSettingsAhead::Take(TCatalogue& cat, TNewGames& newGames, TWindowState& window) {
  if (FThread.joinable()) FThread.join();
  if (FTaken || FDiscarded || cat.GameDir != FCat.GameDir) return false;
  FTaken = true;
  if (FError) std::rethrow_exception(FError);
  cat.Games = std::move(FCat.Games);
  cat.AltRomPath = std::move(FCat.AltRomPath);
  cat.LastGameListPos = FCat.LastGameListPos;
  newGames = std::move(FNewGames);
  window = FWindow;
  return true;
}

void WriteGameSection(TIniWriter& writer, std::int32_t n, const TGameRecord& record) {
  writer.Section(GameSection(n));
  writer.WriteString("Name", record.Name);
  writer.WriteString("ZipName", record.ZipName);
  writer.WriteInteger("CurrentSS", record.CurrentSS);
  writer.WriteBool("UseDefSettings", record.UseDefSettings);
  if (record.UseDefSettings && n != 0) return;
  writer.WriteBool("Vsync", record.Vsync);
  writer.WriteBool("ScanLines", record.ScanLines);
  writer.WriteString("Resolution", record.Resolution);
  writer.WriteBool("RotateScreen", record.RotateScreen);
  writer.WriteBool("Sound", record.Sound);
  writer.WriteBool("AltFMBase", record.AltFMBase);
  writer.WriteBool("Joystick", record.Joystick);
  writer.WriteBool("FrameSkip", record.FrameSkip);
}

std::string SettingsText(const TCatalogue& cat, const TWindowState& window,
                         const std::string& emuExeDate) {
  TIniWriter w;
  w.Reserve(600 + cat.Games.size() * 96);
  w.Section(StartSection);
  w.WriteString("Version", "version.dll");
  w.WriteInteger("NumOfGames", static_cast<std::int64_t>(cat.Games.size()));
  w.WriteString("EmuExeDate", emuExeDate);
  w.WriteString("AltRomPath", cat.AltRomPath);

  w.Section(ViewSection);
  w.WriteBool("Installed", window.View == TViewFilter::vfInstalled);
  w.WriteBool("UnInstalled", window.View == TViewFilter::vfUnInstalled);
  w.WriteBool("All", window.View == TViewFilter::vfAll);
  w.WriteBool("StatBar", window.StatBar);
  w.WriteBool("TabSheet", window.TabSheet);

  w.Section(WindowSection);
  w.WriteInteger("State", window.State);
  w.WriteInteger("Width", window.Width);
  w.WriteInteger("Height", window.Height);
  w.WriteInteger("GLPWidth", window.GLPWidth);
  w.WriteInteger("LGLPos", cat.LastGameListPos);

  w.Section(ScreenshotSection);
  w.WriteBool("Original", window.ScreenShotMode == TScreenShotMode::smOriginal);
  w.WriteBool("Scaled", window.ScreenShotMode == TScreenShotMode::smScaled);
  w.WriteBool("Stretched", window.ScreenShotMode == TScreenShotMode::smStretched);
  w.WriteInteger("Timer", window.TimerInterval >= 0 ? window.TimerInterval / 1000 : 0);
  w.WriteBool("ShowName", window.ShowName);
  w.WriteBool("ShowControls", window.ShowControls);
  w.WriteBool("Play", window.Play);

  for (std::size_t n = 0; n < cat.Games.size(); ++n)
    WriteGameSection(w, static_cast<std::int32_t>(n), cat.Games[n]);
  return w.Text();
}

void SaveSettings(const TCatalogue& cat, const TWindowState& window) {
  // Every load leaves entry 0; without it the start-up failed and the file still holds the truth.
  if (cat.Games.empty())
    throw ESettingsFile(std::string("The catalogue was never loaded; ") + SettingsFileName +
                        " is left as it is.");
  const std::string text = SettingsText(cat, window, EmuExeDateOf(InGameDir(cat, EmuExeName)));
  std::string error;
  if (!platform::WriteFileAtomically(InGameDir(cat, SettingsFileName), text, &error,
                                     platform::TLinkWrite::lwThroughLink))
    throw ESettingsFile(error.empty() ? std::string("Cannot write ") + SettingsFileName : error);
}
