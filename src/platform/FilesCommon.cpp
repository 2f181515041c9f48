#include "Files.h"

#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "DirListingData.h"
#include "Text.h"

namespace platform {

std::optional<std::string> ReadWholeFile(const std::string& path, std::uint64_t maxBytes) {
  const int fd = OpenRegularFile(path);
  if (fd < 0) return std::nullopt;
  std::string bytes;
  // Room for the size the file has now spares growing the text by doubling; a file that
  // changes meanwhile is still read to its end.
#ifdef _WIN32
  struct _stat64 st;
  if (::_fstat64(fd, &st) == 0 && st.st_size > 0)
#else
  struct stat st;
  if (::fstat(fd, &st) == 0 && st.st_size > 0)
#endif
    bytes.reserve(static_cast<std::size_t>(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), maxBytes) + 1));
  char chunk[65536];
  bool ok = true;
  for (;;) {
#ifdef _WIN32
    const int n = ::_read(fd, chunk, sizeof chunk);
#else
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
#endif
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    if (static_cast<std::uint64_t>(n) > maxBytes - bytes.size()) {
      ok = false;
      break;
    }
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
#ifdef _WIN32
  ::_close(fd);
#else
  ::close(fd);
#endif
  if (!ok) return std::nullopt;
  return bytes;
}

std::string OpenFailureText(int code) {
  return code == EINVAL ? "not a regular file" : std::strerror(code);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  return ReadWholeFile(path, std::numeric_limits<std::uint64_t>::max());
}

bool MatchesMask(std::string_view name, std::string_view mask) {
  if (mask == "*" || mask == "*.*") return true;
  // Iterative glob with one backtrack point: linear in practice, never exponential.
  std::size_t n = 0, m = 0, starM = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || AsciiLower(mask[m]) == AsciiLower(name[n]))) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (starM != std::string_view::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

std::vector<TSearchRec> FindFiles(const std::string& dir, std::string_view mask) {
  std::vector<TSearchRec> entries;
  ForEachEntry(dir, mask, [&](const TSearchRec& rec) {
    entries.push_back(rec);
    return true;
  });
  return entries;
}

std::size_t TDirListing::Size() const {
  return FData ? FData->Items.size() : 0;
}

std::string_view TDirListing::Name(std::size_t i) const {
  return FData->Name(i);
}

bool TDirListing::IsDirectory(std::size_t i) const {
  switch (FData->Items[i].Kind) {
    case TData::kDirectory:
      return true;
    case TData::kLookUp:
      return std::binary_search(FLinkedDirs.begin(), FLinkedDirs.end(), i);
    default:
      return false;
  }
}

std::optional<std::size_t> TDirListing::Find(std::string_view name) const {
  std::optional<std::size_t> best;
  if (!FData) return best;
  FData->Index.Probe(name, [&](std::size_t i) {
    const std::string_view candidate = FData->Name(i);
    if (!SameTextAscii(candidate, name)) return false;
    if (!best || candidate == name || candidate < FData->Name(*best)) best = i;
    return candidate == name;
  });
  return best;
}

bool PathExists(const std::string& path) { return FileExists(path) || DirectoryExists(path); }

std::string IncludeTrailingPathDelimiter(std::string path) {
  if (!path.empty() && path.back() != PathDelim && path.back() != '/') path += PathDelim;
  return path;
}

std::string JoinPath(std::string_view a, std::string_view b) {
  if (a.empty()) return std::string(b);
  std::string joined = IncludeTrailingPathDelimiter(std::string(a));
  joined += b;
  return joined;
}

}  // namespace platform
