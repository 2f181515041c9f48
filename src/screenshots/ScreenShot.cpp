#include "ScreenShot.h"

#include <algorithm>
#include <filesystem>

#include "ScreenShotOrder.h"
#include "platform/Files.h"

std::string ScreenShotFolder(const std::string& gameDir) {
  return platform::ResolvePath(platform::JoinPath(gameDir, ScreenShotFolderName));
}

void ReportJpegReadError(TUserInteraction& ui) {
  ui.Beep();
  ui.MessageDlg(std::string(JpegReadErrorText), TMsgDlgType::mtError, mbOK);
}

TScreenShotSet::TScreenShotSet(TCatalogue& catalogue) : FCatalogue(catalogue) {}

TGameRecord* TScreenShotSet::CurrentRecord() {
  const std::int32_t current = FCatalogue.CurrentGame;
  if (current < 0 || static_cast<std::size_t>(current) >= FCatalogue.Games.size()) return nullptr;
  return &FCatalogue.Games[static_cast<std::size_t>(current)];
}

std::string TScreenShotSet::Folder() const {
  return ScreenShotFolder(FCatalogue.GameDir);
}

void TScreenShotSet::FindScreenShots(std::string_view zipName) {
  FFiles.clear();
  // Both before the look: a screenshot folder made after it moves the emulator folder's stamp.
  const std::int64_t readNs = platform::NowNs();
  const auto stamp = platform::FolderStamp(FCatalogue.GameDir);
  if (stamp && FNoFolderAt == stamp) return;
  FNoFolderAt.reset();
  const std::string mask = std::string(zipName) + "*.jpg";
  // Resolved already: a folder missing under every letter case is not looked for again.
  const std::string folder = Folder();
  std::error_code missing;
  const bool listed = std::filesystem::is_directory(folder, missing) &&
                      platform::ForEachEntry(folder, mask, [&](const platform::TSearchRec& rec) {
                        FFiles.push_back(rec.Name);
                        return true;
                      });
  if (!listed && stamp && platform::StampVouches(*stamp, readNs)) FNoFolderAt = stamp;
  std::sort(FFiles.begin(), FFiles.end(), ScreenShotNameLess);
  FFiles.erase(std::unique(FFiles.begin(), FFiles.end()), FFiles.end());
}

TScreenShotView TScreenShotSet::LoadScreenShots() {
  TGameRecord* record = CurrentRecord();
  if (!record) {
    FFiles.clear();
    return {};
  }
  FindScreenShots(record->ZipName.view());
  if (record->CurrentSS > Count() - 1) record->CurrentSS = 0;
  return ShowScreenShot();
}

TScreenShotView TScreenShotSet::ShowScreenShot() {
  TGameRecord* record = CurrentRecord();
  if (!record || FFiles.empty()) return {};
  if (record->CurrentSS < 0 || record->CurrentSS > Count() - 1) record->CurrentSS = 0;
  const std::string& name = FFiles[static_cast<std::size_t>(record->CurrentSS)];
  const std::string path = platform::ResolvePath(platform::JoinPath(Folder(), name));
  // A pipe under the name is no picture, and reading it would wait for a writer.
  if (!platform::IsRegularFile(path)) return {};
  return {true, path, name};
}

std::optional<TScreenShotView> TScreenShotSet::NextScreenShot() {
  TGameRecord* record = CurrentRecord();
  if (!record) return std::nullopt;
  if (FFiles.empty()) {
    record->CurrentSS = 0;
    return std::nullopt;
  }
  if (record->CurrentSS < Count() - 1)
    ++record->CurrentSS;
  else
    record->CurrentSS = 0;
  return ShowScreenShot();
}

std::optional<TScreenShotView> TScreenShotSet::PrevScreenShot() {
  TGameRecord* record = CurrentRecord();
  if (!record) return std::nullopt;
  if (FFiles.empty())
    record->CurrentSS = 0;
  else if (record->CurrentSS > 0)
    --record->CurrentSS;
  else
    record->CurrentSS = Count() - 1;
  return ShowScreenShot();
}

namespace {

// Starts the slide show again on every way out when it was playing before the question.
class TResumeSlideShow {
 public:
  explicit TResumeSlideShow(TSlideShowControl& slideShow)
      : FSlideShow(slideShow), FWasPlaying(slideShow.SlideShowPlaying()) {}
  ~TResumeSlideShow() {
    if (FWasPlaying) FSlideShow.PlaySlideShow();
  }
  TResumeSlideShow(const TResumeSlideShow&) = delete;
  TResumeSlideShow& operator=(const TResumeSlideShow&) = delete;

 private:
  TSlideShowControl& FSlideShow;
  bool FWasPlaying;
};

}  // namespace

std::optional<TScreenShotView> TScreenShotSet::DeleteScreenShot(TUserInteraction& ui,
                                                                TSlideShowControl& slideShow) {
  TGameRecord* record = CurrentRecord();
  if (!record || FFiles.empty()) return std::nullopt;
  const TResumeSlideShow resume(slideShow);
  slideShow.PauseSlideShow();
  ui.Beep();
  if (ui.MessageDlg(std::string(DeleteScreenShotQuestion), TMsgDlgType::mtConfirmation,
                    mbYes | mbNo) != TModalResult::mrYes)
    return std::nullopt;
  // The set may have been re-read while the box was open (a nested slide-show step cannot do
  // that, but a selection change can); use it as it is now.
  record = CurrentRecord();
  if (!record || FFiles.empty()) return std::nullopt;
  if (record->CurrentSS < 0 || record->CurrentSS > Count() - 1) record->CurrentSS = 0;
  const std::string path =
      platform::JoinPath(Folder(), FFiles[static_cast<std::size_t>(record->CurrentSS)]);
  if (!platform::FileExists(path)) return std::nullopt;
  platform::DeleteFile(path);  // a file that will not go stays listed; nothing is reported
  return LoadScreenShots();
}

TScreenShotView TScreenShotSet::ResetAllScreenShots(std::int32_t index,
                                                    TSlideShowControl& slideShow) {
  slideShow.PauseSlideShow();
  for (std::size_t i = 1; i < FCatalogue.Games.size(); ++i) FCatalogue.Games[i].CurrentSS = index;
  return ShowScreenShot();
}
