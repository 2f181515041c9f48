// The settings file reader: any bytes as StartVELK.ini. What was read must survive being saved
// and read again unchanged, since the file is rewritten at every close.

#include <cstdint>
#include <fstream>
#include <string>

#include "FuzzSupport.h"
#include "catalogue/EmuExeDate.h"
#include "catalogue/NewGames.h"
#include "catalogue/SettingsFile.h"
#include "platform/Files.h"

namespace {

void WriteSettings(std::string_view bytes) {
  std::ofstream out(SettingsFileName, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) fuzz::Fail("cannot write the scratch settings file");
}

struct TLoaded {
  TCatalogue Cat;
  TWindowState Window;
};

TLoaded Load() {
  TLoaded loaded;
  TNewGames newGames;
  try {
    ReadSettings(loaded.Cat, newGames, loaded.Window);
  } catch (const ESettingsFile& e) {
    fuzz::Fail(std::string("a readable file was refused: ") + e.what());
  }
  return loaded;
}

bool SameRecord(const TGameRecord& a, const TGameRecord& b) {
  return a.Name == b.Name && a.ZipName == b.ZipName && a.CurrentSS == b.CurrentSS &&
         a.UseDefSettings == b.UseDefSettings && a.Vsync == b.Vsync && a.ScanLines == b.ScanLines &&
         a.Resolution == b.Resolution && a.RotateScreen == b.RotateScreen && a.Sound == b.Sound &&
         a.AltFMBase == b.AltFMBase && a.Joystick == b.Joystick && a.FrameSkip == b.FrameSkip;
}

bool SameWindow(const TWindowState& a, const TWindowState& b) {
  return a.View == b.View && a.StatBar == b.StatBar && a.TabSheet == b.TabSheet &&
         a.State == b.State && a.Width == b.Width && a.Height == b.Height &&
         a.GLPWidth == b.GLPWidth && a.ScreenShotMode == b.ScreenShotMode &&
         a.TimerInterval == b.TimerInterval && a.Play == b.Play && a.ShowName == b.ShowName &&
         a.ShowControls == b.ShowControls;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  platform::SetCurrentDir(fuzz::ScratchDir().string());
  std::ofstream(EmuExeName) << "MZ";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  WriteSettings(fuzz::AsText(data, size));
  const TLoaded first = Load();
  fuzz::Check(!first.Cat.Games.empty(), "no entry 0");
  fuzz::Check(first.Cat.Games.size() <= 2 + MaxMissingGameSections + size / 8,
              "more games than the file can describe");

  const std::string saved = SettingsText(first.Cat, first.Window, EmuExeDateOf(EmuExeName));
  WriteSettings(saved);
  const TLoaded second = Load();
  fuzz::Check(second.Cat.Games.size() == first.Cat.Games.size(), "the game count changed");
  for (std::size_t i = 0; i < first.Cat.Games.size(); ++i)
    fuzz::Check(SameRecord(first.Cat.Games[i], second.Cat.Games[i]),
                "game " + std::to_string(i) + " changed on a round trip");
  fuzz::Check(first.Cat.AltRomPath == second.Cat.AltRomPath, "AltRomPath changed");
  fuzz::Check(first.Cat.LastGameListPos == second.Cat.LastGameListPos, "LGLPos changed");
  fuzz::Check(SameWindow(first.Window, second.Window), "the window state changed");
  return 0;
}
