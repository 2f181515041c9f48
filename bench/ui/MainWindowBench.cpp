// Starts of the main window in emulator directories of 100, 10,000 and 50,000 games, in the process
// and as the real program up to its window on the X server, side by side with a minimal Qt Widgets
// window and with 50,000 games on a volume whose times step in whole seconds; the peak memory of
// those starts; a first start of 50,000 driver folders; the search field's filter per keystroke
// over 50,000 names; and a change of the selected game up to its painted 1920 x 1080 screenshot.
//
// The process starts need an X server with a window manager, as users have:
//   xvfb-run -a -s '-screen 0 1280x1024x24' sh -c
//     'openbox & sleep 1; build/bin/ui_bench --benchmark_filter=StartsSideBySide'
// The volume of whole seconds is a loop-mounted ext4 image with 128-byte inodes: made as root.

#include <benchmark/benchmark.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "LoopVolume.h"
#include "QuietUserInteraction.h"
#include "TempDir.h"
#include "catalogue/Catalogue.h"
#include "launch/ZipArchive.h"
#include "ui/GameListView.h"
#include "ui/MImage.h"
#include "ui/MainWindow.h"

namespace {

std::string GameName(int i) {
  static const char* const kWords[] = {"Space",  "Racer",  "Galaxy", "Guard",  "Pixel", "Panic",
                                       "Tunnel", "Runner", "Moon",   "Patrol", "Robo",  "Alley"};
  return std::string(kWords[(i * 7) % 12]) + " " + kWords[(i * 5 + 3) % 12] + " " +
         std::to_string(i);
}

// An emulator directory with games, a third of them installed, started once so that its settings
// file is there and the next starts are unchanged ones; in a folder of its own, or below root.
struct TEmulatorDir {
  explicit TEmulatorDir(int games, const std::filesystem::path& root = {})
      : Root(root.empty() ? Own.Path() : root / "emulator") {
    std::filesystem::create_directories(Root);
    Write("velk.exe", "#!/bin/sh\n");
    std::string readme = "VELK\r\ngameslist:\r\n";
    for (int i = 0; i < games; ++i) {
      const std::string zip = "g" + std::to_string(i);
      readme += GameName(i) + " | " + zip + "\r\n";
      Write(zip + "/" + zip + ".vlk", "driver");
      if (i % 3 == 0)
        for (int f = 0; f < 4; ++f) Write(zip + "/rom" + std::to_string(f), "r");
    }
    Write("readme.txt", readme);
    // An unchanged start comes long after the folders were last changed; the scan trusts what it
    // remembers of a folder only once its times lie a moment back.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    ScopedCurrentDir here(Root);
    Start()->close();
  }

  std::unique_ptr<TMain> Start() {
    Catalogue() = TCatalogue{};
    TMainHooks hooks = DefaultMainHooks(Ui);
    hooks.LoadUnzipLibrary = nullptr;  // loaded once per process in the program; not measured
    return std::make_unique<TMain>(Ui, std::move(hooks));
  }

