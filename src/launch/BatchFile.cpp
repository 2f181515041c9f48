#include "BatchFile.h"

#include "platform/Files.h"

std::string BatchFileText() {
  static constexpr std::string_view lines[] = {
      "@echo off",
      "echo Starting VELK with romset %1 .....",
      "velk.exe %1 %2 %3 %4 %5 > VELKStart.txt",
      "cls",
      "echo VELK has finished.",
      "echo If this window does not disappear:",
      "echo 1. Right-click on the title-bar",
      "echo 2. Click properties",
      "echo 3. Check \"close on exit\"",
  };
  std::string text;
  for (std::string_view line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void WriteBatchFile(const std::string& dir) {
  // The writer reuses an existing case variant of the name, so there is never a second batch
  // file; the file is written anew at every start, so it need not wait for the disk.
  const std::string path = platform::JoinPath(dir, BatchFileName);
  std::string error;
  if (!platform::WriteFileAtomically(path, BatchFileText(), &error,
                                     platform::TLinkWrite::lwReplaceLink,
                                     platform::TDurability::dRewrittenEachStart))
    throw EInOutError(error.empty() ? "Cannot write " + path : error);
}

void DeleteBatchFiles(const std::string& dir) {
  platform::DeleteFile(platform::JoinPath(dir, BatchFileName));
  platform::DeleteFile(platform::JoinPath(dir, ConsoleLogName));
}
