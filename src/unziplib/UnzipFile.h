#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

// The little file layer of the unzip library: the archive mapped read-only, and output files that
// are created exclusively and deleted again unless they were finished.

namespace unziplib {

/// Why creating or writing a file failed.
struct TFileError {
  std::string Text;
  /// Every further file would fail alike: no space or quota left, a read-only or forbidden folder,
  /// a file larger than the file system takes.
  bool Recurs = false;
};

class TInputMap {
 public:
  TInputMap() = default;
  ~TInputMap();
  TInputMap(const TInputMap&) = delete;
  TInputMap& operator=(const TInputMap&) = delete;

  bool Open(const std::string& path, std::string* error);
  const unsigned char* Data() const { return FData; }
  std::uint64_t Size() const { return FSize; }
  /// Says that the bytes at data are read and done with: the pages wholly inside them leave the
  /// process's memory (they are read again from the file if needed). Safe from any thread.
  void Done(const unsigned char* data, std::uint64_t size) const;

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
  bool Create(const std::string& path, bool* exists, TFileError* error);
  /// Takes the disk space for size bytes now, so that a full disk shows before the writing.
  bool Reserve(std::uint64_t size, TFileError* error);
  bool Write(const unsigned char* data, std::size_t size, TFileError* error);
  /// Sets the modification time and closes. Deletes on failure.
  bool Finish(std::time_t mtime, TFileError* error);
  /// Closes and deletes the file.
  void Discard();

 private:
  std::string FPath;
  std::intptr_t FHandle = -1;
};

}  // namespace unziplib