  void Write(const std::string& relative, std::string_view bytes) const {
    const std::filesystem::path path = Root / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  TempDir Own;
  std::filesystem::path Root;
  TQuietUserInteraction Ui = [] {
    TQuietUserInteraction ui;
    ui.WaitResult = false;
    return ui;
  }();
};

// One emulator directory per size for the whole run: making one of 50,000 games takes a while.
TEmulatorDir& Emulator(int games) {
  static std::map<int, std::unique_ptr<TEmulatorDir>> dirs;
  auto& dir = dirs[games];
  if (!dir) dir = std::make_unique<TEmulatorDir>(games);
  return *dir;
}

void BM_UnchangedStart(benchmark::State& state) {
  TEmulatorDir& emulator = Emulator(static_cast<int>(state.range(0)));
  ScopedCurrentDir here(emulator.Root);
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
BENCHMARK(BM_UnchangedStart)
    ->Arg(100)
    ->Arg(10000)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// A first start: no settings file, so every driver folder is read, reported and looked up in the
// readme (the reports answered at once), up to the filled window on screen.
void BM_FirstStart(benchmark::State& state) {
  TEmulatorDir& emulator = Emulator(static_cast<int>(state.range(0)));
  ScopedCurrentDir here(emulator.Root);
  const std::filesystem::path ini = emulator.Root / "StartVELK.ini";
  const std::string saved = ReadFileBytes(ini);
  for (auto _ : state) {
    std::filesystem::remove(ini);
    std::unique_ptr<TMain> main = emulator.Start();
    main->ShowAsStarted();
    if (!QTest::qWaitForWindowExposed(main.get())) state.SkipWithError("window not shown");
    main->repaint();
    if (main->GameList->count() != state.range(0)) state.SkipWithError("wrong game count");
    state.PauseTiming();
    main.reset();
    state.ResumeTiming();
  }
  emulator.Write("StartVELK.ini", saved);  // the other starts stay unchanged ones
}
BENCHMARK(BM_FirstStart)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(3);

// One keystroke in the search field over 50,000 names: the list narrowed or widened, the
// selection, settings panel and screenshots following, and the list repainted.
void BM_SearchKeystroke(benchmark::State& state) {
  TEmulatorDir& emulator = Emulator(static_cast<int>(state.range(0)));
  ScopedCurrentDir here(emulator.Root);
  std::unique_ptr<TMain> main = emulator.Start();
  main->ShowAsStarted();
  if (!QTest::qWaitForWindowExposed(main.get())) state.SkipWithError("window not shown");
  // Typing "moon 1" and taking it back again: matches from a twelfth of the list down to a few.
  const QString typed = "moon 1";
  int step = 0;
  for (auto _ : state) {
    const int at = step % (2 * typed.size());
    const int length = at < typed.size() ? at + 1 : 2 * typed.size() - at - 1;
    main->GameSearch->setText(typed.left(length));
    main->GameList->viewport()->repaint();
    ++step;
  }
  state.counters["games"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_SearchKeystroke)->Arg(50000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Peak resident memory of a process, in MiB, from its status file; 0 when unknown.
double PeakResidentMiB(qint64 pid) {
  QFile status(QString("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmHWM:"))
      return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
  return 0;
}

// Looks for a viewable window of a given name on the X server, from within this process: a look
// is a few round trips, where starting a tool for it would take the program's processor time.
class TXWindowWatch {
 public:
  TXWindowWatch() : FConnection(xcb_connect(nullptr, nullptr)) {
    if (xcb_connection_has_error(FConnection) != 0) return;
    FRoot = xcb_setup_roots_iterator(xcb_get_setup(FConnection)).data->root;
    FNetWmName = Atom("_NET_WM_NAME");
  }
  ~TXWindowWatch() { xcb_disconnect(FConnection); }
  bool Ok() const { return FRoot != 0; }

  // Whether a viewable window, a child of the root or of a window manager's frame, has the name.
  bool Shown(const QByteArray& name) { return Search(FRoot, name, 2); }

 private:
  xcb_atom_t Atom(const char* name) {
    auto* reply = xcb_intern_atom_reply(
        FConnection, xcb_intern_atom(FConnection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
  }

  bool Named(xcb_window_t window, const QByteArray& name) {
    for (xcb_atom_t property : {FNetWmName, xcb_atom_t(XCB_ATOM_WM_NAME)}) {
      auto* reply = xcb_get_property_reply(
          FConnection,
          xcb_get_property(FConnection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
          nullptr);
      const bool same = reply && QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                                            xcb_get_property_value_length(reply)) == name;
      std::free(reply);
      if (same) return true;
    }
    return false;
  }

  bool Search(xcb_window_t parent, const QByteArray& name, int depth) {
    auto* tree = xcb_query_tree_reply(FConnection, xcb_query_tree(FConnection, parent), nullptr);
    if (!tree) return false;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    const int count = xcb_query_tree_children_length(tree);
    bool found = false;
    for (int i = 0; i < count && !found; ++i) {
      auto* attributes = xcb_get_window_attributes_reply(
          FConnection, xcb_get_window_attributes(FConnection, children[i]), nullptr);
      const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
      std::free(attributes);
      if (!viewable) continue;
      found = Named(children[i], name) || (depth > 1 && Search(children[i], name, depth - 1));
    }
    std::free(tree);
    return found;
  }

  xcb_connection_t* FConnection;
  xcb_window_t FRoot = 0;
  xcb_atom_t FNetWmName = XCB_ATOM_NONE;
};

// A program from its process start until its window of the caption is viewable on the X server,
// in seconds, and its peak resident memory up to a moment after that; nothing when the window
// did not appear. The program is then ended as a session end would end it.
std::optional<double> StartToShownWindow(TXWindowWatch& watch, const QString& program,
                                         const QStringList& arguments,
                                         const std::filesystem::path& dir,
                                         const QByteArray& caption, double* peakMiB) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "xcb");
  QProcess process;
  process.setProcessEnvironment(env);
  process.setWorkingDirectory(QString::fromStdString(dir.string()));
  QElapsedTimer clock;
  clock.start();
  process.start(program, arguments);
  // A look every millisecond: the figure is that much late at most, and the looks take little
  // of the processor time the program has.
  bool shown = false;
  while (!(shown = watch.Shown(caption)) && clock.elapsed() < 20000)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  // The work a window does once shown (the names for the search) counts to its memory.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  if (peakMiB) *peakMiB = std::max(*peakMiB, PeakResidentMiB(process.processId()));
  process.terminate();  // closes the window as a session end does; the next start is unchanged
  process.waitForFinished(20000);
  // What the closing wrote (4 MB of settings for 50,000 games) reaches the disk before the next
  // start, as it long has when a user starts the program again; a start is not timed while the
  // kernel writes back the one before.
  ::sync();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (!shown) {
    std::fprintf(stderr, "%s\n", process.readAllStandardError().constData());
    return std::nullopt;
  }
  return seconds;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// The starts a user meets, taken in turns so that a busy moment of the machine falls on all of
// them alike: a minimal Qt Widgets window (a main window with a menu, a one-row list and a status
// bar), then the real program's unchanged starts of 100, 10,000 and 50,000 games, and of 50,000
// games on a loop-mounted ext4 volume with 128-byte inodes, whose times step in whole seconds so
// that nothing remembered of its folders may be trusted; last, the floor of both 50,000-game
// starts (FloorWindow.cpp). Counters: the median of each in ms, its ratio to the minimal window's,
// and the peak resident memory of 50,000 games.
void BM_StartsSideBySide(benchmark::State& state) {
  TXWindowWatch watch;
  if (qEnvironmentVariableIsEmpty("DISPLAY") || !watch.Ok()) {
    state.SkipWithError("needs an X server (run under xvfb-run)");
    return;
  }
  static TLoopVolume coarse(1024, {"-I", "128", "-b", "1024", "-N", "240000"});
  struct TStart {
    std::string Name;
    QString Program;
    std::filesystem::path Dir;
    QByteArray Caption;
    std::vector<double> Seconds;
    double PeakMiB = 0;
    QStringList Arguments = {};
  };
  const QString program = QString::fromStdString(STARTVELK_PROGRAM);
  const auto games = [&program](const std::string& name, const TEmulatorDir& dir, int count) {
    return TStart{name,
                  program,
                  dir.Root,
                  QString("StartVELK 0.9.1 [%1 of %1 games]").arg(count).toUtf8(),
                  {}};
  };
  std::vector<TStart> starts{{"minimal",
                              MINIMAL_WINDOW_PROGRAM,
                              std::filesystem::current_path(),
                              "Minimal Qt Widgets window",
                              {}},
                             games("g100", Emulator(100), 100),
                             games("g10k", Emulator(10000), 10000),
                             games("g50k", Emulator(50000), 50000)};
  static std::unique_ptr<TEmulatorDir> onCoarse;
  if (coarse.Mounted()) {
    if (!onCoarse) onCoarse = std::make_unique<TEmulatorDir>(50000, coarse.Path());
    starts.push_back(games("g50k_coarse", *onCoarse, 50000));
  } else {
    std::fprintf(stderr, "No start on a volume of whole seconds: %s\n", coarse.Why().c_str());
  }
  // The floor of those two starts: the minimal window and only the reads nothing may spare.
  const auto floorOf = [](const std::string& name, const TEmulatorDir& dir, const char* look) {
    return TStart{name, FLOOR_WINDOW_PROGRAM, dir.Root, "Floor window", {}, 0, {look}};
  };
  starts.push_back(floorOf("floor50k", Emulator(50000), "stat"));
  if (onCoarse) starts.push_back(floorOf("floor50k_coarse", *onCoarse, "read"));
  // One start of each before the rounds, as a user has started the program before: what a run
  // keeps for the next start as it ends is there, and the directories are in the page cache.
  for (TStart& start : starts)
    if (!StartToShownWindow(watch, start.Program, start.Arguments, start.Dir, start.Caption,
                            nullptr)) {
      state.SkipWithError(("the window did not appear: " + start.Name).c_str());
      return;
    }
  for (auto _ : state) {
    double total = 0;
    for (TStart& start : starts) {
      const auto seconds = StartToShownWindow(watch, start.Program, start.Arguments, start.Dir,
                                              start.Caption, &start.PeakMiB);
      if (!seconds) {
        state.SkipWithError(("the window did not appear: " + start.Name).c_str());
        return;
      }
      start.Seconds.push_back(*seconds);
      total += *seconds;
    }
    state.SetIterationTime(total);
  }
  // Each round's ratio to the minimal window of that round: a busy moment of a shared machine
  // weighs on both of a pair, so their median is steadier than a ratio of medians.
  // The time over the minimal window's, the program's own part of a start, is given beside it.
  const std::vector<double>& floor = starts.front().Seconds;
  for (const TStart& start : starts) {
    std::vector<double> ratios, over;
    for (std::size_t r = 0; r < start.Seconds.size(); ++r) {
      ratios.push_back(start.Seconds[r] / floor[r]);
      over.push_back(start.Seconds[r] - floor[r]);
    }
    const double median = Median(start.Seconds), ratio = Median(ratios);
    const auto [low, high] = std::minmax_element(start.Seconds.begin(), start.Seconds.end());
    state.counters[start.Name + "_ms"] = median * 1000;
    if (&start != &starts.front()) {
      state.counters[start.Name + "_x"] = ratio;
      state.counters[start.Name + "_over_ms"] = Median(over) * 1000;
    }
    std::fprintf(stderr,
                 "%-12s median %7.1f ms  (%.1f to %.1f)  %.2f x minimal, %+.1f ms over it (medians "
                 "of rounds)  peak %.1f MiB\n",
                 start.Name.c_str(), median * 1000, *low * 1000, *high * 1000, ratio,
                 Median(over) * 1000, start.PeakMiB);
  }
  state.counters["g50k_peak_MiB"] = starts[3].PeakMiB;
}
BENCHMARK(BM_StartsSideBySide)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(21);

void BM_SelectionChangeToShownScreenshot(benchmark::State& state) {
  TEmulatorDir emulator(2);
  ScopedCurrentDir here(emulator.Root);
  for (int i = 0; i < 2; ++i) {
    QImage picture(1920, 1080, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x)
        picture.setPixel(x, y, qRgb((x + i * 90) % 256, (y * 3) % 256, (x ^ y) % 256));
    const QString path = QString::fromStdString(
        (emulator.Root / "ScreenShots" / ("g" + std::to_string(i) + "01.jpg")).string());
    std::filesystem::create_directories(emulator.Root / "ScreenShots");
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
  // What the scans remember of each run's emulator directories goes with the run.
  TempDir cache;
  qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(cache.Str()));
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
