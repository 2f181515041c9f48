#include "MainArtwork.h"

#include <QApplication>
#include <QFont>
#include <QIconEngine>
#include <QLinearGradient>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <array>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace artwork {
namespace {

const QColor kPaleYellow(255, 242, 160);
const QColor kOutline(90, 70, 20);

QImage PaintStartButton(bool greyed, qreal ratio);
QImage TakeStartButton(bool greyed, qreal ratio);
// The sides, in device pixels, at which the program icon is offered to the window manager.
constexpr std::array<int, 5> kProgramIconSides{16, 32, 48, 64, 128};
QImage ProgramIconImage(int side);

// A transparent canvas of w × h device-independent pixels with ratio device pixels to each.
QPixmap Transparent(int w, int h, qreal ratio = 1) {
  QPixmap p(QSize(qRound(w * ratio), qRound(h * ratio)));
  p.setDevicePixelRatio(ratio);
  p.fill(Qt::transparent);
  return p;
}

// The cabinet: a tall box with a screen and a control deck, used by the icon and the placeholder.
void PaintCabinet(QPainter& p, const QRectF& r) {
  const qreal w = r.width(), h = r.height();
  QPainterPath body;
  body.moveTo(r.left() + w * 0.18, r.top());
  body.lineTo(r.right() - w * 0.18, r.top());
  body.lineTo(r.right() - w * 0.10, r.top() + h * 0.55);
  body.lineTo(r.right() - w * 0.18, r.bottom());
  body.lineTo(r.left() + w * 0.18, r.bottom());
  body.lineTo(r.left() + w * 0.10, r.top() + h * 0.55);
  body.closeSubpath();
  QLinearGradient g(r.topLeft(), r.topRight());
  g.setColorAt(0, QColor(150, 20, 40));
  g.setColorAt(1, QColor(220, 50, 60));
  p.setPen(QPen(QColor(60, 0, 10), qMax<qreal>(1, w / 32)));
  p.setBrush(g);
  p.drawPath(body);
  const QRectF screen(r.left() + w * 0.26, r.top() + h * 0.12, w * 0.48, h * 0.34);
  p.setBrush(QColor(20, 30, 60));
  p.drawRoundedRect(screen, w * 0.04, w * 0.04);
  p.setPen(Qt::NoPen);
  p.setBrush(kPaleYellow);
  p.drawEllipse(QPointF(screen.center().x(), screen.center().y()), w * 0.07, w * 0.07);
  p.setBrush(QColor(40, 40, 40));
  p.drawRect(QRectF(r.left() + w * 0.20, r.top() + h * 0.56, w * 0.60, h * 0.10));
  p.setBrush(QColor(250, 210, 40));
  p.drawEllipse(QPointF(r.left() + w * 0.36, r.top() + h * 0.61), w * 0.05, w * 0.05);
  p.setBrush(QColor(60, 160, 255));
  p.drawEllipse(QPointF(r.left() + w * 0.62, r.top() + h * 0.61), w * 0.05, w * 0.05);
}

// An icon painted when a size of it is first asked for, not when it is made: most of the
// program's icons sit in closed menus or are needed at one screen ratio of several, and painting
// them all up front was a good part of the window's start.
class TPaintedIconEngine : public QIconEngine {
 public:
  // The picture in a size of device pixels, in a mode; logical is its natural size.
  using TPaint = std::function<QPixmap(QSize, QIcon::Mode)>;
  // sizes are those the icon offers where all of them are asked for at once (a window's icon
  // for the window manager); by default its logical size.
  TPaintedIconEngine(TPaint paint, QSize logical, QList<QSize> sizes = {})
      : FPaint(std::move(paint)),
        FLogical(logical),
        FSizes(sizes.isEmpty() ? QList<QSize>{logical} : std::move(sizes)) {}

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
    if (size.isEmpty()) return {};
    for (const TPainted& painted : FPainted)
      if (painted.Mode == mode && painted.Picture.size() == size) return painted.Picture;
    QPixmap picture = FPaint(size, mode);
    FPainted.push_back({mode, picture});
    return picture;
  }
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1;
    QPixmap picture = pixmap(QSize(qRound(rect.width() * ratio), qRound(rect.height() * ratio)),
                             mode, state);
    picture.setDevicePixelRatio(ratio);
    painter->drawPixmap(rect, picture);
  }
  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    return FLogical.scaled(size, Qt::KeepAspectRatio);
  }
  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return FSizes; }
  bool isNull() override { return false; }
  QString key() const override { return QStringLiteral("StartVELKPainted"); }
  QIconEngine* clone() const override { return new TPaintedIconEngine(*this); }

 private:
  struct TPainted {
    QIcon::Mode Mode;
    QPixmap Picture;
  };
  TPaint FPaint;
  QSize FLogical;
  QList<QSize> FSizes;
  std::vector<TPainted> FPainted;  // a handful at most: the sizes and modes shown
};

