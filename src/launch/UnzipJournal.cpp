#include "UnzipJournal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <sstream>

#include "platform/Files.h"
#include "platform/RunSession.h"

namespace {

constexpr std::string_view kHeader = "StartVELK unzip journal 2";
constexpr std::uint64_t kMaxJournalBytes = 64 * 1024 * 1024;

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

// "-" stands for a value that cannot be read; it never matches a running process or a boot.
std::string Word(const std::string& text) {
  return text.empty() ? "-" : text;
}
std::string Unword(const std::string& word) {
  return word == "-" ? std::string() : word;
}

// A process as a journal names it: its id, its start mark and the boot it ran in.
struct TProcessRef {
  std::int64_t Pid = 0;
  std::string Mark;
  std::string Boot;
};

std::string ProcessLine(std::string_view key, std::int64_t pid) {
  return std::string(key) + " " + std::to_string(pid) + " " +
         Word(platform::ProcessStartMark(pid)) + " " + Word(platform::BootId()) + "\n";
}

struct TRecordedFile {
  std::uint64_t Size = 0;
  std::int64_t ModifiedNs = 0;
  std::int64_t ChangedNs = 0;
  std::uint64_t Inode = 0;
};

// One journal as read back.
struct TJournalContent {
  TProcessRef Owner;
  std::string Folder;
  bool Created = false;
  std::map<std::string, std::uint64_t> Wants;
  std::map<std::string, TRecordedFile> Files;
  std::vector<TProcessRef> Runs;
};

// Parses every complete line; a last line without its end is one that a crash cut short and
// is left out. Anything else that does not read, names a folder that is not one plain name, or a
// file that is not a bare name, is damage.
std::optional<TJournalContent> ParseJournal(const std::string& text, std::string* why) {
  const auto damaged = [why](const std::string& reason) -> std::optional<TJournalContent> {
    if (why) *why = reason;
    return std::nullopt;
  };
  TJournalContent journal;
  std::size_t pos = 0;
  bool headerSeen = false, folderSeen = false;
  while (pos < text.size()) {
    const std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) break;
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!headerSeen) {
      if (line != kHeader) return damaged("it is not a journal of this version");
      headerSeen = true;
      continue;
    }
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) return damaged("a line does not read");
    const std::string key = line.substr(0, blank);
    std::istringstream in(line.substr(blank + 1));
    auto rest = [&in]() -> std::optional<std::string> {
      std::string tail;
      if (in.peek() == ' ') in.get();
      std::getline(in, tail);
      return Unescape(tail);
    };
    auto plainName = [&rest]() -> std::optional<std::string> {
      auto name = rest();
      if (!name || !platform::IsPlainEntryName(*name)) return std::nullopt;
      return name;
    };
    if (key == "owner" || key == "run") {
      TProcessRef process;
      if (!(in >> process.Pid >> process.Mark >> process.Boot))
        return damaged("a line does not read");
      process.Mark = Unword(process.Mark);
      process.Boot = Unword(process.Boot);
      (key == "owner" ? journal.Owner : journal.Runs.emplace_back()) = process;
    } else if (key == "begun") {
      std::int64_t begun = 0;
      if (!(in >> begun)) return damaged("a line does not read");
    } else if (key == "folder") {
      const auto folder = plainName();
      if (!folder) return damaged("its game folder is not one plain folder name");
      journal.Folder = *folder;
      folderSeen = true;
    } else if (key == "created") {
      int created = 0;
      if (!(in >> created) || (created != 0 && created != 1)) return damaged("a line does not read");
      journal.Created = created == 1;
    } else if (key == "archive") {
      if (!rest()) return damaged("a line does not read");
    } else if (key == "want") {
      std::uint64_t size = 0;
      if (!(in >> size)) return damaged("a line does not read");
      const auto name = plainName();
      if (!name) return damaged("it names a file outside its game folder");
      journal.Wants[*name] = size;
    } else if (key == "file") {
      TRecordedFile file;
      if (!(in >> file.Size >> file.ModifiedNs >> file.ChangedNs >> file.Inode))
        return damaged("a line does not read");
      const auto name = plainName();
      if (!name) return damaged("it names a file outside its game folder");
      journal.Files[*name] = file;
    } else {
      return damaged("a line does not read");
    }
  }
  if (!headerSeen) return damaged("it is empty");
  // Without its folder a journal would work on the emulator's folder itself.
  if (!folderSeen) return damaged("it names no game folder");
  return journal;
}

