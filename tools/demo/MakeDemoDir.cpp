// Builds a demo emulator directory so every feature of StartVELK can be tried at once: a readme
// with a games list, driver directories, installed games, zipped games (beside the emulator and
// in a separate zip folder), screenshots, and the demo emulator as velk.exe.
//
// Usage: startvelk-makedemo <target directory> <demo emulator program>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <vector>

#include "ZipWriter.h"

namespace {

struct TDemoGame {
  const char* Name;
  const char* ZipName;
  enum { Installed, Zipped, ZippedElsewhere, Absent } Kind;
  int Screenshots;
};

const TDemoGame kGames[] = {
    {"SPACE RACER II", "spcrcr2", TDemoGame::Installed, 3},
    {"MR. X", "mrx", TDemoGame::Installed, 1},
    {"ROBO-X III", "robox3", TDemoGame::Zipped, 2},
    {"don't stop", "dontstop", TDemoGame::Zipped, 0},
    {"Galaxy Guard", "galgrd", TDemoGame::Installed, 2},
    {"Pixel Panic", "pixpan", TDemoGame::ZippedElsewhere, 1},
    {"2020 war", "war2020", TDemoGame::Absent, 0},
    {"X-RAY ALLEY", "xrayal", TDemoGame::Absent, 1},
    {"Tunnel Runner", "tunnelr", TDemoGame::Absent, 0},
};

// A deflated zip archive of the ROMs, as real game archives are.
QByteArray MakeZip(const std::vector<std::pair<QByteArray, QByteArray>>& entries) {
  TZipWriter zip;
  for (const auto& [name, data] : entries) zip.Add(name.toStdString(), data.toStdString());
  return QByteArray::fromStdString(zip.Build());
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

QByteArray RomBytes(const char* zipName, int index) {
  QByteArray rom;
  for (int i = 0; i < 4096; ++i) rom += char((i * 31 + index * 7 + zipName[i % 3]) & 0xFF);
  return rom;
}

QImage Screenshot(const TDemoGame& game, int index) {
  QImage image(320, 240, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const int hue = (qHash(QByteArray(game.ZipName)) + index * 40) % 360;
  QLinearGradient g(0, 0, 320, 240);
  g.setColorAt(0, QColor::fromHsv(hue, 200, 90));
  g.setColorAt(1, QColor::fromHsv((hue + 60) % 360, 220, 30));
  p.fillRect(image.rect(), g);
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 12; ++i) {
    p.setBrush(QColor::fromHsv((hue + i * 25) % 360, 180, 250, 160));
    p.drawEllipse(QPointF(30 + (i * 47 + index * 13) % 260, 60 + (i * 71) % 150), 8 + i % 5,
                  8 + i % 5);
  }
  p.setPen(Qt::white);
  QFont f = p.font();
  f.setPixelSize(22);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(0, 8, 320, 40), Qt::AlignCenter, game.Name);
  f.setPixelSize(14);
  p.setFont(f);
  p.drawText(QRect(0, 200, 320, 30), Qt::AlignCenter,
             index == 1 ? QString("TITLE SCREEN") : QString("STAGE %1").arg(index - 1));
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <target directory> <demo emulator program>\n", argv[0]);
    return 2;
  }
  QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.mkpath(".") || !dir.mkpath("ScreenShots") || !dir.mkpath("zips")) return 1;

  QByteArray readme =
      "VELK arcade emulator (demo)\r\n\r\nThis directory was made by startvelk-makedemo.\r\n\r\n"
      "Supported games - gameslist:\r\n";
  for (const TDemoGame& game : kGames)
    readme += QByteArray(game.Name).leftJustified(28, ' ') + "| " + game.ZipName + "\r\n";
  if (!WriteFile(dir.filePath("readme.txt"), readme)) return 1;

  for (const TDemoGame& game : kGames) {
    const QString zipName = game.ZipName;
    dir.mkpath(zipName);
    WriteFile(dir.filePath(zipName + "/" + zipName + ".vlk"),
              "VELK driver " + QByteArray(game.ZipName));
    std::vector<std::pair<QByteArray, QByteArray>> roms;
    for (int i = 1; i <= 4; ++i)
      roms.push_back({"roms/" + QByteArray(game.ZipName) + ".r" + QByteArray::number(i),
                      RomBytes(game.ZipName, i)});
    switch (game.Kind) {
      case TDemoGame::Installed:
        for (const auto& [name, data] : roms)
          WriteFile(dir.filePath(zipName + "/" + QString(name).section('/', -1)), data);
        break;
      case TDemoGame::Zipped:
        WriteFile(dir.filePath(zipName + ".zip"), MakeZip(roms));
        break;
      case TDemoGame::ZippedElsewhere:
        WriteFile(dir.filePath("zips/" + zipName + ".zip"), MakeZip(roms));
        break;
      case TDemoGame::Absent:
        break;
    }
    for (int i = 1; i <= game.Screenshots; ++i)
      Screenshot(game, i).save(
          dir.filePath(QString("ScreenShots/%1%2.jpg").arg(zipName).arg(i, 2, 10, QChar('0'))),
          "JPG", 90);
  }
  // A driver directory the readme does not list, so the second start-up report shows too.
  dir.mkpath("mystery");
  WriteFile(dir.filePath("mystery/mystery.vlk"), "VELK driver mystery");

  const QString velk = dir.filePath("velk.exe");
  QFile::remove(velk);
  if (!QFile::copy(QString::fromLocal8Bit(argv[2]), velk)) {
    std::fprintf(stderr, "cannot copy the demo emulator to %s\n", qPrintable(velk));
    return 1;
  }
  QFile::setPermissions(velk, QFile::permissions(velk) | QFileDevice::ExeOwner |
                                  QFileDevice::ExeGroup | QFileDevice::ExeOther);
  std::printf("Demo emulator directory ready: %s\n", qPrintable(dir.absolutePath()));
  return 0;
}
