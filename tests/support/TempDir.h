#pragma once

#include <filesystem>
#include <string>
#include <string_view>

/// A fresh directory under the system's temporary folder, removed with everything in it when the
/// object goes. Tests build their emulator directories and fixtures in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  std::string Str() const { return FPath.string(); }

  /// Writes bytes to a file below the directory, creating parent folders.
  std::filesystem::path Write(std::string_view relative, std::string_view bytes) const;
  /// Creates a folder below the directory, with parents.
  std::filesystem::path MakeDir(std::string_view relative) const;

 private:
  std::filesystem::path FPath;
};

/// Makes a directory the working directory for a scope and restores the old one afterwards.
class ScopedCurrentDir {
 public:
  explicit ScopedCurrentDir(const std::filesystem::path& dir);
  ~ScopedCurrentDir();
  ScopedCurrentDir(const ScopedCurrentDir&) = delete;
  ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

 private:
  std::filesystem::path FOld;
};

/// Whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& path);
