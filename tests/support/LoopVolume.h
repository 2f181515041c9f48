// A small ext4 volume in an image file, loop-mounted for a test or a benchmark: the file system
// as users keep games on it, with the options a test asks for. POSIX only; needs root.
#pragma once

#include <string>
#include <vector>

#include "TempDir.h"

class TLoopVolume {
 public:
  /// An image of megabytes made by mkfs.ext4 with the given options, mounted at Path(). When
  /// that cannot be done (not root, no loop device, no tool), Mounted() is false and Why() says.
  TLoopVolume(int megabytes, const std::vector<std::string>& mkfsOptions);
  ~TLoopVolume();  ///< unmounts
  TLoopVolume(const TLoopVolume&) = delete;
  TLoopVolume& operator=(const TLoopVolume&) = delete;

  bool Mounted() const { return FMounted; }
  const std::string& Why() const { return FWhy; }
  /// The mounted volume's root folder.
  std::string Path() const { return (FDir.Path() / "volume").string(); }

 private:
  TempDir FDir;
  bool FMounted = false;
  std::string FWhy;
};
