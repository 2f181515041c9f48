#include "Placement.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

namespace {

// A 128-bit unsigned value, enough for a 31-bit integer times a 53-bit mantissa and for the
// quotients below; written out so no compiler extension is needed.
struct TU128 {
  std::uint64_t Hi = 0;
  std::uint64_t Lo = 0;
};

int BitLength(const TU128& v) {
  for (int bit = 127; bit >= 0; --bit) {
    const std::uint64_t word = bit >= 64 ? v.Hi : v.Lo;
    if ((word >> (bit & 63)) & 1u) return bit + 1;
  }
  return 0;
}

bool TestBit(const TU128& v, int bit) {
  return (((bit >= 64 ? v.Hi : v.Lo) >> (bit & 63)) & 1u) != 0;
}

bool LowBitsNonZero(const TU128& v, int count) {  // any of bits 0 … count − 1 set
  for (int bit = 0; bit < count; ++bit)
    if (TestBit(v, bit)) return true;
  return false;
}

std::uint64_t ShiftRight64(const TU128& v, int shift) {  // the low 64 bits of v >> shift
  if (shift == 0) return v.Lo;
  if (shift >= 128) return 0;
  if (shift >= 64) return v.Hi >> (shift - 64);
  return (v.Lo >> shift) | (v.Hi << (64 - shift));
}

TU128 Multiply(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t aLo = a & 0xFFFFFFFFu, aHi = a >> 32, bLo = b & 0xFFFFFFFFu, bHi = b >> 32;
  const std::uint64_t ll = aLo * bLo, lh = aLo * bHi, hl = aHi * bLo, hh = aHi * bHi;
  const std::uint64_t mid = (ll >> 32) + (lh & 0xFFFFFFFFu) + (hl & 0xFFFFFFFFu);
  TU128 r;
  r.Lo = (ll & 0xFFFFFFFFu) | (mid << 32);
  r.Hi = hh + (lh >> 32) + (hl >> 32) + (mid >> 32);
  return r;
}

// A binary floating value Mantissa × 2^Exponent.
struct TBinary {
  std::uint64_t Mantissa = 0;
  int Exponent = 0;
};

// value × 2^exponent (plus a sticky remainder below it) rounded to `bits` significant bits, to
// nearest with ties to even, as the floating-point unit rounds.
TBinary RoundToBits(const TU128& value, int exponent, bool sticky, int bits) {
  const int length = BitLength(value);
  if (length <= bits)
    return {ShiftRight64(value, 0), exponent};  // fits; callers pass a sticky bit only with
                                                // more bits than that
  const int shift = length - bits;
  std::uint64_t mantissa = ShiftRight64(value, shift);
  const bool guard = TestBit(value, shift - 1);
  const bool rest = sticky || LowBitsNonZero(value, shift - 1);
  if (guard && (rest || (mantissa & 1u))) {
    ++mantissa;
    if (bits == 64 ? mantissa == 0 : mantissa == (std::uint64_t{1} << bits)) {
      mantissa = std::uint64_t{1} << (bits - 1);
      return {mantissa, exponent + shift + 1};
    }
  }
  return {mantissa, exponent + shift};
}

// num / den with a 64-bit mantissa, rounded to nearest, then rounded to a double.
double ExtendedQuotientAsDouble(std::uint32_t num, std::uint32_t den) {
  if (num == 0) return 0.0;
  // Long division of num × 2^96 by den: the quotient has at least 66 significant bits.
  TU128 quotient;
  std::uint64_t remainder = 0;
  for (int bit = 127; bit >= 0; --bit) {
    const std::uint64_t next = bit >= 96 ? (num >> (bit - 96)) & 1u : 0;
    remainder = (remainder << 1) | next;
    quotient.Hi = (quotient.Hi << 1) | (quotient.Lo >> 63);
    quotient.Lo <<= 1;
    if (remainder >= den) {
      remainder -= den;
      quotient.Lo |= 1u;
    }
  }
  const TBinary extended = RoundToBits(quotient, -96, remainder != 0, 64);
  const TBinary rounded = RoundToBits(TU128{0, extended.Mantissa}, extended.Exponent, false, 53);
  return std::ldexp(static_cast<double>(rounded.Mantissa), rounded.Exponent);
}

int ClampToInt(long long v) {
  return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

}  // namespace

TScalingMode ScalingModeOf(bool originalChecked, bool scaledChecked, bool stretchedChecked) {
  (void)originalChecked;  // Original and "none checked" place the picture alike
  if (stretchedChecked) return smStretched;
  if (scaledChecked) return smScaled;
  return smOriginal;
}

double ScreenShotScale(int pictureWidth, int pictureHeight, int panelWidth, int panelHeight) {
  const double byWidth =
      ExtendedQuotientAsDouble(static_cast<std::uint32_t>(std::max(panelWidth, 0)),
                               static_cast<std::uint32_t>(pictureWidth));
  const double byHeight =
      ExtendedQuotientAsDouble(static_cast<std::uint32_t>(std::max(panelHeight, 0)),
                               static_cast<std::uint32_t>(pictureHeight));
  // Rounding to double keeps order, so the smaller double is the rounded smaller quotient.
  return std::min(byWidth, byHeight);
}

int ScaledLength(int length, double scale) {
  if (length <= 0 || !(scale > 0) || !std::isfinite(scale)) return 0;
  int exponent = 0;
  const double fraction = std::frexp(scale, &exponent);  // scale = fraction × 2^exponent
  const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
  exponent -= 53;
  const TBinary product =
      RoundToBits(Multiply(static_cast<std::uint64_t>(length), mantissa), exponent, false, 64);
  if (product.Exponent >= 0) {
    if (product.Exponent >= 63 || (product.Mantissa >> (63 - product.Exponent)) != 0)
      return INT_MAX;
    return ClampToInt(static_cast<long long>(product.Mantissa << product.Exponent));
  }
  if (product.Exponent <= -64) return 0;
  return ClampToInt(static_cast<long long>(product.Mantissa >> -product.Exponent));
}

std::optional<TImageBounds> PlaceScreenShot(int pictureWidth, int pictureHeight, int panelWidth,
                                            int panelHeight, TScalingMode mode) {
  if (static_cast<long long>(pictureWidth) + pictureHeight <= 0) return std::nullopt;
  panelWidth = std::max(panelWidth, 0);
  panelHeight = std::max(panelHeight, 0);
  if (mode == smStretched) return TImageBounds{0, 0, panelWidth, panelHeight};
  TImageBounds bounds;
  if (mode == smScaled) {
    // A side of zero would divide by zero; there is nothing sensible to scale.
    if (pictureWidth <= 0 || pictureHeight <= 0) return std::nullopt;
    const double scale = ScreenShotScale(pictureWidth, pictureHeight, panelWidth, panelHeight);
    bounds.Width = ScaledLength(pictureWidth, scale);
    bounds.Height = ScaledLength(pictureHeight, scale);
  } else {
    bounds.Width = pictureWidth;
    bounds.Height = pictureHeight;
  }
  bounds.Left = ClampToInt((static_cast<long long>(panelWidth) - bounds.Width) / 2);
  bounds.Top = ClampToInt((static_cast<long long>(panelHeight) - bounds.Height) / 2);
  return bounds;
}

int ToolButtonWidth(int toolbarWidth) {
  return toolbarWidth / 7;
}

std::int32_t TimerSecondsOf(std::int32_t intervalMs) {
  return intervalMs / 1000;
}

std::int32_t IntervalOf(std::int32_t timerSeconds) {
  return static_cast<std::int32_t>(
      std::clamp<long long>(static_cast<long long>(timerSeconds) * 1000, INT32_MIN, INT32_MAX));
}

int TimerBarPosition(std::int32_t timerSeconds) {
  return std::clamp<std::int32_t>(timerSeconds, 1, 10);
}

std::string TimerLabelText(int position) {
  return std::to_string(position) + " Sec.";
}

std::int32_t EditScreenShotTimer(std::int32_t intervalMs,
                                 const std::function<void(std::int32_t& timerSeconds)>& showModal) {
  std::int32_t timerSeconds = TimerSecondsOf(intervalMs);
  if (showModal) showModal(timerSeconds);
  return IntervalOf(timerSeconds);
}
