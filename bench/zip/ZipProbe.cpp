// A fresh process that does one thing with an archive, as a user's start meets it: lists it, or
// lists and extracts it into a folder through UNZIPLIB.DLL. Prints the count; exits 1 on failure.
// UNZIPLIB.DLL is looked for as the program looks for it: in the working folder first, then beside
// the probe. With a peak file, writes its peak resident memory in KiB there: the process's own,
// which a parent's rusage does not give (it counts the parent's memory from before the exec).
//   zip_probe list <archive> [peak file]
//   zip_probe extract <archive> <folder> [peak file]

#include <cstdio>
#include <fstream>
#include <string>

#include "QuietUserInteraction.h"
#include "launch/ZipArchive.h"

namespace {

void WritePeak(const char* path) {
  std::ifstream status("/proc/self/status");
  std::ofstream out(path);
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) out << std::stol(line.substr(6)) << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[1] : "";
  const int args = mode == "list" ? 3 : 4;
  if ((mode != "list" && mode != "extract") || argc < args || argc > args + 1) {
    std::fprintf(stderr, "usage: zip_probe list <archive> | extract <archive> <folder>\n");
    return 2;
  }
  TQuietUserInteraction ui;
  TZipArchive zip(ui);
  zip.SetUnattended(true);
  zip.SetZipFilename(argv[2]);
  std::size_t done = static_cast<std::size_t>(zip.Count());
  if (mode == "extract") {
    zip.SetExtrBaseDir(argv[3]);
    zip.Extract();
    done = zip.ExtractedFiles().size();
  }
  if (argc > args) WritePeak(argv[args]);
  std::printf("%zu\n", done);
  return done > 0 ? 0 : 1;
}
