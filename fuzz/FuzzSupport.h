#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

// Helpers shared by the fuzz targets: the input as text, a scratch directory of the process's own,
// and a failed check that libFuzzer records as a crash with the input that caused it.

namespace fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
  std::abort();
}

inline void Check(bool condition, const std::string& what) {
  if (!condition) Fail(what);
}

/// A directory of this process under the temporary folder, removed when the process ends.
inline const std::filesystem::path& ScratchDir() {
  static const std::filesystem::path dir = [] {
    namespace fs = std::filesystem;
    const fs::path path =
        fs::temp_directory_path() / ("startvelk-fuzz-" + std::to_string(::getpid()));
    fs::remove_all(path);
    fs::create_directories(path);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(ScratchDir(), ec);
    });
    return fs::canonical(path);
  }();
  return dir;
}

/// Writes bytes to a file, replacing it.
inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) Fail("cannot create " + path.string());
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) Fail("cannot write " + path.string());
}

}  // namespace fuzz
