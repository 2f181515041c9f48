#pragma once

#include <string>

// Drives and volume labels exist only where the platform has drive letters; elsewhere every
// archive lies on a fixed drive and these checks always pass.

namespace zip {

struct TDriveCheck {
  int Error = 0;         ///< 0, or the message number 11003 / 11004
  std::string Root;      ///< the drive root, for the message
  int LabelVolume = -1;  ///< the number of a "PKBACK# nnn" volume label, else -1
  bool Fixed = true;     ///< a fixed or network drive: volumes are found by name
};

TDriveCheck CheckDrive(const std::string& path);

/// Number of the "PKBACK# nnn" label of the disk in the drive root, -1 when it has none.
int VolumeLabelNumber(const std::string& root);

}  // namespace zip