bool IsDriverFile(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot != std::string_view::npos && name.substr(dot) == ".vlk";
}

bool OwnerStillRuns(const TProcessRef& owner) {
  if (owner.Pid <= 0 || owner.Mark.empty()) return false;
  const std::string boot = platform::BootId();
  if (!owner.Boot.empty() && !boot.empty() && owner.Boot != boot) return false;
  return platform::ProcessStartMark(owner.Pid) == owner.Mark;
}

bool RunGoesOn(const TJournalContent& journal) {
  return std::any_of(journal.Runs.begin(), journal.Runs.end(), [](const TProcessRef& run) {
    return platform::RunStillActive(run.Pid, run.Mark, run.Boot);
  });
}

// A journal as found in the emulator's folder, held under its lock where that was free.
struct TFoundJournal {
  platform::TLockedRecord Record;
  platform::TLockedRecord::TOpen Open = platform::TLockedRecord::TOpen::oUnusable;
  std::optional<TJournalContent> Content;
  std::string Why;  // what is wrong with it, when Content is empty
};

void ReadJournal(const std::string& path, TFoundJournal& found) {
  int error = 0;
  found.Open = found.Record.OpenExisting(path, &error);
  if (found.Open == platform::TLockedRecord::TOpen::oUnusable) {
    found.Why = error == ENOENT ? "" : "it is no regular file";
    return;
  }
  const auto text = found.Record.ReadAll(kMaxJournalBytes);
  if (!text) {
    found.Why = "it cannot be read";
    return;
  }
  found.Content = ParseJournal(*text, &found.Why);
}

