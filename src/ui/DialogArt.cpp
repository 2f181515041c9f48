#include "ui/DialogArt.h"

#include <QBitmap>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <cmath>
#include <cstring>

namespace {

// Cursor pictures: 'X' black, '.' white, anything else transparent.
const char* const kPointingHand[] = {
    "     XX",           "    X..X",          "    X..X",          "    X..X",
    "    X..X",          "    X..XXX",        "    X..X..XXX",     "    X..X..X..XX",
    " XX X..X..X..X.X",  "X..XX........X..X", "X...X...........X", " X..............X",
    "  X.............X", "  X.............X", "   X...........X",  "   X...........X",
    "    X.........X",   "    X.........X",   "    XXXXXXXXXXX",
};

// The same hand with a black cuff below it.
const char* const kCuffedHand[] = {
    "     XX",           "    X..X",          "    X..X",          "    X..X",
    "    X..XXX",        "    X..X..XXX",     "    X..X..X..XX",   " XX X..X..X..X.X",
    "X..XX........X..X", "X...X...........X", " X..............X", "  X.............X",
    "   X...........X",  "    X.........X",   "    XXXXXXXXXXX",   "    XXXXXXXXXXX",
    "    XX.XX.XX.XX",   "    XXXXXXXXXXX",
};

// The hand with a question mark beside it.
const char* const kHelpHand[] = {
    "     XX             XXXXX",
    "    X..X           XX...XX",
    "    X..X           X.XXX.X",
    "    X..X           XXX X.X",
    "    X..X             XX.XX",
    "    X..XXX          X.XX",
    "    X..X..XXX       X.X",
    "    X..X..X..XX     XXX",
    " XX X..X..X..X.X    X.X",
    "X..XX........X..X   XXX",
    "X...X...........X",
    " X..............X",
    "  X.............X",
    "  X.............X",
    "   X...........X",
    "   X...........X",
    "    X.........X",
    "    X.........X",
    "    XXXXXXXXXXX",
};

// Calls paint(x, y, black) for every painted pixel of a cursor's art, within 32 x 32.
template <std::size_t N, typename TPaint>
void ForEachArtPixel(const char* const (&rows)[N], TPaint paint) {
  for (std::size_t y = 0; y < N; ++y) {
    const std::size_t len = std::strlen(rows[y]);
    for (std::size_t x = 0; x < len && x < 32; ++x) {
      const char c = rows[y][x];
      if (c == 'X' || c == '.') paint(int(x), int(y), c == 'X');
    }
  }
}

// The monochrome 32 x 32 cursor; on a denser screen the same picture in as many device pixels as
// the cursor covers there, each art pixel a square block, so that it stays crisp and full size.
template <std::size_t N>
QCursor CursorFromArt(const char* const (&rows)[N], int hotX, int hotY, qreal ratio) {
  if (ratio > 1) {
    const int scale = qCeil(ratio);
    QImage image(32 * scale, 32 * scale, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    ForEachArtPixel(rows, [&](int x, int y, bool black) {
      p.fillRect(x * scale, y * scale, scale, scale, black ? Qt::black : Qt::white);
    });
    p.end();
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(scale);
    return QCursor(pixmap, hotX, hotY);
  }
  QBitmap bitmap(32, 32);
  QBitmap mask(32, 32);
  bitmap.fill(Qt::color0);
  mask.fill(Qt::color0);
  {
    QPainter b(&bitmap);
    QPainter m(&mask);
    b.setPen(Qt::color1);
    m.setPen(Qt::color1);
    ForEachArtPixel(rows, [&](int x, int y, bool black) {
      m.drawPoint(x, y);
      if (black) b.drawPoint(x, y);
    });
  }
  return QCursor(bitmap, mask, hotX, hotY);
}

QPixmap Transparent(int w, int h, qreal ratio) {
  QPixmap pixmap(QSize(qRound(w * ratio), qRound(h * ratio)));
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

}  // namespace

QPixmap ClockPicture(qreal ratio) {
  QPixmap pixmap = Transparent(27, 28, ratio);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF c(13.5, 14.5);
  p.setPen(QPen(QColor(40, 40, 40), 1.6));
  p.setBrush(QColor(255, 250, 225));
  p.drawEllipse(c, 12, 12);
  p.setPen(QPen(QColor(60, 60, 60), 1.2));
  for (int i = 0; i < 12; ++i) {
    const double a = i * M_PI / 6;
    const double r0 = (i % 3 == 0) ? 8.0 : 9.5;
    p.drawLine(QPointF(c.x() + r0 * std::sin(a), c.y() - r0 * std::cos(a)),
               QPointF(c.x() + 10.5 * std::sin(a), c.y() - 10.5 * std::cos(a)));
  }
  p.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(c, QPointF(c.x(), c.y() - 8));      // minutes at twelve
  p.drawLine(c, QPointF(c.x() + 5, c.y() + 2));  // hours past three
  p.setPen(QPen(QColor(200, 0, 0), 1, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(c, QPointF(c.x() - 5, c.y() + 7));  // seconds
  return pixmap;
}

QPixmap FrontendLogo(qreal ratio) {
  QPixmap pixmap = Transparent(100, 43, ratio);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QLinearGradient ground(0, 0, 0, 43);
  ground.setColorAt(0, QColor(30, 60, 150));
  ground.setColorAt(1, QColor(10, 20, 70));
  p.setPen(QPen(QColor(250, 200, 40), 1.5));
  p.setBrush(ground);
  p.drawRoundedRect(QRectF(1, 1, 98, 41), 8, 8);
  // A play triangle: this program starts the games.
  QPainterPath play;
  play.moveTo(8, 12);
  play.lineTo(20, 21.5);
  play.lineTo(8, 31);
  play.closeSubpath();
  p.fillPath(play, QColor(250, 200, 40));
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(17);
  font.setBold(true);
  p.setFont(font);
  QLinearGradient letters(0, 10, 0, 32);
  letters.setColorAt(0, QColor(255, 240, 150));
  letters.setColorAt(1, QColor(250, 160, 20));
  QPainterPath text;
  text.addText(0, 0, font, QStringLiteral("StartVELK"));
  const QRectF box = text.boundingRect();
  const double scale = std::min(1.0, 70.0 / box.width());
  p.translate(24 + (72 - box.width() * scale) / 2, 21.5 + box.height() * scale / 2 - 3);
  p.scale(scale, scale);
  p.fillPath(text.translated(-box.left(), 0), letters);
  return pixmap;
}

QPixmap EmulatorLogo(qreal ratio) {
  QPixmap pixmap = Transparent(100, 47, ratio);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(34);
  font.setBold(true);
  font.setItalic(true);
  QPainterPath text;
  text.addText(0, 0, font, QStringLiteral("VELK"));
  const QRectF box = text.boundingRect();
  const double scale = std::min(94.0 / box.width(), 36.0 / box.height());
  p.translate((100 - box.width() * scale) / 2 - box.left() * scale,
              3 + (36 - box.height() * scale) / 2 - box.top() * scale);
  p.scale(scale, scale);
  QLinearGradient fill(0, box.top(), 0, box.bottom());
  fill.setColorAt(0, QColor(255, 90, 60));
  fill.setColorAt(0.5, QColor(200, 20, 40));
  fill.setColorAt(1, QColor(110, 0, 40));
  p.setPen(QPen(QColor(20, 20, 20), 2.0 / scale * 1.2));
  p.setBrush(fill);
  p.drawPath(text);
  p.resetTransform();
  // Arcade-screen scan stripes under the name.
  for (int i = 0; i < 3; ++i) {
    p.fillRect(QRectF(6 + i * 4, 40 + i * 2, 88 - i * 8, 1.4), QColor(40, 90, 200));
  }
  return pixmap;
}

QCursor LinkCursor(const char* name, qreal ratio) {
  if (std::strcmp(name, "MOZILLA") == 0) return CursorFromArt(kPointingHand, 5, 0, ratio);
  if (std::strcmp(name, "MSIE") == 0) return CursorFromArt(kCuffedHand, 5, 0, ratio);
  if (std::strcmp(name, "HANDHELP") == 0) return CursorFromArt(kHelpHand, 5, 0, ratio);
  return QCursor(Qt::ArrowCursor);
}
