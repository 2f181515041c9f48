#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Where the screenshot goes in its panel, the toolbar's button width and the slide-show interval
// arithmetic. Pure functions: the window reads its menu checks and sizes and applies the result.

/// The scaling entries of the Screenshot menu. With several checked (a hand-edited settings file)
/// Stretched wins over Scaled; with none checked the picture keeps its own size.
enum TScalingMode { smOriginal, smScaled, smStretched };

TScalingMode ScalingModeOf(bool originalChecked, bool scaledChecked, bool stretchedChecked);

/// Bounds of SSImage inside SSPanel; Left and Top are negative when the picture is cut off.
struct TImageBounds {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;

  friend bool operator==(const TImageBounds&, const TImageBounds&) = default;
};

/// Bounds for a picture of pictureWidth × pictureHeight in a panel of panelWidth × panelHeight.
/// Nothing (leave SSImage as it is) when the picture has no size (width + height ≤ 0), and in
/// Scaled mode when a side is zero. Always give the picture's full size, also when it was decoded
/// at a reduced scale. Negative panel sides count as 0.
///
/// Scaled: the scale is the smaller of panelWidth / pictureWidth and panelHeight / pictureHeight,
/// each formed with a 64-bit mantissa and rounded to nearest, the result then rounded to a double;
/// each side is that double times the picture's side, formed with a 64-bit mantissa and truncated.
/// The arithmetic is done in integers, so the figures are the same on every compiler, whatever its
/// long double is: a 320 × 240 picture in a 392 × 246 panel is 327 × 245 at 32, 0.
std::optional<TImageBounds> PlaceScreenShot(int pictureWidth, int pictureHeight, int panelWidth,
                                            int panelHeight, TScalingMode mode);

/// The Scaled mode's scale as described above (pictureWidth and pictureHeight > 0, panels ≥ 0).
double ScreenShotScale(int pictureWidth, int pictureHeight, int panelWidth, int panelHeight);

/// length × scale formed with a 64-bit mantissa, rounded to nearest, then truncated toward zero
/// (length ≥ 0, scale ≥ 0 and finite); clamped to the int range.
int ScaledLength(int length, double scale);

/// Width of each of the seven screenshot tool buttons for a toolbar of toolbarWidth pixels.
int ToolButtonWidth(int toolbarWidth);

/// The interval dialog's TimerSeconds for a timer interval in milliseconds (truncating).
std::int32_t TimerSecondsOf(std::int32_t intervalMs);

/// The timer interval in milliseconds for TimerSeconds (clamped to the int32 range).
std::int32_t IntervalOf(std::int32_t timerSeconds);

/// The track bar's position for TimerSeconds: clamped into 1 … 10.
int TimerBarPosition(std::int32_t timerSeconds);

/// The interval dialog's label for a track-bar position, e.g. "5 Sec.".
std::string TimerLabelText(int position);

/// EditScreenShotTimer: TimerSeconds := intervalMs div 1000; showModal runs the dialog, which may
/// change TimerSeconds (OK) or leave it (Cancel); returns TimerSeconds × 1000.
std::int32_t EditScreenShotTimer(std::int32_t intervalMs,
                                 const std::function<void(std::int32_t& timerSeconds)>& showModal);
