#pragma once

#include <QDialog>
#include <cstdint>

class QLabel;
class QPushButton;
class QSlider;

/// The slide-show interval in whole seconds, handed to the interval dialog and taken back.
extern std::int32_t TimerSeconds;

/// The dialog that sets the slide-show interval, 1 to 10 seconds.
class TSetScreenShotTimerForm : public QDialog {
  Q_OBJECT

 public:
  explicit TSetScreenShotTimerForm(QWidget* parent = nullptr);
  ~TSetScreenShotTimerForm() override;

  /// The form the program created at start-up, if any.
  static TSetScreenShotTimerForm* Instance();

  QLabel* Image1;
  QSlider* TimerBar;
  QLabel* TimerLabel;
  QPushButton* OKButton1;
  QPushButton* CancelButton2;

 public slots:
  void TimerBarChange();
  void OKButton1Click();
  void CancelButton2Click();

 protected:
  void showEvent(QShowEvent* event) override;
};

/// Shows the interval dialog modally (the start-up instance, else a new one); TimerSeconds holds
/// the result.
void ShowScreenShotTimerForm();
