// The view tests need a QApplication, but none of the shell's.
#include <QApplication>
#include <QTemporaryDir>

#include "fixtures/QtTestMain.h"
#include "ui/Translate.h"

int main(int argc, char** argv) {
  DefaultToOffscreen();
  QApplication app(argc, argv);
  // Catalogues installed beside the binary or a user's LANGUAGE must not change the texts under test.
  QTemporaryDir noCatalogues;
  SetTranslationDirectory(noCatalogues.path());
  return RunAllTests(argc, argv);
}
