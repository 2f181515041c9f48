#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include "DialogTestUtil.h"
#include "ui/SetScreenShotTimer.h"

namespace {
QSlider* Bar(QWidget* dialog) {
  return dialog->findChild<QSlider*>(QStringLiteral("TimerBar"));
}
QString LabelText(QWidget* dialog) {
  return dialog->findChild<QLabel*>(QStringLiteral("TimerLabel"))->text();
}
}  // namespace

class ScreenShotTimerTest : public QObject {
  Q_OBJECT

 private slots:
  void LayoutAndStart() {
    TSetScreenShotTimerForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Screenshot Timer"));
    QCOMPARE(form.size(), QSize(263, 84));
    QCOMPARE(form.Image1->geometry(), QRect(8, 8, 27, 28));
    QVERIFY(!form.Image1->pixmap().isNull());
    QCOMPARE(form.TimerBar->geometry(), QRect(48, 8, 150, 34));
    QCOMPARE(form.TimerBar->minimum(), 1);
    QCOMPARE(form.TimerBar->maximum(), 10);
    QCOMPARE(form.TimerBar->tickInterval(), 1);
    QCOMPARE(form.TimerBar->tickPosition(), QSlider::TicksAbove);
    QCOMPARE(form.TimerBar->value(), 10);
    QCOMPARE(form.TimerLabel->text(), QStringLiteral("10 Sec."));
    QCOMPARE(form.TimerLabel->pos(), QPoint(208, 16));
    QCOMPARE(QFontInfo(form.TimerLabel->font()).pixelSize(), 16);
    QCOMPARE(form.OKButton1->geometry(), QRect(40, 48, 75, 25));
    QCOMPARE(form.CancelButton2->geometry(), QRect(144, 48, 75, 25));
    QCOMPARE(form.CancelButton2->text(), QStringLiteral("Cancel"));
  }

  void OkStoresThePosition() {
    TSetScreenShotTimerForm form;
    TimerSeconds = 2;
    QString shown;
    WhenModal([&](QWidget* dialog) {
      QCOMPARE(Bar(dialog)->value(), 2);
      shown = LabelText(dialog);
      Bar(dialog)->setValue(7);
      QCOMPARE(LabelText(dialog), QStringLiteral("7 Sec."));
      dialog->findChild<QPushButton*>(QStringLiteral("OKButton1"))->click();
    });
    ShowScreenShotTimerForm();
    QCOMPARE(shown, QStringLiteral("2 Sec."));
    QCOMPARE(TimerSeconds, 7);
  }

  void CancelEscapeAndCloseKeepTheValue() {
    TSetScreenShotTimerForm form;
    TimerSeconds = 2;
    WhenModal([](QWidget* dialog) {
      Bar(dialog)->setValue(7);
      dialog->findChild<QPushButton*>(QStringLiteral("CancelButton2"))->click();
    });
    ShowScreenShotTimerForm();
    QCOMPARE(TimerSeconds, 2);
    WhenModal([](QWidget* dialog) {
      Bar(dialog)->setValue(5);
      dialog->close();
    });
    ShowScreenShotTimerForm();
    QCOMPARE(TimerSeconds, 2);
    WhenModal([](QWidget* dialog) {
      Bar(dialog)->setValue(4);
      QTest::keyClick(dialog, Qt::Key_Escape);
    });
    ShowScreenShotTimerForm();
    QCOMPARE(TimerSeconds, 2);
  }

  void OutOfRangeIntervalsAreClamped() {
    TSetScreenShotTimerForm form;
    // Longer than the bar: shows 10, Cancel keeps the long interval, OK sets 10.
    TimerSeconds = 30;
    QString shown;
    WhenModal([&](QWidget* dialog) {
      QCOMPARE(Bar(dialog)->value(), 10);
      shown = LabelText(dialog);
      dialog->findChild<QPushButton*>(QStringLiteral("CancelButton2"))->click();
    });
    ShowScreenShotTimerForm();
    QCOMPARE(shown, QStringLiteral("10 Sec."));
    QCOMPARE(TimerSeconds, 30);
    WhenModal([](QWidget* dialog) {
      dialog->findChild<QPushButton*>(QStringLiteral("OKButton1"))->click();
    });
    ShowScreenShotTimerForm();
    QCOMPARE(TimerSeconds, 10);
    // An interval of 0 shows as 1; the label follows the clamped position.
    TimerSeconds = 0;
    WhenModal([&](QWidget* dialog) {
      shown = LabelText(dialog);
      dialog->findChild<QPushButton*>(QStringLiteral("OKButton1"))->click();
    });
    ShowScreenShotTimerForm();
    QCOMPARE(shown, QStringLiteral("1 Sec."));
    QCOMPARE(TimerSeconds, 1);
    // The keyboard moves the bar within the range only.
    TimerSeconds = 10;
    WhenModal([](QWidget* dialog) {
      Bar(dialog)->setFocus();
      QTest::keyClick(Bar(dialog), Qt::Key_Right);
      QCOMPARE(Bar(dialog)->value(), 10);
      QTest::keyClick(Bar(dialog), Qt::Key_Left);
      dialog->findChild<QPushButton*>(QStringLiteral("OKButton1"))->click();
    });
    ShowScreenShotTimerForm();
    QCOMPARE(TimerSeconds, 9);
  }
};

QTEST_MAIN(ScreenShotTimerTest)
#include "ScreenShotTimerTest.moc"
