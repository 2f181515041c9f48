#include <time.h>

#include "Unchanged.h"

namespace platform {

std::int64_t SystemTimeStep(const TDirStamp& stamp) {
  constexpr std::int64_t kSecond = 1000 * 1000 * 1000;
  switch (stamp.Volume) {
    case 0xEF53:      // ext2, ext3, ext4: whole seconds on volumes with small inodes
    case 0x58465342:  // xfs
    case 0x9123683E:  // btrfs
    case 0x01021994:  // tmpfs
    case 0xF2F52010:  // f2fs
      break;
    default:  // FAT, network and FUSE mounts, and what is not known here
      return 0;
  }
  // The kernel sets the status-change time from its clock at every change, truncated to the
  // volume's step: whole seconds leave no sub-second part, on this volume or for this inode.
  if (stamp.ChangedNs % kSecond == 0) return kSecond;
  // Otherwise the times come from the kernel's clock as of its last tick.
  static const std::int64_t tick = [] {
    struct timespec res {};
#ifdef CLOCK_REALTIME_COARSE
    if (::clock_getres(CLOCK_REALTIME_COARSE, &res) != 0)
#endif
      res = {0, 10 * 1000 * 1000};  // the longest tick of a Linux kernel
    const std::int64_t ns = static_cast<std::int64_t>(res.tv_sec) * kSecond + res.tv_nsec;
    return ns > 0 ? ns : 1;
  }();
  return tick;
}

}  // namespace platform
