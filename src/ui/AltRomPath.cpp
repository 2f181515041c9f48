#include "ui/AltRomPath.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include "platform/Files.h"
#include "platform/Text.h"
#include "ui/FontScale.h"
#include "ui/QtUserInteraction.h"
#include "ui/StartUtils.h"

std::string ZipRompathValue;

namespace {
TAltrompathForm* gInstance = nullptr;

QString PathText(const std::string& path) {
  return QString::fromStdString(DisplayText(path));
}
}  // namespace

TAltrompathForm::TAltrompathForm(QWidget* parent, TUserInteraction* ui)
    : QDialog(parent), FUserInteraction(ui ? ui : &QtUserInteraction()) {
  if (!gInstance) gInstance = this;
  setObjectName(QStringLiteral("AltrompathForm"));
  SetFixedDialogFlags(this);
  setWindowTitle(QStringLiteral("Zip Rompath"));
  setFixedSize(313, 102);
  QFont f = font();
  f.setPixelSize(11);
  setFont(f);

  LabelSetAlternativeRompath = new QLabel(QStringLiteral("Set path to your zipped roms:"), this);
  LabelSetAlternativeRompath->setObjectName(QStringLiteral("LabelSetAlternativeRompath"));
  LabelSetAlternativeRompath->move(8, 8);
  LabelSetAlternativeRompath->adjustSize();

  AltDir = new QLineEdit(this);
  AltDir->setObjectName(QStringLiteral("AltDir"));
  AltDir->setGeometry(8, 24, 209, 21);
  LabelSetAlternativeRompath->setBuddy(AltDir);

  BrowseButton = new QPushButton(QStringLiteral("Browse ..."), this);
  BrowseButton->setObjectName(QStringLiteral("BrowseButton"));
  BrowseButton->setGeometry(232, 24, 75, 25);
  BrowseButton->setAutoDefault(false);

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry(64, 64, 75, 25);
  OKButton->setDefault(true);

  CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->setGeometry(176, 64, 75, 25);
  CancelButton->setAutoDefault(false);

  Browser = new TBrowseFolder(this);
  Browser->setObjectName(QStringLiteral("Browser"));
  Browser->Title = QStringLiteral("Select alternative rompath");
  Browser->Flags = bfFileSysDirsOnly | bfStatusText;
  Browser->ShowPathInStatusArea = true;
  Browser->SetCustomButtonEnabled(false);
  Browser->SyncCustomButton = false;

  connect(OKButton, &QPushButton::clicked, this, &TAltrompathForm::OKButtonClick);
  connect(BrowseButton, &QPushButton::clicked, this, &TAltrompathForm::BrowseButtonClick);
  connect(CancelButton, &QPushButton::clicked, this, &TAltrompathForm::CancelButtonClick);
}

TAltrompathForm::~TAltrompathForm() {
  if (gInstance == this) gInstance = nullptr;
}

TAltrompathForm* TAltrompathForm::Instance() {
  return gInstance;
}

std::string TAltrompathForm::AltDirPath() const {
  const QString text = AltDir->text();
  if (text == PathText(FShownPath)) return FShownPath;
  return QFile::encodeName(text).toStdString();
}

void TAltrompathForm::SetAltDirPath(const std::string& path) {
  FShownPath = path;
  AltDir->setText(PathText(path));
}

void TAltrompathForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) {
    CenterOnScreen(this);
    FormShow();
  }
}

void TAltrompathForm::FormShow() {
  ScaleFonts(this);
  SetAltDirPath(ZipRompathValue);
  AltDir->setFocus();
}

void TAltrompathForm::OKButtonClick() {
  std::string path = AltDirPath();
  if (path.empty()) {  // the working directory
    ZipRompathValue.clear();
    accept();
    return;
  }
  if (HasControlCharacter(path) || !platform::DirectoryExists(path)) {
    FUserInteraction->Beep();
    FUserInteraction->MessageDlg(path + "\ris NOT a vallid directory !", TMsgDlgType::mtError,
                                 mbOK);
    return;
  }
  if (path.back() != platform::PathDelim) {
    path += platform::PathDelim;
    SetAltDirPath(path);
  }
  // Any regular file among the matches will do; the listing's order is the file system's.
  bool hasZip = false;
  platform::ForEachEntry(path, "*.zip", [&](const platform::TSearchRec& entry) {
    if (!entry.IsDirectory) hasZip = true;
    return !hasZip;
  });
  if (hasZip) {
    ZipRompathValue = path;
    accept();
    return;
  }
  FUserInteraction->Beep();
  FUserInteraction->MessageDlg(path + "\rdoes not contain any zipfiles!", TMsgDlgType::mtError,
                               mbOK);
}

void TAltrompathForm::BrowseButtonClick() {
  Browser->Directory = AltDirPath();
  Browser->Execute();
  SetAltDirPath(Browser->Directory);
}

void TAltrompathForm::CancelButtonClick() {
  reject();
}

std::string EditZipRompath(const std::string& path) {
  ZipRompathValue = path;
  ExecKeptDialog<TAltrompathForm>();
  return ZipRompathValue;
}
