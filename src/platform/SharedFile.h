#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// A file of the program's own that more than one program may write at a time: records are
// appended whole under a lock, and the file is rewritten only as a complete new file renamed over
// it under the same lock, so two writers never interleave and a reader never sees half a rewrite.
// The file is never opened through a link, and a pipe or device under its name is refused without
// waiting on it.

namespace platform {

enum class TSharedRead { srRead, srMissing, srTooLarge, srUnusable };

struct TSharedContent {
  TSharedRead Result = TSharedRead::srMissing;
  std::string Bytes;
  int Error = 0;  ///< the system's error number for srUnusable
};

/// The whole file, read under a shared lock; srTooLarge when it holds more than maxBytes.
TSharedContent ReadShared(const std::string& path, std::uint64_t maxBytes);

/// Appends bytes (whole lines) under the exclusive lock and returns once they are on the disk.
/// A missing or empty file gets header first; an existing one must begin with header (else
/// nothing is written: it is not the file the caller read). A last line that a crash cut short
/// is dropped before the new lines, so every line stays whole. A write that fails part way is
/// undone.
bool AppendShared(const std::string& path, std::string_view header, std::string_view bytes,
                  std::string* error);

/// Under the exclusive lock: make gets the file's content (at most maxBytes) and returns the
/// content that replaces it, or nothing to leave it. The new file is complete and on the disk
/// before it takes the old one's place. A missing file is left missing.
bool RewriteShared(const std::string& path, std::uint64_t maxBytes,
                   const std::function<std::optional<std::string>(std::string_view)>& make,
                   std::string* error);

/// The last maxBytes of a regular file (all of a shorter one); nothing for a missing file or
/// anything but a regular file. Another program may be writing it.
std::optional<std::string> ReadFileTail(const std::string& path, std::uint64_t maxBytes);

}  // namespace platform