QIcon PaintedIcon(TPaintedIconEngine::TPaint paint, QSize logical, QList<QSize> sizes = {}) {
  return QIcon(new TPaintedIconEngine(std::move(paint), logical, std::move(sizes)));
}

// The look of a picture in a mode other than the normal one, as the style makes it.
QPixmap InMode(const QPixmap& normal, QIcon::Mode mode) {
  if (mode == QIcon::Normal || !QApplication::style()) return normal;
  QStyleOption option;
  option.palette = QApplication::palette();
  return QApplication::style()->generatedIconPixmap(mode, normal, &option);
}

// A 16 × 16 drawing, scaled to whatever size is asked for.
QIcon IconFrom(std::function<void(QPainter&)> paint) {
  return PaintedIcon(
      [paint = std::move(paint)](QSize size, QIcon::Mode mode) {
        QPixmap p(size);
        p.fill(Qt::transparent);
        QPainter painter(&p);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size.width() / 16.0, size.height() / 16.0);
        paint(painter);
        painter.end();
        return InMode(p, mode);
      },
      QSize(16, 16));
}

// A picture of a fixed logical size drawn at a ratio of device pixels: the ratio follows from the
// size asked for.
QIcon IconAtRatios(std::function<QPixmap(qreal ratio, QIcon::Mode)> picture, QSize logical) {
  return PaintedIcon(
      [picture = std::move(picture), logical](QSize size, QIcon::Mode mode) {
        const qreal ratio = qMax<qreal>(
            0.25, qMin(size.width() / qreal(logical.width()), size.height() / qreal(logical.height())));
        QPixmap p = picture(ratio, mode);
        p.setDevicePixelRatio(1);
        return p.size() == size ? p : p.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
      },
      logical);
}

}  // namespace

QIcon ProgramIcon() {
  QList<QSize> sizes;
  for (const int side : kProgramIconSides) sizes.push_back(QSize(side, side));
  return PaintedIcon(
      [](QSize size, QIcon::Mode mode) {
        return InMode(QPixmap::fromImage(ProgramIconImage(std::min(size.width(), size.height()))),
                      mode);
      },
      QSize(16, 16), std::move(sizes));
}

QIcon StartButtonIcon() {
  return IconAtRatios(
      [](qreal ratio, QIcon::Mode mode) {
        return StartButtonPicture(mode == QIcon::Disabled, ratio);
      },
      QSize(64, 28));
}

QPixmap StartButtonPicture(bool greyed, qreal ratio) {
  return QPixmap::fromImage(TakeStartButton(greyed, ratio));
}

QIcon ControlIcon(int index) {
  return IconAtRatios(
      [index](qreal ratio, QIcon::Mode mode) { return InMode(ControlImage(index, ratio), mode); },
      QSize(28, 28));
}

