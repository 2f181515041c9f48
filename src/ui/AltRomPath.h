#pragma once

#include <QDialog>
#include <string>

#include "ui/BrowseFolder.h"

class QLabel;
class QLineEdit;
class QPushButton;
class TUserInteraction;

/// Carries the zip ROM path into the dialog and the accepted path out of it.
extern std::string ZipRompathValue;

/// The dialog that sets the directory holding the zipped ROM sets; it accepts only an empty path
/// or a directory with a zip archive, which then ends in the separator.
class TAltrompathForm : public QDialog {
  Q_OBJECT

 public:
  /// ui answers the refusals; the program's message boxes when null.
  explicit TAltrompathForm(QWidget* parent = nullptr, TUserInteraction* ui = nullptr);
  ~TAltrompathForm() override;

  /// The form the program created at start-up, if any.
  static TAltrompathForm* Instance();

  QLabel* LabelSetAlternativeRompath;
  QLineEdit* AltDir;
  QPushButton* BrowseButton;
  QPushButton* OKButton;
  QPushButton* CancelButton;
  TBrowseFolder* Browser;

  /// The field's text as a path: the bytes it was shown from when it is unchanged.
  std::string AltDirPath() const;
  void SetAltDirPath(const std::string& path);

 public slots:
  void OKButtonClick();
  void BrowseButtonClick();
  void CancelButtonClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();

  TUserInteraction* FUserInteraction;
  std::string FShownPath;  // bytes behind the field's text, so a non-UTF-8 path survives
};

/// Shows the dialog modally with path and returns the path it leaves: unchanged when cancelled.
std::string EditZipRompath(const std::string& path);
