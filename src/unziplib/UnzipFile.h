#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

// The little file layer of the unzip library: the archive mapped read-only, and output files that
// are created exclusively and deleted again unless they were finished.

namespace unziplib {

class TInputMap {
 public:
  TInputMap() = default;
  ~TInputMap();
  TInputMap(const TInputMap&) = delete;
  TInputMap& operator=(const TInputMap&) = delete;

  bool Open(const std::string& path, std::string* error);
  const unsigned char* Data() const { return FData; }
  std::uint64_t Size() const { return FSize; }

 private:
  const unsigned char* FData = nullptr;
  std::uint64_t FSize = 0;
#ifdef _WIN32
  void* FFile = nullptr;  // file and mapping handles
  void* FMapping = nullptr;
#endif
};

class TOutputFile {
 public:
  TOutputFile() = default;
  ~TOutputFile();  ///< an unfinished file is deleted
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  /// Creates path; never opens or replaces anything that exists (then *exists is set).
  bool Create(const std::string& path, bool* exists, std::string* error);
  bool Write(const unsigned char* data, std::size_t size, std::string* error);
  /// Sets the file's length to size and maps it writable; nullptr on failure.
  unsigned char* Map(std::uint64_t size, std::string* error);
  /// Unmaps, flushes the length, sets the modification time and closes. Deletes on failure.
  bool Finish(std::time_t mtime, std::string* error);
  /// Closes and deletes the file.
  void Discard();

 private:
  void Unmap();
  std::string FPath;
  std::intptr_t FHandle = -1;
#ifdef _WIN32
  void* FMapping = nullptr;  // mapping handle
#endif
  unsigned char* FView = nullptr;
  std::uint64_t FViewSize = 0;
};

}  // namespace unziplib
