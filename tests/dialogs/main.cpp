// The dialog tests need a QApplication; gtest_discover_tests runs this binary
// without the tests' environment, so the platform plugin is chosen here.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMetaObject>
#include <thread>

#include "core/Thread.h"
#include "ui/MessageBox.h"
#include "ui/ModalDialog.h"
#include "ui/UrlOpener.h"

namespace {

// Nothing is launched from a test: an address that nobody expected fails it.
class TRefusingOpener : public kestrune::ui::IUrlOpener {
 public:
  bool Open(const QUrl& url) override {
    ADD_FAILURE() << "unexpected address opened: " << url.toString().toStdString();
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("KESTRUNE_PLATFORM")) qputenv("KESTRUNE_PLATFORM", "sim");
  QApplication app(argc, argv);
  kestrune::TThread::SetMainThread(std::this_thread::get_id());
  kestrune::TThread::SetSynchronizeWakeHook([] {
    QMetaObject::invokeMethod(qApp, [] { kestrune::TThread::CheckSynchronize(); }, Qt::QueuedConnection);
  });
  // A real modal box or dialog would wait for a person: one a test did not expect fails it.
  kestrune::ui::SetMessagePrompt([](const kestrune::ui::MessageRequest& r) {
    ADD_FAILURE() << "unexpected message box: " << r.text.toStdString();
    return r.buttons == kestrune::ui::Buttons::YesNo ? kestrune::ui::Answer::No : kestrune::ui::Answer::Ok;
  });
  kestrune::ui::SetModalRunner([](QDialog& d) {
    ADD_FAILURE() << "unexpected dialog: " << d.objectName().toStdString();
    return static_cast<int>(QDialog::Rejected);
  });
  kestrune::ui::SetUrlOpener(std::make_shared<TRefusingOpener>());
  ::testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  kestrune::ui::SetUrlOpener(nullptr);
  kestrune::ui::SetModalRunner({});
  kestrune::TThread::SetSynchronizeWakeHook({});
  return rc;
}
