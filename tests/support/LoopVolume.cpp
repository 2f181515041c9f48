#include "LoopVolume.h"

#include <unistd.h>

#include <filesystem>

#include "ToolRun.h"

namespace {

// The tool by name, or from the system folders root's search path may leave out.
bool RunSystemTool(std::vector<std::string> args) {
  if (RunTool(args)) return true;
  args[0] = "/sbin/" + args[0];
  return RunTool(args);
}

}  // namespace

TLoopVolume::TLoopVolume(int megabytes, const std::vector<std::string>& mkfsOptions) {
  if (::geteuid() != 0) {
    FWhy = "mounting a loop device needs root";
    return;
  }
  const std::string image = (FDir.Path() / "volume.img").string();
  std::filesystem::resize_file(FDir.Write("volume.img", ""), static_cast<std::uintmax_t>(megabytes)
                                                                 << 20);
  std::vector<std::string> mkfs{"mkfs.ext4", "-q", "-F"};
  mkfs.insert(mkfs.end(), mkfsOptions.begin(), mkfsOptions.end());
  mkfs.push_back(image);
  if (!RunSystemTool(mkfs)) {
    FWhy = "mkfs.ext4 failed or is missing";
    return;
  }
  FDir.MakeDir("volume");
  if (!RunSystemTool({"mount", "-o", "loop", image, Path()})) {
    FWhy = "mount -o loop failed (no loop device here?)";
    return;
  }
  FMounted = true;
}

TLoopVolume::~TLoopVolume() {
  // Lazily when something still holds it open: the image goes with the folder either way.
  if (FMounted && !RunSystemTool({"umount", Path()})) RunSystemTool({"umount", "-l", Path()});
}
