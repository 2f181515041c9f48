#include "ui/SetScreenShotTimer.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>

#include "ui/DialogArt.h"
#include "ui/FontScale.h"
#include "ui/StartUtils.h"

std::int32_t TimerSeconds = 0;

namespace {
TSetScreenShotTimerForm* gInstance = nullptr;
}

TSetScreenShotTimerForm::TSetScreenShotTimerForm(QWidget* parent) : QDialog(parent) {
  if (!gInstance) gInstance = this;
  setObjectName(QStringLiteral("SetScreenShotTimerForm"));
  SetFixedDialogFlags(this);
  setWindowTitle(QStringLiteral("Screenshot Timer"));
  setFixedSize(263, 84);
  QFont f = font();
  SetCharacterHeight(f, 11);
  setFont(f);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(8, 8, 27, 28);
  Image1->setPixmap(ClockPicture());
  Image1->setAccessibleName(QStringLiteral("Clock"));

  TimerBar = new QSlider(Qt::Horizontal, this);
  TimerBar->setObjectName(QStringLiteral("TimerBar"));
  // 34 rather than 45 pixels high, so that the bar does not run under the buttons and its ticks
  // stay next to the groove.
  TimerBar->setGeometry(48, 8, 150, 34);
  TimerBar->setRange(1, 10);
  TimerBar->setSingleStep(1);
  TimerBar->setPageStep(1);
  TimerBar->setTickInterval(1);
  TimerBar->setTickPosition(QSlider::TicksAbove);
  TimerBar->setValue(10);
  TimerBar->setAccessibleName(QStringLiteral("Interval in seconds"));

  TimerLabel = new QLabel(QStringLiteral("10 Sec."), this);
  TimerLabel->setObjectName(QStringLiteral("TimerLabel"));
  QFont big = font();
  SetCharacterHeight(big, 16);
  TimerLabel->setFont(big);
  TimerLabel->move(208, 16);
  TimerLabel->resize(TimerLabel->fontMetrics().horizontalAdvance(QStringLiteral("10 Sec.")) + 4,
                     TimerLabel->sizeHint().height());

  OKButton1 = new QPushButton(QStringLiteral("OK"), this);
  OKButton1->setObjectName(QStringLiteral("OKButton1"));
  OKButton1->setGeometry(40, 48, 75, 25);
  CancelButton2 = new QPushButton(QStringLiteral("Cancel"), this);
  CancelButton2->setObjectName(QStringLiteral("CancelButton2"));
  CancelButton2->setGeometry(144, 48, 75, 25);

  connect(TimerBar, &QSlider::valueChanged, this, &TSetScreenShotTimerForm::TimerBarChange);
  connect(OKButton1, &QPushButton::clicked, this, &TSetScreenShotTimerForm::OKButton1Click);
  connect(CancelButton2, &QPushButton::clicked, this, &TSetScreenShotTimerForm::CancelButton2Click);
}

TSetScreenShotTimerForm::~TSetScreenShotTimerForm() {
  if (gInstance == this) gInstance = nullptr;
}

TSetScreenShotTimerForm* TSetScreenShotTimerForm::Instance() {
  return gInstance;
}

void TSetScreenShotTimerForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  CenterOnScreen(this);
  ScaleFonts(this);
  TimerBar->setValue(TimerSeconds);  // the bar clamps into 1 ... 10
}

void TSetScreenShotTimerForm::TimerBarChange() {
  TimerLabel->setText(QString::number(TimerBar->value()) + QStringLiteral(" Sec."));
}

void TSetScreenShotTimerForm::OKButton1Click() {
  TimerSeconds = TimerBar->value();
  accept();
}

void TSetScreenShotTimerForm::CancelButton2Click() {
  reject();
}

void ShowScreenShotTimerForm() {
  ExecKeptDialog<TSetScreenShotTimerForm>();
}
