// The floor of any Qt front-end's start: a main window with a menu, a one-row list and a status
// bar, shown on the desktop. The start benchmark measures the program against it.

#include <QApplication>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle("Minimal Qt Widgets window");
  window.menuBar()->addMenu("&File")->addAction("E&xit", &app, &QApplication::quit);
  auto* list = new QListWidget;
  list->addItem("One row");
  window.setCentralWidget(list);
  window.statusBar()->showMessage("Ready");
  window.resize(626, 725);
  window.show();
  return app.exec();
}
