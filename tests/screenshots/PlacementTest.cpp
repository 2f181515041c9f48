#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>

#include "screenshots/Placement.h"

namespace {

TImageBounds Place(int w, int h, int pw, int ph, TScalingMode mode) {
  const std::optional<TImageBounds> b = PlaceScreenShot(w, h, pw, ph, mode);
  EXPECT_TRUE(b.has_value());
  return b.value_or(TImageBounds{});
}

TEST(PlacementTest, ExamplesOfEveryMode) {
  EXPECT_EQ(Place(320, 200, 400, 300, smScaled), (TImageBounds{0, 25, 400, 250}));
  EXPECT_EQ(Place(320, 200, 400, 300, smOriginal), (TImageBounds{40, 50, 320, 200}));
  EXPECT_EQ(Place(800, 300, 400, 300, smScaled), (TImageBounds{0, 75, 400, 150}));
  EXPECT_EQ(Place(320, 240, 392, 246, smScaled), (TImageBounds{32, 0, 327, 245}));
  EXPECT_EQ(Place(7, 7, 300, 300, smScaled), (TImageBounds{0, 0, 299, 299}));
  EXPECT_EQ(Place(641, 100, 392, 246, smOriginal).Left, -124);  // −249 div 2
  EXPECT_EQ(Place(641, 301, 392, 246, smOriginal), (TImageBounds{-124, -27, 641, 301}));
  EXPECT_EQ(Place(320, 200, 400, 300, smStretched), (TImageBounds{0, 0, 400, 300}));
  EXPECT_EQ(Place(10, 1000, 400, 300, smStretched), (TImageBounds{0, 0, 400, 300}));
  EXPECT_EQ(Place(100, 50, 400, 300, smScaled), (TImageBounds{0, 50, 400, 200}));  // scaled up
}

TEST(PlacementTest, MenuChecksPickTheMode) {
  EXPECT_EQ(ScalingModeOf(false, false, false), smOriginal);  // none checked: Original geometry
  EXPECT_EQ(ScalingModeOf(true, false, false), smOriginal);
  EXPECT_EQ(ScalingModeOf(false, true, false), smScaled);
  EXPECT_EQ(ScalingModeOf(true, true, true), smStretched);
  EXPECT_EQ(ScalingModeOf(true, true, false), smScaled);
}

TEST(PlacementTest, NoPictureOrNoSideIsNotPlaced) {
  EXPECT_EQ(PlaceScreenShot(0, 0, 400, 300, smOriginal), std::nullopt);
  EXPECT_EQ(PlaceScreenShot(0, 0, 400, 300, smStretched), std::nullopt);
  EXPECT_EQ(PlaceScreenShot(0, 10, 400, 300, smScaled), std::nullopt);  // would divide by zero
  EXPECT_EQ(Place(0, 10, 400, 300, smOriginal), (TImageBounds{200, 145, 0, 10}));
  EXPECT_EQ(Place(320, 240, 0, 0, smScaled), (TImageBounds{0, 0, 0, 0}));  // a collapsed panel
}

TEST(PlacementTest, ScaleIsTheRoundedExtendedQuotient) {
  // 246 / 240 = 1.025 is not a double; the scale is the double just below it, so 320 × s and
  // 240 × s lie just below 328 and 246 and truncate to one pixel less.
  const double s = ScreenShotScale(320, 240, 392, 246);
  EXPECT_EQ(s, 1.025);
  EXPECT_LT(std::fma(s, 240.0, -246.0), 0.0);
  EXPECT_GT(std::fma(std::nextafter(s, 2.0), 240.0, -246.0), 0.0);
  EXPECT_EQ(ScaledLength(320, s), 327);
  EXPECT_EQ(ScaledLength(240, s), 245);
  // In double precision 320 × s is exactly half-way between two doubles and rounds up to 328.0;
  // at 64 bits it is held exactly, just below 328.
  EXPECT_EQ(std::fma(s, 320.0, -328.0), -std::ldexp(1.0, -45));

  const double t = ScreenShotScale(7, 7, 300, 300);
  EXPECT_LT(std::fma(t, 7.0, -300.0), 0.0);
  EXPECT_GT(std::fma(std::nextafter(t, 100.0), 7.0, -300.0), 0.0);
  EXPECT_EQ(ScaledLength(7, t), 299);
  EXPECT_EQ(ScaledLength(10, 0.5), 5);
  EXPECT_EQ(ScaledLength(3, 1.0 / 3.0), 0);  // 0.999… truncates to 0
}

TEST(PlacementTest, ProductIsRoundedToSixtyFourBitsBeforeTruncation) {
  // A scale just below 1: length × s needs more than 64 bits for lengths above 2^11; rounded to
  // 64 bits it can reach the whole number again.
  const double below1 = std::nextafter(1.0, 0.0);  // 1 − 2^−53
  EXPECT_EQ(ScaledLength(1, below1), 0);
  EXPECT_EQ(ScaledLength(2047, below1), 2046);  // 2047 − 2047·2^−53 still fits in 64 bits
  EXPECT_EQ(ScaledLength(4096, below1), 4095);  // exact: 4096 − 2^−41
  // 4097 × (1 − 2^−53) = 4097 − 4097·2^−53 needs 65 bits; rounded to 64 it stays below 4097.
  EXPECT_EQ(ScaledLength(4097, below1), 4096);
  // 4097 × s is exactly 3969 − 2^−53: half a 64-bit ulp below 3969, so it rounds (to even) up
  // to 3969 before the truncation, one more than the exact product would give.
  const double s = std::ldexp(8725792980733951.0, -53);
  EXPECT_EQ(ScaledLength(4097, s), 3969);
}

#if LDBL_MANT_DIG == 64
// Where long double is the 64-bit-mantissa format, the integer arithmetic must agree with it.
TEST(PlacementTest, AgreesWithExtendedPrecisionHardware) {
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> side(1, 5000);
  for (int i = 0; i < 200000; ++i) {
    const int w = side(random), h = side(random), pw = side(random) - 1, ph = side(random) - 1;
    volatile long double qw = static_cast<long double>(pw) / w;
    volatile long double qh = static_cast<long double>(ph) / h;
    const double s = static_cast<double>(qw < qh ? qw : qh);
    ASSERT_EQ(ScreenShotScale(w, h, pw, ph), s) << w << "x" << h << " in " << pw << "x" << ph;
    volatile long double pwid = static_cast<long double>(w) * s;
    volatile long double phei = static_cast<long double>(h) * s;
    ASSERT_EQ(ScaledLength(w, s), static_cast<int>(pwid)) << w << " * " << s;
    ASSERT_EQ(ScaledLength(h, s), static_cast<int>(phei)) << h << " * " << s;
  }
}
#endif

TEST(ToolbarTest, ButtonWidthIsASeventhTruncated) {
  EXPECT_EQ(ToolButtonWidth(392), 56);
  EXPECT_EQ(ToolButtonWidth(400), 57);
  EXPECT_EQ(ToolButtonWidth(6), 0);
}

TEST(TimerTest, EditScreenShotTimerArithmetic) {
  int shownSeconds = -1;
  // OK with the bar moved to 7.
  EXPECT_EQ(EditScreenShotTimer(2000,
                                [&](std::int32_t& s) {
                                  shownSeconds = s;
                                  s = 7;
                                }),
            7000);
  EXPECT_EQ(shownSeconds, 2);
  // Cancel leaves TimerSeconds.
  EXPECT_EQ(EditScreenShotTimer(2000, [](std::int32_t&) {}), 2000);
  EXPECT_EQ(EditScreenShotTimer(15000, [](std::int32_t&) {}), 15000);
  EXPECT_EQ(EditScreenShotTimer(2999, [](std::int32_t&) {}), 2000);  // whole seconds
  EXPECT_EQ(EditScreenShotTimer(0, [](std::int32_t&) {}), 0);
  EXPECT_EQ(TimerBarPosition(15), 10);
  EXPECT_EQ(TimerBarPosition(0), 1);
  EXPECT_EQ(TimerBarPosition(2), 2);
  EXPECT_EQ(TimerLabelText(5), "5 Sec.");
  EXPECT_EQ(IntervalOf(3000000), INT32_MAX);  // no overflow from a hand-edited interval
}

}  // namespace