bool IsLive(const TFoundJournal& found) {
  return found.Open == platform::TLockedRecord::TOpen::oHeldElsewhere ||
         OwnerStillRuns(found.Content->Owner) || RunGoesOn(*found.Content);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Writing

bool TUnzipJournal::Begin(const std::string& emuDir, const std::string& archive,
                          const std::string& folder, bool createdFolder,
                          const std::vector<TJournalWant>& wants, std::string* error) {
  Finish();
  const std::int64_t pid = platform::OwnProcessId();
  std::string header(kHeader);
  header += "\n" + ProcessLine("owner", pid);
  header += "begun " + std::to_string(static_cast<std::int64_t>(std::time(nullptr))) + "\n";
  header += "folder " + Escape(folder) + "\n";
  header += "created " + std::string(createdFolder ? "1" : "0") + "\n";
  header += "archive " + Escape(archive) + "\n";
  for (const TJournalWant& want : wants)
    header += "want " + std::to_string(want.Size) + " " + Escape(want.Name) + "\n";

  const std::string dir = emuDir.empty() ? "." : emuDir;
  // The pending journal of an earlier process with the same id is never overwritten: the next
  // free name is taken instead.
  int code = 0;
  for (int n = 1; n <= 100; ++n) {
    const std::string name = "StartVELK-" + std::to_string(pid) +
                             (n == 1 ? "" : "-" + std::to_string(n)) + ".journal";
    if (FRecord.Create(dir, name, header, &code)) break;
    if (code != EEXIST) break;
  }
  if (!FRecord.IsOpen()) {
    if (error) *error = "Cannot write a clean-up record in " + dir + ": " + std::strerror(code);
    return false;
  }
  FEmuDir = dir;
  FFolder = folder;
  const auto stamp = FRecord.Stamp();
  FBornNs = !stamp ? 0 : stamp->BornNs != 0 ? stamp->BornNs : stamp->ChangedNs;
  return true;
}

bool TUnzipJournal::RecordFile(const std::string& name) {
  if (!Active()) return false;
  platform::TConfinedFolder folder;
  if (!folder.Open(FEmuDir, FFolder, nullptr)) return false;
  const auto stamp = folder.RegularFile(name);
  // A file older than the journal was there before: not this extraction's.
  if (!stamp || stamp->ChangedNs < FBornNs) return false;
  return FRecord.Append("file " + std::to_string(stamp->Size) + " " +
                        std::to_string(stamp->ModifiedNs) + " " +
                        std::to_string(stamp->ChangedNs) + " " + std::to_string(stamp->Inode) +
                        " " + Escape(name) + "\n");
}

void TUnzipJournal::RecordRun(std::int64_t pid) {
  if (Active()) FRecord.Append(ProcessLine("run", pid));
}

void TUnzipJournal::Sync() {
  FRecord.Sync();
}

void TUnzipJournal::Finish() {
  if (Active()) FRecord.Remove(nullptr);
}

void TUnzipJournal::Keep() {
  FRecord.Close();
}

// ---------------------------------------------------------------------------------------------
// Replaying

TReplayOutcome ReplayUnzipJournal(const std::string& emuDir, const std::string& name,
                                  std::string* why) {
  const std::string dir = emuDir.empty() ? "." : emuDir;
  const std::string path = platform::JoinPath(dir, name);
  TFoundJournal found;
  ReadJournal(path, found);
  const auto setAside = [&](const std::string& reason) {
    if (why) *why = reason;
    found.Record.Close();
    platform::RenameAside(path, ".damaged");
    return TReplayOutcome::roDamaged;
  };
  if (found.Open == platform::TLockedRecord::TOpen::oUnusable && found.Why.empty())
    return TReplayOutcome::roCleaned;  // gone meanwhile
  if (found.Open == platform::TLockedRecord::TOpen::oHeldElsewhere)
    return TReplayOutcome::roPending;
  if (!found.Content) return setAside(found.Why);
  const TJournalContent& journal = *found.Content;
  if (IsLive(found)) return TReplayOutcome::roPending;

  platform::TConfinedFolder folder;
  int error = 0;
  if (!folder.Open(dir, journal.Folder, &error)) {
    if (error == ENOENT) {  // nothing left to remove
      found.Record.Remove(nullptr);
      return TReplayOutcome::roCleaned;
    }
    if (error == ELOOP || error == ENOTDIR || error == EINVAL)
      return setAside("its game folder " + journal.Folder + " is a link or no folder");
    if (why) *why = journal.Folder + ": " + std::strerror(error);
    return TReplayOutcome::roIncomplete;
  }

  // Only files that came into being after the journal did can be the extraction's; where the
  // file system keeps no creation time, the journal's last change stands in for it, later than
  // its creation, so at worst a file is left.
  const auto stamp = found.Record.Stamp();
  const std::int64_t born = stamp ? stamp->BornNs : 0;
  const std::int64_t after = born != 0 ? born : stamp ? stamp->ChangedNs : INT64_MAX;
  // Nothing ran: the folder goes back to what it held, drivers included.
  const bool ran = !journal.Runs.empty();
  int failed = 0, failure = 0;
  const auto remove = [&](const std::string& file) {
    int code = 0;
    if (!folder.RemoveFile(file, &code)) {
      ++failed;
      failure = code;
    }
  };
  for (const auto& [file, recorded] : journal.Files) {
    if (ran && IsDriverFile(file)) continue;
    const auto now = folder.RegularFile(file);
    if (now && now->Size == recorded.Size && now->ModifiedNs == recorded.ModifiedNs &&
        now->ChangedNs == recorded.ChangedNs && now->Inode == recorded.Inode &&
        now->ChangedNs >= born)
      remove(file);
  }
  // Written but not recorded yet: complete, or cut short by the crash.
  for (const auto& [file, size] : journal.Wants) {
    if (journal.Files.count(file) || (ran && IsDriverFile(file))) continue;
    const auto now = folder.RegularFile(file);
    if (now && now->Size <= size && now->ChangedNs >= after) remove(file);
  }
  if (failed > 0) {
    if (why)
      *why = std::to_string(failed) + (failed == 1 ? " file" : " files") + " in " +
             journal.Folder + ": " + std::strerror(failure);
    found.Record.Close();  // kept whole: what was removed is not there to match next time
    return TReplayOutcome::roIncomplete;
  }
  if (journal.Created) {
    const auto made = folder.Stamp();
    const std::int64_t madeAt = made ? (made->BornNs != 0 ? made->BornNs : made->ChangedNs) : 0;
    if (made && madeAt >= after) folder.RemoveIfEmpty(nullptr);
  }
  found.Record.Remove(nullptr);
  return TReplayOutcome::roCleaned;
}

bool ReplayUnzipJournals(const std::string& emuDir, TUserInteraction& ui) {
  std::vector<std::string> damaged, incomplete;
  bool cleaned = false;
  for (const platform::TSearchRec& entry : platform::FindFiles(emuDir, UnzipJournalMask)) {
    if (entry.IsDirectory) continue;
    std::string why;
    switch (ReplayUnzipJournal(emuDir, entry.Name, &why)) {
      case TReplayOutcome::roCleaned:
        cleaned = true;
        break;
      case TReplayOutcome::roDamaged:
        damaged.push_back(entry.Name + " (" + why + ")");
        break;
      case TReplayOutcome::roIncomplete:
        incomplete.push_back(why);
        break;
      case TReplayOutcome::roPending:
        break;
    }
  }
  const auto joined = [](std::vector<std::string> parts) {
    std::sort(parts.begin(), parts.end());
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
    return text;
  };
  if (!damaged.empty()) {
    ui.Beep();
    ui.MessageDlg("The clean-up record " + joined(damaged) +
                      " of an earlier start was not carried out.\rNothing it names was deleted; "
                      "it was set aside under its name with \".damaged\" added.",
                  TMsgDlgType::mtError, mbOK);
  }
  if (!incomplete.empty()) {
    ui.Beep();
    ui.MessageDlg("The clean-up of an earlier start could not remove every file it unzipped (" +
                      joined(incomplete) + ").\rIt will be tried again at the next start.",
                  TMsgDlgType::mtError, mbOK);
  }
  return cleaned || !damaged.empty() || !incomplete.empty();
}

std::vector<TJournalClaim> JournalClaims(const std::string& emuDir, const std::string& ownPath) {
  return JournalClaims(emuDir, platform::ListDirectory(emuDir), ownPath);
}

std::vector<TJournalClaim> JournalClaims(const std::string& emuDir,
                                         const platform::TDirListing& listing,
                                         const std::string& ownPath) {
  std::vector<TJournalClaim> claims;
  const std::string dir = emuDir.empty() ? "." : emuDir;
  for (std::size_t i = 0; i < listing.Size(); ++i) {
    const std::string_view name = listing.Name(i);
    if (listing.IsDirectory(i) || !platform::MatchesMask(name, UnzipJournalMask)) continue;
    const std::string path = platform::JoinPath(dir, std::string(name));
    if (path == ownPath) continue;
    TFoundJournal found;
    ReadJournal(path, found);
    if (!found.Content) continue;
    TJournalClaim claim;
    claim.Folder = found.Content->Folder;
    claim.Live = IsLive(found);
    for (const auto& want : found.Content->Wants) claim.Names.push_back(want.first);
    for (const auto& file : found.Content->Files)
      if (!found.Content->Wants.count(file.first)) claim.Names.push_back(file.first);
    claims.push_back(std::move(claim));
  }
  return claims;
}
