#pragma once

#include <cstdint>
#include <functional>

// The one rule for "this folder is unchanged since it was read". What the program remembers of a
// folder (its listing, how many entries it holds, that a name is missing from it) answers again
// only while the folder keeps the stamp it had when it was read, and only where that stamp can
// tell: a change must move it. Two things can keep it still. A file system whose times step in
// whole seconds (FAT, an ext volume with small inodes) dates two changes of one second alike, and
// so does any file system for two changes within one tick of its clock; a network or FUSE mount
// takes its times from a clock that is not this machine's, or does not move them at all. So a
// stamp vouches for a folder only on a local volume whose times step by less than a second, and
// only when the folder's last change lies a settle time before the moment it was read: a change
// after the read then falls in a later tick and moves the stamp.

namespace platform {

/// What tells whether a directory's entries may have changed: which directory it is and the times
/// the file system sets whenever an entry is added, removed or renamed in it.
struct TDirStamp {
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::int64_t ModifiedNs = 0;  ///< nanoseconds since the Unix epoch
  std::int64_t ChangedNs = 0;   ///< the status change, which no program can set back
  std::uint64_t Volume = 0;     ///< the kind of file system it lies on; 0 when unknown
  bool operator==(const TDirStamp&) const = default;
};

/// What the rule asks of the system. Tests put their own in place (TScopedChangeClock).
struct TChangeClock {
  /// Now, in nanoseconds since the Unix epoch, by the clock this machine's file systems date
  /// their changes with.
  std::function<std::int64_t()> Now;
  /// How finely the times of the stamp's volume step, in nanoseconds; 0 when they do not come
  /// from this machine's clock (network and FUSE mounts, kinds of file system not known here).
  std::function<std::int64_t(const TDirStamp&)> Step;
};

/// The clock and the steps in use: the system's, unless a test has put others in place.
const TChangeClock& ChangeClock();

/// ChangeClock().Now(): to be taken before a folder is read, as its read moment.
std::int64_t NowNs();

/// How long a folder's last change must lie before its read at least: five ticks of a kernel
/// clock at 100 Hz, and never less than two steps of the volume's times.
inline constexpr std::int64_t kSettleNs = std::int64_t{50} * 1000 * 1000;

/// Whether the stamp's volume dates changes by this machine's clock in steps below a second:
/// where it does not, no stamp of it vouches for anything, however old.
bool StampCanTell(const TDirStamp& stamp);

/// Whether stamp, taken of a folder before its entries were read and no earlier than readNs (a
/// NowNs() of before that), vouches for what was read for as long as the folder keeps it.
bool StampVouches(const TDirStamp& stamp, std::int64_t readNs);

/// The first read moment for which the stamp vouches; the largest moment when none does.
std::int64_t VouchedFromNs(const TDirStamp& stamp);

/// The system's step of a stamp's volume: a local file system of a kind known to keep sub-second
/// times, whose status-change time (set by the kernel from its clock) has a sub-second part,
/// steps by a tick of the kernel's clock; other local volumes by a whole second; the rest 0.
std::int64_t SystemTimeStep(const TDirStamp& stamp);

/// Puts a clock in place of the one in use for its lifetime; an empty Now or Step keeps the
/// system's. Not while other threads ask the rule.
class TScopedChangeClock {
 public:
  explicit TScopedChangeClock(TChangeClock clock);
  ~TScopedChangeClock();
  TScopedChangeClock(const TScopedChangeClock&) = delete;
  TScopedChangeClock& operator=(const TScopedChangeClock&) = delete;

 private:
  TChangeClock FOld;
};

}  // namespace platform
