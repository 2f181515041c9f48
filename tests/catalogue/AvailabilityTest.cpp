#include <gtest/gtest.h>

#include "EmulatorDir.h"
#include "catalogue/Availability.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Scans.h"

// Each row says why it has its mark, from what the folder and the archive hold; a mark that no
// longer fits says so.
TEST(AvailabilityReason, SaysWhyEachGameHasItsMark) {
  EmulatorDir emu;
  emu.AddDriverDir("inst", 11);  // the driver and eleven more: 12 files
  emu.AddDriverDir("zipd");
  emu.AddDriverDir("bare", 1);
  emu.Dir.MakeDir("roms");
  emu.Dir.Write("roms/zipd.zip", "PK");
  TCatalogue cat;
  cat.GameDir = emu.Dir.Str();
  cat.AltRomPath = "roms/";
  InitGameRecord(cat.Games.emplace_back());
  for (const char* zip : {"inst", "zipd", "bare", "none", "..", "gone"}) {
    InitGameRecord(cat.Games.emplace_back());
    cat.Games.back().ZipName = zip;
  }
  ScanGameAvailability(cat, TScanMemory{});
  cat.GameStatus[6] = gsZipAvailable;  // as a scan before its archive was removed
  const std::string roms = emu.Dir.Str() + "/roms";
  const std::string expected[] = {
      "Installed: folder inst holds 12 files",
      "Zipped: " + roms + "/zipd.zip",
      "Not available: folder bare holds only 2 files, no bare.zip in " + roms,
      "Not available: no folder none with its files, no none.zip in " + roms,
      "Not available: the short name \"..\" cannot name a folder",
      "Zipped: " + roms + "/gone.zip is gone (changed since the last check)",
  };
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(AvailabilityReason(cat, i), expected[i - 1]) << i;
}
