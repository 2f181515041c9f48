#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/Catalogue.h"
#include "platform/Unchanged.h"
#include "platform/UserInteraction.h"

// A game's screenshot set and the steps through it. Everything works on the catalogue's current
// game; the window carries out the views these routines decide on.

/// The folder below GameDir that holds every game's screenshots.
inline constexpr std::string_view ScreenShotFolderName = "ScreenShots";

/// Text of the error box shown when a listed picture cannot be read.
inline constexpr std::string_view JpegReadErrorText = "Error reading jpg-image!";

/// Text of the deletion question (a carriage return breaks the line).
inline constexpr std::string_view DeleteScreenShotQuestion =
    "Are you sure you want to delete\rthe current Screenshot ?";

/// The screenshot folder below gameDir as it exists on disk, in whatever letter case; where it
/// would be created when it does not exist. An empty gameDir means the working directory.
std::string ScreenShotFolder(const std::string& gameDir);

/// What the Screenshot tab shows next. The window carries it out:
/// - HasPicture: load Path (DecodeJpegFile); on success hand the picture to SSImage, hide
///   NoShotImage and show SSPanel; on failure call ReportJpegReadError and leave SSImage and both
///   views as they are. Either way then place the picture (PlaceScreenShot) and set SSShowName's
///   caption to Name.
/// - otherwise the no-screenshot view: clear SSImage, show NoShotImage, hide SSPanel, and an
///   empty SSShowName caption.
struct TScreenShotView {
  bool HasPicture = false;
  std::string Path;  ///< full path of the picture to load
  std::string Name;  ///< caption of SSShowName: the file name, or empty

  friend bool operator==(const TScreenShotView&, const TScreenShotView&) = default;
};

/// The beep and the error box "Error reading jpg-image!" with the single button "OK".
void ReportJpegReadError(TUserInteraction& ui);

/// The slide show as the window runs it (the Play and Pause tool buttons with SSTimer).
class TSlideShowControl {
 public:
  virtual ~TSlideShowControl() = default;
  /// True while the slide show plays (SToolPlay is down).
  virtual bool SlideShowPlaying() const = 0;
  /// Exactly what a click on "Pause" does.
  virtual void PauseSlideShow() = 0;
  /// Exactly what a click on "Play" does.
  virtual void PlaySlideShow() = 0;
};

/// ScreenShotFiles with the operations on it: the sorted names (without folder) of the current
/// game's screenshots and the game's index CurrentSS into them. The main window owns one.
///
/// With no current game (CurrentGame -1, or an index outside Games) no record is read or written:
/// LoadScreenShots empties the set and shows the no-screenshot view; Next, Prev and Delete change
/// nothing. Wherever the index is used as a position it is first set to 0 when it lies outside
/// 0 … count − 1.
class TScreenShotSet {
 public:
  explicit TScreenShotSet(TCatalogue& catalogue);

  /// The names in order (CompareScreenShotNames), each once.
  const std::vector<std::string>& Files() const { return FFiles; }
  int Count() const { return static_cast<int>(FFiles.size()); }

  /// Replaces the set by the entries of the screenshot folder matching `<zipName>*.jpg`, letter
  /// case ignored, entries of every kind. A missing folder is an empty set.
  void FindScreenShots(std::string_view zipName);

  /// Re-reads the current game's set and shows its current picture; an index past the end
  /// becomes 0. For a selection change, after a run, after a deletion.
  TScreenShotView LoadScreenShots();

  /// The current picture, or the no-screenshot view for an empty set or a file that has gone.
  TScreenShotView ShowScreenShot();

  /// One step forward with wrap-around. Nothing (the screen stays) for an empty set or no game.
  std::optional<TScreenShotView> NextScreenShot();

  /// One step back with wrap-around to the last picture. Nothing with no current game.
  std::optional<TScreenShotView> PrevScreenShot();

  /// Asks (beep, confirmation box with "Yes" and "No") and deletes the current picture's file,
  /// pausing the slide show while asking and resuming it afterwards if it was playing. Returns
  /// the view to show when the set was re-read, nothing when the screen stays as it is (empty set,
  /// no game, "No", or the file already gone). A file that cannot be deleted is not reported.
  std::optional<TScreenShotView> DeleteScreenShot(TUserInteraction& ui,
                                                  TSlideShowControl& slideShow);

  /// Stops the slide show (it stays stopped), sets CurrentSS of every game record (entry 0, the
  /// default settings, left alone) to index, and shows the current game's picture.
  TScreenShotView ResetAllScreenShots(std::int32_t index, TSlideShowControl& slideShow);

 private:
  TGameRecord* CurrentRecord();
  std::string Folder() const;

  TCatalogue& FCatalogue;
  std::vector<std::string> FFiles;
  /// The emulator folder's stamp when the screenshot folder was last found missing, where the
  /// stamp vouches for it. Looking for it under another letter case reads the whole emulator
  /// folder, which may hold tens of thousands of game folders; while the folder keeps that stamp,
  /// the answer stays the same.
  std::optional<platform::TDirStamp> FNoFolderAt;
};
