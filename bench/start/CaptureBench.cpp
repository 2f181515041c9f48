// The time from a 1920 × 1080 picture reaching the clipboard to its JPEG on disk, through the
// capture the main window uses during a run (offscreen platform unless a display is asked for).

#include <benchmark/benchmark.h>

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>

#include "QuietUserInteraction.h"
#include "ui/ClipboardCapture.h"

namespace {

// A game-like screen: gradients and shapes, neither flat nor noise.
QImage Screen() {
  QImage image(1920, 1080, QImage::Format_RGB32);
  QPainter p(&image);
  QLinearGradient sky(0, 0, 0, 1080);
  sky.setColorAt(0, QColor(12, 10, 40));
  sky.setColorAt(1, QColor(60, 20, 90));
  p.fillRect(image.rect(), sky);
  for (int i = 0; i < 400; ++i) {
    p.setBrush(QColor::fromHsv(i * 37 % 360, 200, 240));
    p.drawEllipse(QPointF(i * 97 % 1920, i * 53 % 1080), 4 + i % 30, 4 + i % 20);
  }
  p.end();
  return image;
}

void BM_ClipboardPictureToJpeg(benchmark::State& state) {
  QTemporaryDir dir;
  TCatalogue catalogue;
  catalogue.Games.resize(2);
  for (TGameRecord& g : catalogue.Games) InitGameRecord(g);
  catalogue.Games[1].ZipName = "mygame";
  catalogue.CurrentGame = 1;
  catalogue.GameDir = dir.path().toStdString();
  TQuietUserInteraction ui;
  TClipboardCapture capture(catalogue, ui);
  capture.JoinClipboardChain();
  bool saved = false;
  QObject::connect(&capture, &TClipboardCapture::ScreenShotSaved, [&] { saved = true; });
  const QImage screen = Screen();
  const QString shots = QDir(dir.path()).filePath("ScreenShots");
  for (auto _ : state) {
    saved = false;
    QGuiApplication::clipboard()->setImage(screen);
    while (!saved && ui.Boxes == 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    state.PauseTiming();
    for (const QString& name : QDir(shots).entryList(QDir::Files))
      QFile::remove(shots + "/" + name);
    state.ResumeTiming();
  }
  if (ui.Boxes) state.SkipWithError("a capture failed");
  capture.LeaveClipboardChain();
}
BENCHMARK(BM_ClipboardPictureToJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
