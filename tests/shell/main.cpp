#include "fixtures/QtTestMain.h"

int main(int argc, char** argv) {
  ShellTestApp app(argc, argv);
  return RunAllTests(argc, argv);
}