QPixmap ControlImage(int index, qreal ratio) {
  QPixmap p = Transparent(28, 28, ratio);
  QPainter painter(&p);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(kOutline, 1.2));
  painter.setBrush(kPaleYellow);
  switch (index) {
    case 0:  // play
      painter.drawPolygon(QPolygonF({QPointF(8, 5), QPointF(22, 14), QPointF(8, 23)}));
      break;
    case 1:  // pause
      painter.drawRect(QRectF(7, 5, 5, 18));
      painter.drawRect(QRectF(16, 5, 5, 18));
      break;
    case 2:  // previous
      painter.drawRect(QRectF(5, 6, 4, 16));
      painter.drawPolygon(QPolygonF({QPointF(23, 6), QPointF(10, 14), QPointF(23, 22)}));
      break;
    case 3:  // next
      painter.drawPolygon(QPolygonF({QPointF(5, 6), QPointF(18, 14), QPointF(5, 22)}));
      painter.drawRect(QRectF(19, 6, 4, 16));
      break;
    case 4: {  // clock
      painter.drawEllipse(QRectF(4, 4, 20, 20));
      painter.setPen(QPen(kOutline, 2, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(QPointF(14, 14), QPointF(14, 7));
      painter.drawLine(QPointF(14, 14), QPointF(19, 16));
      break;
    }
    case 5: {  // skull and crossbones
      painter.setPen(QPen(kPaleYellow, 3, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(QPointF(5, 18), QPointF(23, 25));
      painter.drawLine(QPointF(23, 18), QPointF(5, 25));
      painter.setPen(QPen(kOutline, 1.2));
      painter.drawEllipse(QRectF(7, 2, 14, 13));
      painter.drawRect(QRectF(10, 13, 8, 5));
      painter.setBrush(kOutline);
      painter.drawEllipse(QRectF(9.5, 6, 3.5, 3.5));
      painter.drawEllipse(QRectF(15, 6, 3.5, 3.5));
      break;
    }
    default: {  // bent arrow pointing down and right
      QPainterPath path;
      path.moveTo(6, 4);
      path.lineTo(10, 4);
      path.lineTo(10, 16);
      path.lineTo(17, 16);
      path.lineTo(17, 11);
      path.lineTo(24, 18);
      path.lineTo(17, 25);
      path.lineTo(17, 20);
      path.lineTo(6, 20);
      path.closeSubpath();
      painter.drawPath(path);
      break;
    }
  }
  return p;
}

QIcon DocumentIcon() {
  return IconFrom([](QPainter& p) {
    p.setPen(QPen(QColor(70, 70, 90), 0.8));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF(
        {QPointF(3, 1), QPointF(10, 1), QPointF(13, 4), QPointF(13, 15), QPointF(3, 15)}));
    for (int y = 6; y <= 12; y += 2) p.drawLine(QPointF(5, y), QPointF(11, y));
  });
}

QIcon WebIcon() {
  return IconFrom([](QPainter& p) {
    p.setPen(QPen(QColor(20, 60, 130), 0.9));
    p.setBrush(QColor(120, 180, 240));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(5, 1.5, 6, 13));
    p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
    p.drawLine(QPointF(8, 1.5), QPointF(8, 14.5));
  });
}

QIcon ArchiveIcon() {
  return IconFrom([](QPainter& p) {
    p.setPen(QPen(QColor(90, 60, 20), 0.9));
    p.setBrush(QColor(220, 170, 90));
    p.drawRect(QRectF(2, 5, 12, 9));
    p.drawRect(QRectF(1, 2, 14, 3));
    p.drawLine(QPointF(6, 8), QPointF(10, 8));
  });
}

QIcon AboutIcon() {
  return IconFrom([](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 90, 200));
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(7, 3.5, 2, 2));
    p.drawRect(QRectF(7, 6.5, 2, 6));
  });
}

