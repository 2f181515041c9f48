#include "UnzipJournal.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <system_error>

#include "platform/Files.h"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#undef DeleteFile  // the platform seam's, not the Windows macro
#else
#include <unistd.h>
#endif

namespace {

constexpr std::string_view kHeader = "StartVELK unzip journal 1";

#ifdef _WIN32
int OpenForAppend(const std::string& path) {
  return ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
}
bool WriteAll(int fd, const std::string& bytes) {
  return ::_write(fd, bytes.data(), static_cast<unsigned>(bytes.size())) ==
         static_cast<int>(bytes.size());
}
void SyncFd(int fd) {
  ::_commit(fd);
}
void CloseFd(int fd) {
  ::_close(fd);
}
std::int64_t OwnPid() {
  return ::_getpid();
}
#else
int OpenForAppend(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC | O_NOFOLLOW,
                0644);
}
bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}
void SyncFd(int fd) {
  ::fsync(fd);
}
void CloseFd(int fd) {
  ::close(fd);
}
std::int64_t OwnPid() {
  return ::getpid();
}

// The folder's entry must reach the disk too, or a power loss may lose the whole file.
void SyncDir(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}
#endif

// Names come from archives: a line break or a control character in one must not break the line.
std::string Escape(std::string_view text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '%') {
      out += '%';
      out += hex[u >> 4];
      out += hex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    int value = 0;
    for (std::size_t k = 1; k <= 2; ++k) {
      if (i + k >= text.size()) return std::nullopt;
      const char h = text[i + k];
      const int digit = h >= '0' && h <= '9' ? h - '0' : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
      if (digit < 0) return std::nullopt;
      value = value * 16 + digit;
    }
    out += static_cast<char>(value);
    i += 2;
  }
  return out;
}

// The state of a regular file (links and other kinds are never the extraction's).
struct TFileState {
  std::uint64_t Size = 0;
  std::int64_t Time = 0;
};

std::optional<TFileState> RegularFileState(const std::string& path) {
#ifdef _WIN32
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(path, ec);
  if (ec || status.type() != std::filesystem::file_type::regular) return std::nullopt;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
#else
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
#endif
  return TFileState{static_cast<std::uint64_t>(st.st_size), static_cast<std::int64_t>(st.st_mtime)};
}

// The file under its exact name, else under the one its name finds without regard to case.
std::optional<TFileState> FileStateIn(const std::string& folder, const std::string& name) {
  const std::string exact = platform::JoinPath(folder, name);
  if (auto state = RegularFileState(exact)) return state;
  return RegularFileState(platform::ResolvePath(exact));
}

bool ProcessStillRuns(std::int64_t pid, const std::string& mark) {
  return pid > 0 && !mark.empty() && ProcessStartMark(pid) == mark;
}

// One journal as read back.
struct TJournalContent {
  std::int64_t OwnerPid = 0;
  std::string OwnerMark;
  std::int64_t Begun = 0;
  std::string Folder;
  bool Created = false;
  std::map<std::string, std::uint64_t> Wants;
  std::map<std::string, TFileState> Files;
  std::vector<std::pair<std::int64_t, std::string>> Runs;
};

