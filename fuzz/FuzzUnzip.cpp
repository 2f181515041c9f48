// The unzip library's extraction: any bytes as an archive, extracted into an empty scratch
// folder beside a file and a link that must stay untouched. Nothing may appear outside the
// folder, nothing may be written through the link, and every file left must be one the library
// reported as written completely.

#include <sys/stat.h>

#include <cstdint>
#include <set>
#include <string>

#include "FuzzSupport.h"
#include "platform/Files.h"
#include "unziplib/UnzipLibApi.h"

extern "C" std::int32_t UnzipLibExec(TUnzipParams* params);

namespace fs = std::filesystem;

namespace {

std::set<std::string> gWritten;
int gCalls = 0;

std::int32_t Callback(TUnzipCallbackInfo* info) {
  ++gCalls;
  fuzz::Check(info->Message[UNZIP_MESSAGE_CHARS] == '\0', "message not terminated");
  if (info->ActionCode == UNZIP_ACTION_WRITTEN) gWritten.insert(info->Message);
  return 0;
}

fs::path Root() {
  return fuzz::ScratchDir();
}
fs::path Out() {
  return Root() / "out";
}

std::set<std::string> Listing(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fs::create_directories(Out());
  fuzz::WriteFile(Root() / "outside.txt", "outside");
  platform::SetCurrentDir(Out().string());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path archive = Root() / "game.zip";
  fuzz::WriteFile(archive, fuzz::AsText(data, size));
  // A file the game already has, and a link out of the folder under a name archives often use.
  fuzz::WriteFile(Out() / "kept.bin", "kept");
  std::error_code ec;
  fs::create_symlink(Root() / "outside.txt", Out() / "a.bin", ec);
  const std::set<std::string> before = Listing(Out());
  const std::set<std::string> rootBefore = Listing(Root());

  gWritten.clear();
  gCalls = 0;
  const std::string archiveName = archive.string();
  TUnzipParams params{};
  params.Caller = &params;
  params.Version = UNZIP_VERSION;
  params.Callback = Callback;
  params.Flag40 = -1;
  params.ArchiveName = archiveName.c_str();
  params.Seven = 7;
  const std::int32_t count = UnzipLibExec(&params);

  fuzz::Check(count == static_cast<std::int32_t>(gWritten.size()),
              "count and files written differ");
  fuzz::Check(Listing(Root()) == rootBefore, "something was written beside the folder");
  fuzz::Check(platform::GetCurrentDir() == Out().string(), "the working directory moved");
  fuzz::Check(platform::ReadWholeFile((Root() / "outside.txt").string()) == "outside",
              "written through the link");
  fuzz::Check(platform::ReadWholeFile((Out() / "kept.bin").string()) == "kept",
              "an existing file was replaced");
  for (const std::string& name : Listing(Out())) {
    if (before.count(name)) continue;
    fuzz::Check(gWritten.count(name) == 1, "a file that was not reported written: " + name);
    struct stat st {};
    fuzz::Check(::lstat((Out() / name).c_str(), &st) == 0 && S_ISREG(st.st_mode),
                "not a plain file: " + name);
  }
  for (const std::string& name : gWritten)
    fuzz::Check(fs::is_regular_file(Out() / name), "reported but absent: " + name);
  for (const auto& e : fs::directory_iterator(Out())) fs::remove(e.path());
  return 0;
}
