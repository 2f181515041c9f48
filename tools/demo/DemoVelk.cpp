// A stand-in emulator for trying StartVELK without the real one: it shows the game and options it
// was started with, copies a picture of itself to the clipboard on a key press, prints its
// arguments and ends on Escape.
//
// With --copy-once as its first argument (for scripted runs) it copies one picture as soon as it
// is shown and ends when another program takes the clipboard over, or after half a minute.

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <cmath>
#include <cstdio>

namespace {

QString Describe(const QString& option) {
  if (option == "-v") return "vertical sync on";
  if (option == "-n") return "scan lines off";
  if (option.startsWith("-d"))
    return "screen mode " + (option.size() > 2 ? option.mid(2) : "(empty)");
  if (option == "-r") return "screen rotated";
  if (option == "-s") return "sound off";
  if (option == "-a") return "alternative FM base";
  if (option == "-j") return "joystick";
  if (option == "-f") return "frame skip";
  return "unknown option";
}

class TDemoScreen : public QWidget {
 public:
  explicit TDemoScreen(QStringList args, bool copyOnce) : FArgs(std::move(args)) {
    setWindowTitle("VELK demo - " + (FArgs.isEmpty() ? QString("no game") : FArgs.front()));
    resize(512, 384);
    connect(&FTick, &QTimer::timeout, this, [this] {
      ++FFrame;
      update();
    });
    FTick.start(30);
    if (copyOnce) {
      QTimer::singleShot(200, this, [this] {
        CopyPicture();
        // The clipboard is served by this program: it stays until someone else owns it.
        connect(QApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
          if (!QApplication::clipboard()->ownsClipboard()) close();
        });
      });
      QTimer::singleShot(30000, this, &QWidget::close);
    }
  }

  void CopyPicture() {
    // Counted first, so the picture shows itself among the copies.
    ++FCopies;
    QApplication::clipboard()->setImage(grab().toImage());
    std::printf("picture %d copied to the clipboard\n", FCopies);
    std::fflush(stdout);
    update();
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape) {
      close();
    } else if (event->key() == Qt::Key_Space || event->key() == Qt::Key_C ||
               event->key() == Qt::Key_F12) {
      CopyPicture();
    } else {
      QWidget::keyPressEvent(event);
    }
  }

  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height());
    sky.setColorAt(0, QColor(12, 10, 40));
    sky.setColorAt(1, QColor(60, 20, 90));
    p.fillRect(rect(), sky);
    // A few drifting stars and a bouncing ship, so every capture differs.
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 40; ++i) {
      const int x = (i * 97 + FFrame * (1 + i % 3)) % qMax(1, width());
      const int y = (i * 53) % qMax(1, height());
      p.setBrush(QColor(200, 200, 255, 120 + (i * 7) % 120));
      p.drawEllipse(QPointF(x, y), 1.5, 1.5);
    }
    const double t = FFrame / 20.0;
    const QPointF ship(width() / 2 + std::sin(t) * width() / 3,
                       height() * 0.62 + std::cos(t * 1.7) * 30);
    p.setBrush(QColor(255, 190, 40));
    p.drawPolygon(
        QPolygonF({ship + QPointF(0, -18), ship + QPointF(14, 12), ship + QPointF(-14, 12)}));

    p.setPen(Qt::white);
    QFont big = font();
    big.setPointSize(22);
    big.setBold(true);
    p.setFont(big);
    p.drawText(QRect(0, 16, width(), 40), Qt::AlignCenter,
               FArgs.isEmpty() ? QString("No game given") : FArgs.front());
    QFont small = font();
    small.setPointSize(10);
    p.setFont(small);
    int y = 70;
    for (int i = 1; i < FArgs.size(); ++i, y += 18)
      p.drawText(24, y, FArgs[i] + "  " + Describe(FArgs[i]));
    if (FArgs.size() <= 1) p.drawText(24, y, "no options");
    p.setPen(QColor(220, 220, 160));
    p.drawText(
        QRect(0, height() - 30, width(), 24), Qt::AlignCenter,
        QString("Space: copy a screenshot to the clipboard (%1 so far)   Esc: quit").arg(FCopies));
  }

 private:
  QStringList FArgs;
  QTimer FTick;
  int FFrame = 0;
  int FCopies = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  const bool copyOnce = !args.isEmpty() && args.front() == "--copy-once";
  if (copyOnce) args.removeFirst();
  std::printf("VELK demo started with %lld argument(s):", static_cast<long long>(args.size()));
  for (const QString& a : args) std::printf(" %s", a.toLocal8Bit().constData());
  std::printf("\n");
  std::fflush(stdout);
  TDemoScreen screen(args, copyOnce);
  screen.show();
  return app.exec();
}
