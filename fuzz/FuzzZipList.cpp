// The zip component's listing of an archive's central directory: any bytes as a .zip file.

#include <cstdint>

#include "FuzzSupport.h"
#include "QuietUserInteraction.h"
#include "launch/ZipArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path path = fuzz::ScratchDir() / "game.zip";
  fuzz::WriteFile(path, fuzz::AsText(data, size));
  TQuietUserInteraction ui;
  TZipArchive zip(ui);
  std::string lastMessage;
  zip.OnMessage = [&](TZipArchive&, int, const std::string& message) { lastMessage = message; };
  zip.SetZipFilename(path.string());

  fuzz::Check(zip.Count() == static_cast<int>(zip.Entries().size()), "Count and Entries differ");
  // Every entry takes at least a 46-byte header in the file.
  fuzz::Check(zip.Entries().size() <= size / 46, "more entries than the file can hold");
  if (zip.ZipFilename().empty()) fuzz::Check(zip.Count() == 0, "a failed listing has entries");
  for (const TZipEntry& e : zip.Entries()) {
    fuzz::Check(e.FileName.find('/') == std::string::npos, "a name keeps a slash");
    // Code page 437 takes up to 3 bytes a character in UTF-8; a Unicode path field is in the extra.
    fuzz::Check(e.FileName.size() <= 3u * (e.FileNameLength() + e.ExtraFieldLength()),
                "a name grew out of bounds");
  }
  return 0;
}
