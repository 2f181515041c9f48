#pragma once

#include <cstdint>

// The main window's state that the settings file carries, as a plain struct: the reader fills it,
// the window applies it; the window collects it and the writer saves it. Defaults are the window's
// design-time state, which stays when the file has no StartVELK section.

/// Which radio item of a group is checked; None when the file unchecked all of them.
enum class TViewFilter { vfNone, vfInstalled, vfUnInstalled, vfAll };
enum class TScreenShotMode { smNone, smOriginal, smScaled, smStretched };

struct TWindowState {
  TViewFilter View = TViewFilter::vfAll;
  bool StatBar = true;       ///< status bar shown
  bool TabSheet = true;      ///< page control shown
  std::int32_t State = 0;    ///< 0 normal, 1 minimised, 2 maximised
  std::int32_t Width = 600;  ///< outer size in the normal state
  std::int32_t Height = 400;
  std::int32_t GLPWidth = 185;
  TScreenShotMode ScreenShotMode = TScreenShotMode::smScaled;
  std::int32_t TimerInterval = 1000;  ///< slide-show interval in milliseconds
  bool Play = false;                  ///< slide show running
  bool ShowName = true;
  bool ShowControls = true;
};