// Parses every complete line; a last line without its end is one that a crash cut short and
// is left out. Anything else that does not read is damage.
std::optional<TJournalContent> ParseJournal(const std::string& text) {
  TJournalContent journal;
  std::size_t pos = 0;
  bool headerSeen = false;
  bool folderSeen = false;
  while (pos < text.size()) {
    const std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) break;
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!headerSeen) {
      if (line != kHeader) return std::nullopt;
      headerSeen = true;
      continue;
    }
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) return std::nullopt;
    const std::string key = line.substr(0, blank);
    std::istringstream in(line.substr(blank + 1));
    auto rest = [&in]() -> std::optional<std::string> {
      std::string tail;
      if (in.peek() == ' ') in.get();
      std::getline(in, tail);
      return Unescape(tail);
    };
    if (key == "owner" || key == "run") {
      std::int64_t pid = 0;
      std::string mark;
      if (!(in >> pid >> mark)) return std::nullopt;
      if (key == "owner") {
        journal.OwnerPid = pid;
        journal.OwnerMark = mark;
      } else {
        journal.Runs.emplace_back(pid, mark);
      }
    } else if (key == "begun") {
      if (!(in >> journal.Begun)) return std::nullopt;
    } else if (key == "folder") {
      const auto folder = rest();
      if (!folder || folder->empty()) return std::nullopt;
      journal.Folder = *folder;
      folderSeen = true;
    } else if (key == "created") {
      int created = 0;
      if (!(in >> created) || (created != 0 && created != 1)) return std::nullopt;
      journal.Created = created == 1;
    } else if (key == "archive") {
      if (!rest()) return std::nullopt;
    } else if (key == "want") {
      std::uint64_t size = 0;
      if (!(in >> size)) return std::nullopt;
      const auto name = rest();
      if (!name || name->empty()) return std::nullopt;
      journal.Wants[*name] = size;
    } else if (key == "file") {
      TFileState state;
      if (!(in >> state.Size >> state.Time)) return std::nullopt;
      const auto name = rest();
      if (!name || name->empty()) return std::nullopt;
      journal.Files[*name] = state;
    } else {
      return std::nullopt;
    }
  }
  if (!headerSeen || !folderSeen) return std::nullopt;
  // Only bare names can be files of the extraction: nothing outside the game folder is touched.
  auto bare = [](const std::string& name) {
    return name.find_first_of("/\\") == std::string::npos && name != "." && name != "..";
  };
  for (const auto& want : journal.Wants)
    if (!bare(want.first)) return std::nullopt;
  for (const auto& file : journal.Files)
    if (!bare(file.first)) return std::nullopt;
  return journal;
}

// "-" stands for a mark that cannot be read; it never matches a running process.
std::string MarkText(std::int64_t pid) {
  const std::string mark = ProcessStartMark(pid);
  return mark.empty() ? "-" : mark;
}

bool IsDriverFile(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot != std::string_view::npos && name.substr(dot) == ".vlk";
}

}  // namespace

std::string ProcessStartMark(std::int64_t pid) {
  if (pid <= 0) return {};
#ifdef _WIN32
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (!process) return {};
  FILETIME created{}, exited{}, kernel{}, user{};
  DWORD code = 0;
  std::string mark;
  if (::GetProcessTimes(process, &created, &exited, &kernel, &user) &&
      ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE)
    mark = std::to_string((static_cast<std::uint64_t>(created.dwHighDateTime) << 32) |
                          created.dwLowDateTime);
  ::CloseHandle(process);
  return mark;
#else
  // Field 22 of /proc/<pid>/stat: the start time in clock ticks after boot. The command name
  // before it is in parentheses and may hold blanks, so the fields are counted from its end.
  const auto stat = platform::ReadWholeFile("/proc/" + std::to_string(pid) + "/stat", 4096);
  if (!stat) return {};
  const std::size_t close = stat->rfind(')');
  if (close == std::string::npos) return {};
  std::istringstream in(stat->substr(close + 1));
  std::string field;
  char state = 0;
  in >> state;
  if (state == 'Z' || state == 'X') return {};  // ended, not yet reaped
  for (int index = 4; index <= 22 && in >> field; ++index)
    if (index == 22) return field;
  return {};
#endif
}

TUnzipJournal::~TUnzipJournal() {
  if (FFd >= 0) CloseFd(FFd);
}

bool TUnzipJournal::Begin(const std::string& emuDir, const std::string& archive,
                          const std::string& folder, bool createdFolder,
                          const std::vector<TJournalWant>& wants, std::string* error) {
  Finish();
  const std::int64_t pid = OwnPid();
  // One journal per front-end: a second instance never writes over the first one's journal.
  std::string name = "StartVELK-" + std::to_string(pid) + ".journal";
  FPath = platform::JoinPath(emuDir, name);
  platform::DeleteFile(FPath);  // left by an earlier process that had this id and ended
  FFd = OpenForAppend(FPath);
  if (FFd < 0) {
    if (error) *error = "Cannot write " + FPath + ": " + std::strerror(errno);
    return false;
  }
  FFolder = folder;
  std::string header(kHeader);
  header += "\nowner " + std::to_string(pid) + " " + MarkText(pid) + "\n";
  header += "begun " + std::to_string(static_cast<std::int64_t>(std::time(nullptr))) + "\n";
  header += "folder " + Escape(folder) + "\n";
  header += "created " + std::string(createdFolder ? "1" : "0") + "\n";
  header += "archive " + Escape(archive) + "\n";
  for (const TJournalWant& want : wants)
    header += "want " + std::to_string(want.Size) + " " + Escape(want.Name) + "\n";
  if (!WriteAll(FFd, header)) {
    if (error) *error = "Cannot write " + FPath + ": " + std::strerror(errno);
    CloseFd(FFd);
    FFd = -1;
    platform::DeleteFile(FPath);
    return false;
  }
  Sync();
#ifndef _WIN32
  SyncDir(emuDir.empty() ? "." : emuDir);
#endif
  return true;
}

