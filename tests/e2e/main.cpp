// The end-to-end tests make real windows; gtest_discover_tests runs this
// binary without the tests' environment, so the platform plugin is chosen here.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMetaObject>
#include <thread>

#include "core/Thread.h"
#include "ui/MessageBox.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("KESTRUNE_PLATFORM")) qputenv("KESTRUNE_PLATFORM", "sim");
  kestrune::TThread::SetMainThread(std::this_thread::get_id());
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  kestrune::TThread::SetSynchronizeWakeHook([] {
    QMetaObject::invokeMethod(qApp, [] { kestrune::TThread::CheckSynchronize(); }, Qt::QueuedConnection);
  });
  // A real modal box would wait for a person: any box a test did not expect fails it.
  kestrune::ui::SetMessagePrompt([](const kestrune::ui::MessageRequest& r) {
    ADD_FAILURE() << "unexpected message box: " << r.text.toStdString();
    return r.buttons == kestrune::ui::Buttons::YesNo ? kestrune::ui::Answer::No : kestrune::ui::Answer::Ok;
  });
  ::testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  kestrune::TThread::SetSynchronizeWakeHook({});
  return rc;
}
