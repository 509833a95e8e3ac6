#include <QDialog>
#include <memory>

#include "fixtures/QtTestMain.h"
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
  ShellTestApp app(argc, argv);
  // A real dialog would wait for a person as well: one a test did not expect fails it.
  kestrune::ui::SetModalRunner([](QDialog& d) {
    ADD_FAILURE() << "unexpected dialog: " << d.objectName().toStdString();
    return static_cast<int>(QDialog::Rejected);
  });
  kestrune::ui::SetUrlOpener(std::make_shared<TRefusingOpener>());
  const int rc = RunAllTests(argc, argv);
  kestrune::ui::SetUrlOpener(nullptr);
  kestrune::ui::SetModalRunner({});
  return rc;
}