void TUnzipJournal::WriteLine(const std::string& line) {
  if (FFd >= 0) WriteAll(FFd, line + "\n");
}

void TUnzipJournal::RecordFile(const std::string& name) {
  const auto state = FileStateIn(FFolder, name);
  if (!state) return;
  WriteLine("file " + std::to_string(state->Size) + " " + std::to_string(state->Time) + " " +
            Escape(name));
}

void TUnzipJournal::RecordRun(std::int64_t pid) {
  WriteLine("run " + std::to_string(pid) + " " + MarkText(pid));
}

void TUnzipJournal::Sync() {
  if (FFd >= 0) SyncFd(FFd);
}

void TUnzipJournal::Finish() {
  if (FFd < 0) return;
  CloseFd(FFd);
  FFd = -1;
  platform::DeleteFile(FPath);
}

TReplayOutcome ReplayUnzipJournal(const std::string& journalPath) {
  const auto text = platform::ReadWholeFile(journalPath, 64 * 1024 * 1024);
  const auto journal = text ? ParseJournal(*text) : std::nullopt;
  if (!journal) {
    platform::DeleteFile(journalPath);
    return TReplayOutcome::roDamaged;
  }
  if (ProcessStillRuns(journal->OwnerPid, journal->OwnerMark)) return TReplayOutcome::roPending;
  for (const auto& [pid, mark] : journal->Runs)
    if (ProcessStillRuns(pid, mark)) return TReplayOutcome::roPending;

  auto remove = [&](const std::string& name) {
    if (IsDriverFile(name)) return;  // a driver that came with the archive stays, as after a run
    const std::string path = platform::ResolvePath(platform::JoinPath(journal->Folder, name));
    const auto state = RegularFileState(path);
    if (!state) return;
    bool matches = false;
    if (const auto file = journal->Files.find(name); file != journal->Files.end()) {
      matches = state->Size == file->second.Size && state->Time == file->second.Time;
    } else if (const auto want = journal->Wants.find(name); want != journal->Wants.end()) {
      // Written but not recorded yet: complete (the archive's size), or cut short by the crash
      // (smaller, and written after the extraction began).
      matches = state->Size == want->second ||
                (state->Size < want->second && state->Time >= journal->Begun);
    }
    if (matches) platform::DeleteFile(path);
  };
  for (const auto& [name, state] : journal->Files) remove(name);
  for (const auto& [name, size] : journal->Wants)
    if (!journal->Files.count(name)) remove(name);
  if (journal->Created) {
    std::error_code ec;
    const std::string folder = platform::ResolvePath(journal->Folder);
    if (std::filesystem::is_directory(std::filesystem::symlink_status(folder, ec)) &&
        std::filesystem::is_empty(folder, ec) && !ec)
      std::filesystem::remove(folder, ec);
  }
  platform::DeleteFile(journalPath);
  return TReplayOutcome::roCleaned;
}

bool ReplayUnzipJournals(const std::string& emuDir, TUserInteraction& ui) {
  std::vector<std::string> damaged;
  bool cleaned = false;
  for (const platform::TSearchRec& entry : platform::FindFiles(emuDir, UnzipJournalMask)) {
    if (entry.IsDirectory) continue;
    const std::string path = platform::JoinPath(emuDir, entry.Name);
    const TReplayOutcome outcome = ReplayUnzipJournal(path);
    if (outcome == TReplayOutcome::roDamaged) damaged.push_back(entry.Name);
    cleaned = cleaned || outcome == TReplayOutcome::roCleaned;
  }
  if (damaged.empty()) return cleaned;
  std::sort(damaged.begin(), damaged.end());
  std::string names;
  for (const std::string& name : damaged) names += (names.empty() ? "" : ", ") + name;
  ui.Beep();
  ui.MessageDlg("The clean-up record " + names +
                    " of an earlier start is damaged and was removed.\rFiles it may have "
                    "named in a game folder were left in place.",
                TMsgDlgType::mtError, mbOK);
  return true;
}
