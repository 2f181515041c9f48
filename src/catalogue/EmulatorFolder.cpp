#include "EmulatorFolder.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "Catalogue.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace {

// The toolkit's own options that take the next argument as their value.
constexpr std::string_view kOptionsWithValue[] = {"-platform",
                                                  "-platformpluginpath",
                                                  "-platformtheme",
                                                  "-plugin",
                                                  "-qmljsdebugger",
                                                  "-display",
                                                  "-geometry",
                                                  "-style",
                                                  "-stylesheet",
                                                  "-session",
                                                  "-qwindowgeometry",
                                                  "-qwindowicon",
                                                  "-qwindowtitle",
                                                  "-title",
                                                  "-name",
                                                  "-visual",
                                                  "-ncols",
                                                  "-cmap"};

bool TakesValue(std::string_view option) {
  if (option.rfind("--", 0) == 0) option.remove_prefix(1);  // --style NAME as well
  return option.find('=') == std::string_view::npos &&
         std::find(std::begin(kOptionsWithValue), std::end(kOptionsWithValue), option) !=
             std::end(kOptionsWithValue);
}

// The path as the list keeps it: absolute, without "." and ".." parts or a trailing separator.
std::string NormalFolder(const std::string& folder) {
  std::error_code ec;
  std::filesystem::path path = std::filesystem::absolute(folder, ec);
  if (ec) return folder;
  std::string text = path.lexically_normal().string();
  while (text.size() > 1 && text.back() == platform::PathDelim) text.pop_back();
  return text;
}

bool IsAbsoluteFolderLine(std::string_view line) {
  return !line.empty() && line.size() < 4096 && !HasControlCharacter(line) &&
         std::filesystem::path(line).is_absolute();
}

}  // namespace

std::optional<std::string> FolderArgument(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg == "--") return i + 1 < argc ? std::optional<std::string>(argv[i + 1]) : std::nullopt;
    if (arg.size() > 1 && arg[0] == '-') {
      if (TakesValue(arg)) ++i;
      continue;
    }
    if (!arg.empty()) return std::string(arg);
  }
  return std::nullopt;
}

TFolderFound FindEmulatorFolder(const std::string& workingDir,
                                const std::optional<std::string>& argument,
                                const std::vector<std::string>& recent) {
  if (argument) return {NormalFolder(*argument), TFolderSource::fsArgument};
  if (!workingDir.empty() && MissingStartupFiles(workingDir).empty())
    return {workingDir, TFolderSource::fsWorkingDir};
  for (const std::string& folder : recent)
    if (platform::DirectoryExists(folder) && MissingStartupFiles(folder).empty())
      return {folder, TFolderSource::fsRecent};
  return {};
}

std::string RecentFoldersFile() {
  const std::string config = platform::UserConfigDir();
  if (config.empty()) return {};
  return platform::JoinPath(platform::JoinPath(config, "startvelk"), "recent-folders");
}

std::vector<std::string> ReadRecentFolders(const std::string& file) {
  std::vector<std::string> folders;
  if (file.empty()) return folders;
  // A few folders take a few hundred bytes; anything far larger is not this program's file.
  const std::optional<std::string> text = platform::ReadWholeFile(file, 64 * 1024);
  if (!text) return folders;
  std::string_view rest(*text);
  while (!rest.empty() && folders.size() < MaxRecentFolders) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!IsAbsoluteFolderLine(line)) continue;
    std::string folder = NormalFolder(std::string(line));
    if (std::find(folders.begin(), folders.end(), folder) == folders.end())
      folders.push_back(std::move(folder));
  }
  return folders;
}

std::vector<std::string> AddRecentFolder(std::vector<std::string> folders,
                                         const std::string& folder) {
  if (!IsAbsoluteFolderLine(folder)) return folders;
  const std::string normal = NormalFolder(folder);
  folders.erase(std::remove(folders.begin(), folders.end(), normal), folders.end());
  folders.insert(folders.begin(), normal);
  if (folders.size() > MaxRecentFolders) folders.resize(MaxRecentFolders);
  return folders;
}

bool WriteRecentFolders(const std::string& file, const std::vector<std::string>& folders,
                        std::string* error) {
  if (file.empty()) {
    if (error) *error = "There is no configuration folder to keep the recent folders in";
    return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
  std::string text;
  for (const std::string& folder : folders)
    if (IsAbsoluteFolderLine(folder)) text += folder + "\n";
  return platform::WriteFileAtomically(file, text, error, platform::TLinkWrite::lwThroughLink);
}
