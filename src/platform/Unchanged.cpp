#include "Unchanged.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <utility>

namespace platform {
namespace {

std::int64_t SystemNow() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

TChangeClock& Clock() {
  static TChangeClock clock{SystemNow, SystemTimeStep};
  return clock;
}

}  // namespace

const TChangeClock& ChangeClock() {
  return Clock();
}

std::int64_t NowNs() {
  return Clock().Now();
}

namespace {

constexpr std::int64_t kSecond = 1000 * 1000 * 1000;

}  // namespace

bool StampCanTell(const TDirStamp& stamp) {
  const std::int64_t step = Clock().Step(stamp);
  return step > 0 && step < kSecond;
}

std::int64_t VouchedFromNs(const TDirStamp& stamp) {
  const std::int64_t step = Clock().Step(stamp);
  if (step <= 0 || step >= kSecond) return std::numeric_limits<std::int64_t>::max();
  // A change after the read lies at least a step later than one that lies this far before it.
  const std::int64_t settle = std::max(kSettleNs, 2 * step);
  const std::int64_t last = std::max(stamp.ModifiedNs, stamp.ChangedNs);
  return last > std::numeric_limits<std::int64_t>::max() - settle - 1
             ? std::numeric_limits<std::int64_t>::max()
             : last + settle + 1;
}

bool StampVouches(const TDirStamp& stamp, std::int64_t readNs) {
  const std::int64_t from = VouchedFromNs(stamp);
  return from != std::numeric_limits<std::int64_t>::max() && readNs >= from;
}

TScopedChangeClock::TScopedChangeClock(TChangeClock clock) : FOld(Clock()) {
  if (clock.Now) Clock().Now = std::move(clock.Now);
  if (clock.Step) Clock().Step = std::move(clock.Step);
}

TScopedChangeClock::~TScopedChangeClock() {
  Clock() = std::move(FOld);
}

}  // namespace platform
