#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"
#include "launch/BatchFile.h"
#include "platform/Files.h"

namespace fs = std::filesystem;

TEST(BatchFile, NineLinesByteForByte) {
  TempDir dir;
  ScopedCurrentDir cd(dir.Path());
  WriteBatchFile();
  EXPECT_EQ(ReadFileBytes(dir.Path() / "batch.bat"),
            "@echo off\r\n"
            "echo Starting VELK with romset %1 .....\r\n"
            "velk.exe %1 %2 %3 %4 %5 > VELKStart.txt\r\n"
            "cls\r\n"
            "echo VELK has finished.\r\n"
            "echo If this window does not disappear:\r\n"
            "echo 1. Right-click on the title-bar\r\n"
            "echo 2. Click properties\r\n"
            "echo 3. Check \"close on exit\"\r\n");
}

TEST(BatchFile, ReplacesAnyLetterCaseVariant) {
  TempDir dir;
  ScopedCurrentDir cd(dir.Path());
  dir.Write("BATCH.BAT", "old text that is longer than the new one would ever be ......\r\n");
  WriteBatchFile();
  EXPECT_EQ(ReadFileBytes(dir.Path() / "BATCH.BAT"), BatchFileText());
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, 1);  // no second file, no temporary left behind
}

TEST(BatchFile, WriteFailureRaisesInOutError) {
  TempDir dir;
  ScopedCurrentDir cd(dir.Path());
  dir.MakeDir("batch.bat/inside");  // a folder in the way cannot be replaced
  EXPECT_THROW(WriteBatchFile(), EInOutError);
  EXPECT_TRUE(fs::is_directory(dir.Path() / "batch.bat" / "inside"));
}

TEST(BatchFile, DeleteRemovesBothAndIgnoresMissing) {
  TempDir dir;
  ScopedCurrentDir cd(dir.Path());
  DeleteBatchFiles();  // neither exists: no error
  WriteBatchFile();
  DeleteBatchFiles();  // no log yet
  EXPECT_FALSE(fs::exists(dir.Path() / "batch.bat"));
  dir.Write("Batch.Bat", "x");
  dir.Write("velkstart.TXT", "log");
  dir.Write("other.txt", "kept");
  DeleteBatchFiles();
  EXPECT_FALSE(fs::exists(dir.Path() / "Batch.Bat"));
  EXPECT_FALSE(fs::exists(dir.Path() / "velkstart.TXT"));
  EXPECT_TRUE(fs::exists(dir.Path() / "other.txt"));
}
