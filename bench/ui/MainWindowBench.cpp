// An unchanged start of the main window in an emulator directory of 100 and of 10,000 games,
// from the first line after the application object up to the filled window on screen; and a change
// of the selected game up to its painted 1920 x 1080 screenshot.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QListWidget>
#include <QTest>
#include <memory>
#include <string>

#include "TempDir.h"
#include "catalogue/Catalogue.h"
#include "launch/ZipArchive.h"
#include "platform/UserInteraction.h"
#include "ui/MImage.h"
#include "ui/MainWindow.h"

namespace {

// Answers every box with OK and records nothing: the starts measured here show none.
class TSilentInteraction : public TUserInteraction {
 public:
  TModalResult MessageDlg(const std::string&, TMsgDlgType, TMsgDlgButtons) override {
    return TModalResult::mrOk;
  }
  void ShowMessage(const std::string&) override {}
  void Beep() override {}
  void SetStatusText(const std::string&) override {}
  void ResetStatusText() override {}
  void ProcessMessages() override {}
  bool WaitDispatching(TWaitHandle) override { return false; }
  bool QuitRequested() const override { return false; }
};

std::string GameName(int i) {
  static const char* const kWords[] = {"Space",  "Racer",  "Galaxy", "Guard",  "Pixel", "Panic",
                                       "Tunnel", "Runner", "Moon",   "Patrol", "Robo",  "Alley"};
  return std::string(kWords[(i * 7) % 12]) + " " + kWords[(i * 5 + 3) % 12] + " " +
         std::to_string(i);
}

// An emulator directory with games, half of them installed, started once so that its settings
// file is there and the next starts are unchanged ones.
struct TEmulatorDir {
  explicit TEmulatorDir(int games) {
    Dir.Write("velk.exe", "#!/bin/sh\n");
    std::string readme = "VELK\r\ngameslist:\r\n";
    for (int i = 0; i < games; ++i) {
      const std::string zip = "g" + std::to_string(i);
      readme += GameName(i) + " | " + zip + "\r\n";
      Dir.Write(zip + "/" + zip + ".vlk", "driver");
      if (i % 2 == 0)
        for (int f = 0; f < 4; ++f) Dir.Write(zip + "/rom" + std::to_string(f), "r");
    }
    Dir.Write("readme.txt", readme);
    ScopedCurrentDir here(Dir.Path());
    Start()->close();
  }

  std::unique_ptr<TMain> Start() {
    Catalogue() = TCatalogue{};
    TMainHooks hooks = DefaultMainHooks(Ui);
    hooks.LoadUnzipLibrary = nullptr;  // loaded once per process in the program; not measured
    return std::make_unique<TMain>(Ui, std::move(hooks));
  }

  TempDir Dir;
  TSilentInteraction Ui;
};

void BM_UnchangedStart(benchmark::State& state) {
  TEmulatorDir emulator(static_cast<int>(state.range(0)));
  ScopedCurrentDir here(emulator.Dir.Path());
  for (auto _ : state) {
    std::unique_ptr<TMain> main = emulator.Start();
    main->ShowAsStarted();
    if (!QTest::qWaitForWindowExposed(main.get())) state.SkipWithError("window not shown");
    main->repaint();
    state.PauseTiming();
    main.reset();  // closing is not part of the start: no settings written
    state.ResumeTiming();
  }
  state.counters["games"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_UnchangedStart)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_SelectionChangeToShownScreenshot(benchmark::State& state) {
  TEmulatorDir emulator(2);
  ScopedCurrentDir here(emulator.Dir.Path());
  for (int i = 0; i < 2; ++i) {
    QImage picture(1920, 1080, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x)
        picture.setPixel(x, y, qRgb((x + i * 90) % 256, (y * 3) % 256, (x ^ y) % 256));
    const QString path = QString::fromStdString(
        (emulator.Dir.Path() / "ScreenShots" / ("g" + std::to_string(i) + "01.jpg")).string());
    emulator.Dir.MakeDir("ScreenShots");
    picture.save(path, "JPEG", 90);
  }
  std::unique_ptr<TMain> main = emulator.Start();
  main->ShowAsStarted();
  if (!QTest::qWaitForWindowExposed(main.get())) state.SkipWithError("window not shown");
  int row = 0;
  for (auto _ : state) {
    row = 1 - row;
    main->GameList->setCurrentRow(row);
    main->SSImage->repaint();
  }
  if (main->SSImage->PictureSize() != QSize(1920, 1080)) state.SkipWithError("no screenshot");
}
BENCHMARK(BM_SelectionChangeToShownScreenshot)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
