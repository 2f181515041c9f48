// The least an honest start of a large catalogue can take on this machine: the minimal window,
// and beside it only the reads that nothing remembered may spare. Those are the settings file's
// bytes and one look at each game folder: its stamp where the volume's times can tell a change
// ("stat"), else its entries ("read"). The names come from the file's ZipName lines, found
// without parsing it. No list is filled and nothing is sorted or looked up, so the window comes up
// sooner than any real front-end's could. Started in an emulator directory.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QApplication>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> ZipNames(const std::string& text) {
  std::vector<std::string> names;
  constexpr std::string_view key = "\nZipName=";
  for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
    const std::size_t start = at + key.size();
    const std::size_t end = text.find_first_of("\r\n", start);
    names.emplace_back(text, start, (end == std::string::npos ? text.size() : end) - start);
  }
  return names;
}

// One look at a folder: its stamp, or its entries up to the end.
bool Look(int dir, const std::string& name, bool read) {
  if (!read) {
    struct stat st;
    return ::fstatat(dir, name.c_str(), &st, 0) == 0;
  }
  const int fd = ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[2048];
  while (::syscall(SYS_getdents64, fd, buffer, sizeof buffer) > 0) {
  }
  ::close(fd);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool read = argc > 1 && std::strcmp(argv[1], "read") == 0;
  const int dir = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  std::promise<std::vector<std::string>> listed;
  std::shared_future<std::vector<std::string>> names = listed.get_future().share();
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> found{0};
  const auto look = [&] {
    const std::vector<std::string>& all = names.get();
    for (std::size_t from; (from = next.fetch_add(64)) < all.size();)
      for (std::size_t i = from; i < std::min(from + 64, all.size()); ++i)
        if (Look(dir, all[i], read)) found.fetch_add(1, std::memory_order_relaxed);
  };
  std::thread first([&] {
    std::ifstream file("StartVELK.ini", std::ios::binary);
    listed.set_value(ZipNames(
        std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>())));
    look();
  });
  std::thread second(look);

  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle("Floor window");
  window.menuBar()->addMenu("&File")->addAction("E&xit", &app, &QApplication::quit);
  auto* list = new QListWidget;
  window.setCentralWidget(list);
  window.resize(626, 725);
  first.join();
  second.join();
  list->addItem(QString("%1 folders").arg(found.load()));
  window.statusBar()->showMessage("Ready");
  window.show();
  return app.exec();
}