QIcon DeleteIcon() {
  return IconFrom([](QPainter& p) {
    p.setPen(QPen(QColor(180, 20, 20), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
  });
}

QIcon ClearIcon() {
  return IconFrom([](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(150, 150, 150));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
    p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
  });
}

namespace {

QImage PaintNoShotPicture(qreal ratio);

// On any thread: only an image, no pixmap, is painted.
QImage PaintStartButton(bool greyed, qreal ratio) {
  QImage p(QSize(qRound(64 * ratio), qRound(28 * ratio)), QImage::Format_ARGB32_Premultiplied);
  p.setDevicePixelRatio(ratio);
  p.fill(Qt::transparent);
  QPainter painter(&p);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor fill = greyed ? QColor(160, 160, 160) : QColor(40, 160, 60);
  const QColor edge = greyed ? QColor(120, 120, 120) : QColor(10, 80, 20);
  painter.setPen(QPen(edge, 1.5));
  painter.setBrush(fill);
  painter.drawEllipse(QRectF(2, 2, 24, 24));
  painter.setPen(Qt::NoPen);
  painter.setBrush(greyed ? QColor(225, 225, 225) : Qt::white);
  painter.drawPolygon(QPolygonF({QPointF(10, 8), QPointF(20, 14), QPointF(10, 20)}));
  QFont font("Arial");
  font.setPixelSize(14);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(greyed ? QColor(140, 140, 140) : QColor(20, 20, 20));
  painter.drawText(QRectF(30, 0, 34, 28), Qt::AlignVCenter | Qt::AlignLeft, "GO");
  return p;
}

// On any thread: the cabinet on a transparent square.
QImage PaintProgramIcon(int side) {
  QImage p(side, side, QImage::Format_ARGB32_Premultiplied);
  p.fill(Qt::transparent);
  QPainter painter(&p);
  painter.setRenderHint(QPainter::Antialiasing);
  PaintCabinet(painter, QRectF(0.5, 0.5, side - 1, side - 1));
  return p;
}

std::vector<QImage> PaintProgramIcons() {
  std::vector<QImage> icons;
  for (const int side : kProgramIconSides) icons.push_back(PaintProgramIcon(side));
  return icons;
}

// The paintings of the one TPicturesAhead that lives, and the ratio they are painted at. Each
// is taken once; the start button comes first, as the window asks for it first, and the program
// icon last, as the window manager asks for it only once the window is shown.
struct TPaintingsAhead {
  qreal Ratio;
  std::future<void> Painter;  // ends last: its end waits for the painting
  std::future<QImage> StartButton[2];  // normal, greyed
  std::future<QImage> NoShot;
  std::future<std::vector<QImage>> ProgramIcons;  // at kProgramIconSides
};
std::optional<TPaintingsAhead> gAhead;

// The picture painting ahead, once; painted now when it was taken or its painting failed.
template <class TPicture, class TPaint>
TPicture Take(std::future<TPicture>& painting, TPaint paint) {
  if (painting.valid()) {
    try {
      return painting.get();  // the future is empty afterwards
    } catch (...) {  // the painting thread ran out of memory: try here
    }
  }
  return paint();
}

// Sets a promise to what paint returns, or to the failure it throws.
template <class TPicture, class TPaint>
void Keep(std::promise<TPicture>& promise, TPaint paint) {
  try {
    promise.set_value(paint());
  } catch (...) {
    promise.set_exception(std::current_exception());
  }
}

QImage ProgramIconImage(int side) {
  // Taken from the painting ahead at the first size asked for; the window manager asks for all.
  static std::vector<QImage> ahead;
  if (gAhead && gAhead->ProgramIcons.valid())
    ahead = Take(gAhead->ProgramIcons, [] { return std::vector<QImage>(); });
  for (const QImage& icon : ahead)
    if (icon.width() == side) return icon;
  return PaintProgramIcon(side);
}

QImage TakeStartButton(bool greyed, qreal ratio) {
  const auto paint = [&] { return PaintStartButton(greyed, ratio); };
  return gAhead && gAhead->Ratio == ratio ? Take(gAhead->StartButton[greyed], paint) : paint();
}

}  // namespace

TPicturesAhead::TPicturesAhead() {
  const qreal ratio = ScreenRatio();
  try {
    TPaintingsAhead ahead{ratio, {}, {}, {}, {}};
    struct TPromises {
      std::promise<QImage> StartButton[2];
      std::promise<QImage> NoShot;
      std::promise<std::vector<QImage>> ProgramIcons;
    };
    auto promises = std::make_shared<TPromises>();
    for (int greyed = 0; greyed < 2; ++greyed)
      ahead.StartButton[greyed] = promises->StartButton[greyed].get_future();
    ahead.NoShot = promises->NoShot.get_future();
    ahead.ProgramIcons = promises->ProgramIcons.get_future();
    ahead.Painter = std::async(std::launch::async, [ratio, promises] {
      for (int greyed = 0; greyed < 2; ++greyed)
        Keep(promises->StartButton[greyed], [&] { return PaintStartButton(greyed != 0, ratio); });
      Keep(promises->NoShot, [&] { return PaintNoShotPicture(ratio); });
      Keep(promises->ProgramIcons, PaintProgramIcons);
    });
    gAhead = std::move(ahead);
  } catch (...) {
    gAhead.reset();  // no thread to be had: the pictures are painted when they are needed
  }
}

TPicturesAhead::~TPicturesAhead() {
  gAhead.reset();  // waits for the painting, which must not outlive the application
}

QImage NoShotPicture(qreal ratio) {
  const auto paint = [ratio] { return PaintNoShotPicture(ratio); };
  return gAhead && gAhead->Ratio == ratio ? Take(gAhead->NoShot, paint) : paint();
}

namespace {

// On any thread: only an image, no pixmap, is painted.
QImage PaintNoShotPicture(qreal ratio) {
  QImage image(QSize(qRound(384 * ratio), qRound(256 * ratio)), QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QLinearGradient ground(0, 0, 0, 256);
  ground.setColorAt(0, QColor(16, 20, 48));
  ground.setColorAt(1, QColor(4, 4, 16));
  p.fillRect(QRectF(0, 0, 384, 256), ground);
  PaintCabinet(p, QRectF(24, 30, 64, 100));
  QFont title("Arial");
  title.setPixelSize(40);
  title.setBold(true);
  p.setFont(title);
  p.setPen(kPaleYellow);
  p.drawText(QRectF(100, 40, 270, 60), Qt::AlignLeft | Qt::AlignVCenter, "StartVELK");
  QFont sub("Arial");
  sub.setPixelSize(13);
  p.setFont(sub);
  p.setPen(QColor(170, 190, 255));
  p.drawText(QRectF(102, 92, 270, 20), Qt::AlignLeft | Qt::AlignVCenter, "arcade front-end");
  QFont line("Arial");
  line.setPixelSize(20);
  line.setBold(true);
  p.setFont(line);
  p.setPen(QColor(255, 120, 110));
  p.drawText(QRectF(0, 150, 384, 30), Qt::AlignCenter, "No screenshot found");
  QFont hint("Arial");
  hint.setPixelSize(13);
  p.setFont(hint);
  p.setPen(QColor(220, 220, 220));
  p.drawText(QRectF(0, 200, 384, 20), Qt::AlignCenter, "Run the game and press the Print Screen");
  p.drawText(QRectF(0, 220, 384, 20), Qt::AlignCenter, "key to save the screen as a screenshot.");
  p.end();
  return image;
}

}  // namespace

}  // namespace artwork
