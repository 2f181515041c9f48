// Where a start finds its emulator folder, and the list of folders the user chose.

#include <gtest/gtest.h>

#include <cstdlib>

#include "TempDir.h"
#include "catalogue/Catalogue.h"
#include "catalogue/EmulatorFolder.h"

namespace {

std::string MakeEmulator(const TempDir& dir, const std::string& name, bool exe, bool readme) {
  const std::string folder = dir.MakeDir(name).string();
  if (exe) dir.Write(name + "/VELK.EXE", "x");  // found without regard to letter case
  if (readme) dir.Write(name + "/readme.txt", "gameslist:\r\n");
  return folder;
}

TEST(EmulatorFolderTest, FolderArgumentSkipsTheToolkitsOptions) {
  struct Case {
    std::vector<const char*> Args;
    std::optional<std::string> Folder;
  } cases[] = {
      {{"startvelk"}, std::nullopt},
      {{"startvelk", "/emu"}, "/emu"},
      {{"startvelk", "-platform", "xcb", "/emu"}, "/emu"},
      {{"startvelk", "-platform", "wayland"}, std::nullopt},
      {{"startvelk", "-style=fusion", "emu"}, "emu"},
      {{"startvelk", "--style", "fusion", "-reverse", "emu"}, "emu"},
      {{"startvelk", "--", "-odd name"}, "-odd name"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FolderArgument(static_cast<int>(c.Args.size()), c.Args.data()), c.Folder)
        << c.Args.back();
}

TEST(EmulatorFolderTest, WorkingFolderThenArgumentThenFirstUsableRecentFolder) {
  TempDir dir;
  const std::string good = MakeEmulator(dir, "good", true, true);
  const std::string other = MakeEmulator(dir, "other", true, true);
  const std::string noReadme = MakeEmulator(dir, "noreadme", true, false);
  const std::string empty = MakeEmulator(dir, "empty", false, false);
  EXPECT_EQ(MissingStartupFiles(noReadme), std::vector<std::string>{"readme.txt"});
  EXPECT_EQ(MissingStartupFiles(empty), (std::vector<std::string>{"velk.exe", "readme.txt"}));

  struct Case {
    std::string Working;
    std::optional<std::string> Argument;
    std::vector<std::string> Recent;
    TFolderSource Source;
    std::string Folder;
  } cases[] = {
      {good, std::nullopt, {other}, TFolderSource::fsWorkingDir, good},
      // A named folder wins over the working one and is taken as named, lacking files or not.
      {good, empty + "/./", {}, TFolderSource::fsArgument, empty},
      {empty,
       std::nullopt,
       {dir.Str() + "/gone", noReadme, other, good},
       TFolderSource::fsRecent,
       other},
      {empty, std::nullopt, {noReadme}, TFolderSource::fsNone, ""},
  };
  for (const Case& c : cases) {
    const TFolderFound found = FindEmulatorFolder(c.Working, c.Argument, c.Recent);
    EXPECT_EQ(found.Source, c.Source) << c.Folder;
    EXPECT_EQ(found.Folder, c.Folder);
  }
}

TEST(EmulatorFolderTest, RecentFoldersAreKeptMostRecentFirstAndReadWithCare) {
  TempDir dir;
  const std::string file = (dir.Path() / "config" / "startvelk" / "recent-folders").string();
  EXPECT_TRUE(ReadRecentFolders(file).empty());  // none yet

  std::vector<std::string> folders;
  for (int i = 0; i < 10; ++i) folders = AddRecentFolder(folders, "/emu/" + std::to_string(i));
  folders = AddRecentFolder(folders, "/emu/5/");   // chosen again: to the front, once
  folders = AddRecentFolder(folders, "relative");  // never a folder of the list
  ASSERT_EQ(folders.size(), MaxRecentFolders);
  EXPECT_EQ(folders[0], "/emu/5");
  EXPECT_EQ(folders[1], "/emu/9");
  EXPECT_EQ(std::count(folders.begin(), folders.end(), "/emu/5"), 1);

  std::string error;
  ASSERT_TRUE(WriteRecentFolders(file, folders, &error)) << error;
  EXPECT_EQ(ReadRecentFolders(file), folders);

  // Written by someone else: only absolute folders, each once, no control characters.
  dir.Write("config/startvelk/recent-folders",
            "/a/b\r\nnot/absolute\n/a/b/\n\n/with\x01control\n/c/../d\n" + std::string(70000, 'x'));
  EXPECT_TRUE(ReadRecentFolders(file).empty());  // far too large to be the program's file
  dir.Write("config/startvelk/recent-folders",
            "/a/b\r\nnot/absolute\n/a/b/\n\n/with\x01control\n/c/../d");
  EXPECT_EQ(ReadRecentFolders(file), (std::vector<std::string>{"/a/b", "/d"}));
}

TEST(EmulatorFolderTest, RecentFoldersFileFollowsTheConfigurationFolder) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(RecentFoldersFile(), "/cfg/startvelk/recent-folders");
  if (old)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
