// The view tests need a QApplication; gtest_discover_tests runs this binary
// without the tests' environment, so the platform plugin is chosen here.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "ui/Translate.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // Catalogues installed beside the binary or a user's LANGUAGE must not change the texts under test.
  QTemporaryDir noCatalogues;
  SetTranslationDirectory(noCatalogues.path());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
