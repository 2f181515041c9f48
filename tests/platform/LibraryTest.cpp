#include <gtest/gtest.h>

#include "TempDir.h"
#include "platform/Library.h"

TEST(LibraryTest, LoadsAModuleAndFindsOnlyItsExports) {
  platform::TLibraryHandle library = platform::OpenLibrary(UNZIPLIB_PATH);
  ASSERT_NE(library, nullptr);
  EXPECT_NE(platform::LibrarySymbol(library, "GetUnzipLibVersion"), nullptr);
  EXPECT_EQ(platform::LibrarySymbol(library, "NoSuchEntryPoint"), nullptr);
  platform::CloseLibrary(library);
}

TEST(LibraryTest, MissingOrDamagedModulesFailQuietly) {
  TempDir dir;
  EXPECT_EQ(platform::OpenLibrary((dir.Path() / "absent.dll").string()), nullptr);
  EXPECT_EQ(platform::OpenLibrary(dir.Write("fake.dll", "not a module").string()), nullptr);
  EXPECT_EQ(platform::OpenLibrary(""), nullptr);
  EXPECT_EQ(platform::LibrarySymbol(nullptr, "x"), nullptr);
  platform::CloseLibrary(nullptr);
}
