#pragma once

#include <optional>
#include <string>
#include <vector>

// Where the program finds its emulator folder, wherever it is started: the working folder when it
// holds the emulator, else the folder named on the command line, else the last folder the user
// chose that still holds it. The folders chosen are remembered, most recent first.

/// The most folders remembered.
inline constexpr std::size_t MaxRecentFolders = 8;

/// The folder named on the command line: the one argument that is neither an option of the
/// toolkit's (-platform NAME, -style=NAME ...) nor follows one; nothing when there is none.
std::optional<std::string> FolderArgument(int argc, const char* const* argv);

/// How the folder of a start was found.
enum class TFolderSource { fsWorkingDir, fsArgument, fsRecent, fsNone };

struct TFolderFound {
  std::string Folder;  ///< absolute; empty with fsNone
  TFolderSource Source = TFolderSource::fsNone;
};

/// The folder a start works in: the argument when there is one (what it lacks is reported later,
/// as for any folder the user named); else the working folder when it holds the emulator; else
/// the first of the recent folders that still does; else none, and the user is asked.
TFolderFound FindEmulatorFolder(const std::string& workingDir,
                                const std::optional<std::string>& argument,
                                const std::vector<std::string>& recent);

/// The file the recent folders are kept in ($XDG_CONFIG_HOME/startvelk/recent-folders); empty
/// when the user has no configuration folder.
std::string RecentFoldersFile();

/// The folders kept in file, most recent first: absolute paths, one a line, at most
/// MaxRecentFolders. The file may have been written by anyone: lines that are no absolute path,
/// hold control characters or repeat an earlier one are left out; a file that cannot be read is
/// an empty list.
std::vector<std::string> ReadRecentFolders(const std::string& file);

/// folders with folder (an absolute path) in front, an earlier mention of it removed, cut to
/// MaxRecentFolders.
std::vector<std::string> AddRecentFolder(std::vector<std::string> folders,
                                         const std::string& folder);

/// Writes the list (the folder made when missing, the file replaced whole). False with error set
/// when it cannot be written.
bool WriteRecentFolders(const std::string& file, const std::vector<std::string>& folders,
                        std::string* error);
