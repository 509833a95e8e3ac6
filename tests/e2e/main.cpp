// The end-to-end tests make real windows.
#include "fixtures/QtTestMain.h"

int main(int argc, char** argv) {
  ShellTestApp app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  return RunAllTests(argc, argv);
}
