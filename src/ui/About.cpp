#include "ui/About.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include "platform/Text.h"
#include "ui/DialogArt.h"
#include "ui/FontScale.h"
#include "ui/LumoraURLLabel.h"
#include "ui/StartUtils.h"

std::string AboutVersion;

namespace {
TAboutBox* gInstance = nullptr;

QLabel* PlainLabel(QWidget* parent, const char* name, const QString& text, int x, int y) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->setTextFormat(Qt::PlainText);
  label->move(x, y);
  label->adjustSize();
  return label;
}

TLumoraURLLabel* LinkLabel(QWidget* parent, const char* name, const QString& text,
                           const QString& url, TCustomCursor cursor, int x, int y) {
  auto* label = new TLumoraURLLabel(parent);
  label->setObjectName(QLatin1String(name));
  QFont f = label->font();
  SetCharacterHeight(f, 11);
  f.setUnderline(true);
  label->setFont(f);
  label->setText(text);
  label->setTextFormat(Qt::PlainText);
  label->Url = url;
  label->ColorMouseOver = QColor(255, 0, 0);
  label->ColorActive = QColor(128, 0, 128);
  label->SetPopupString(QStringLiteral("Copy Link Location"));
  label->SetCursorMouseOver(cursor);
  label->setToolTip(url);
  label->move(x, y);
  label->adjustSize();
  return label;
}
}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  if (!gInstance) gInstance = this;
  setObjectName(QStringLiteral("AboutBox"));
  SetFixedDialogFlags(this);
  setWindowTitle(QStringLiteral("About StartVELK"));
  setFixedSize(229, 229);
  QFont f = font();
  SetCharacterHeight(f, 11);
  setFont(f);

  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameShape(QFrame::Box);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setGeometry(8, 8, 216, 177);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(65, 16, 99, 43);
  Image1->setAlignment(Qt::AlignCenter);
  Image1->setAccessibleName(QStringLiteral("StartVELK logo"));

  versionlabel = new QLabel(QStringLiteral("0.9.1"), this);
  versionlabel->setObjectName(QStringLiteral("versionlabel"));
  versionlabel->setTextFormat(Qt::PlainText);
  versionlabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  versionlabel->setGeometry(16, 58, 201, versionlabel->sizeHint().height());

  Label1 = PlainLabel(this, "Label1", QStringLiteral("by"), 80, 72);
  FrontendAuthorLabel = LinkLabel(this, "FrontendAuthorLabel", QStringLiteral("SV Team"),
                                  QStringLiteral("mailto:startvelk@example.org?subject=StartVELK"),
                                  crMozilla, 96, 72);
  FrontendAuthorLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

  Label2 = new QLabel(QStringLiteral("is a freeware frontend for"), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  QFont f2 = font();
  SetCharacterHeight(f2, 13);
  Label2->setFont(f2);
  QPalette blue = Label2->palette();
  blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
  Label2->setPalette(blue);
  Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label2->setGeometry(16, 88, 201, Label2->sizeHint().height());

  Image2 = new QLabel(this);
  Image2->setObjectName(QStringLiteral("Image2"));
  Image2->setGeometry(65, 110, 99, 47);
  Image2->setAlignment(Qt::AlignCenter);
  Image2->setAccessibleName(QStringLiteral("VELK logo"));

  Label4 = PlainLabel(this, "Label4", QStringLiteral("by"), 24, 160);
  EmuAuthorLabel = LinkLabel(this, "EmuAuthorLabel", QStringLiteral("VELK Core"),
                             QStringLiteral("mailto:core@velk.example.org"), crMSIE, 40, 160);
  Label3 = PlainLabel(this, "Label3", QStringLiteral("&"), 120, 160);
  LumoraURLLabel1 = LinkLabel(this, "LumoraURLLabel1", QStringLiteral("VELK Drivers"),
                              QStringLiteral("mailto:drivers@velk.example.org"), crMSIE, 136, 160);

  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setObjectName(QStringLiteral("OKBtn"));
  OKBtn->setGeometry(65, 192, 100, 33);
  OKBtn->setDefault(true);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
}

TAboutBox::~TAboutBox() {
  if (gInstance == this) gInstance = nullptr;
}

TAboutBox* TAboutBox::Instance() {
  return gInstance;
}

void TAboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The logos are painted when the box is first shown: it is made at every start, where painting
  // their lettering was a good part of the time before the main window appeared.
  if (Image1->pixmap().isNull()) Image1->setPixmap(FrontendLogo());
  if (Image2->pixmap().isNull()) Image2->setPixmap(EmulatorLogo());
  if (event->spontaneous()) return;
  CenterOnScreen(this);
  ScaleFonts(this);
  // Enter closes the box as before; Tab goes on to the links.
  OKBtn->setFocus(Qt::OtherFocusReason);
  versionlabel->setText(QString::fromStdString(DisplayText(AboutVersion)));
}

void ShowAbout(const std::string& version) {
  AboutVersion = version;
  ExecKeptDialog<TAboutBox>();
}
