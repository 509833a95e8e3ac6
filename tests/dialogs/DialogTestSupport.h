#pragma once
// Helpers of the dialog tests: drive a "modal" dialog without a nested loop,
// capture the addresses handed to the desktop; connections come from the
// shell tests' harness.
#include <QDialog>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../shell/TestSupport.h"
#include "platform/sim/SimNetworkScenario.h"
#include "ui/ModalDialog.h"
#include "ui/UrlOpener.h"

namespace dialogtest {

// While it lives, every dialog run modally is shown, handed to drive(), and
// rejected if drive() left it open. Counts the runs.
class ScopedDriver {
 public:
  explicit ScopedDriver(std::function<void(QDialog&)> drive) {
    previous_ = kestrune::ui::SetModalRunner([this, drive = std::move(drive)](QDialog& d) {
      ++runs;
      return kestrune::ui::DrivingRunner(drive)(d);
    });
  }
  ~ScopedDriver() { kestrune::ui::SetModalRunner(std::move(previous_)); }
  ScopedDriver(const ScopedDriver&) = delete;
  ScopedDriver& operator=(const ScopedDriver&) = delete;
  int runs = 0;

 private:
  kestrune::ui::ModalRunner previous_;
};

class CapturingOpener : public kestrune::ui::IUrlOpener {
 public:
  bool Open(const QUrl& url) override {
    opened.push_back(url);
    return true;
  }
  std::vector<QUrl> opened;
};

// Installs a capturing opener while it lives.
class ScopedOpener {
 public:
  ScopedOpener() : opener_(std::make_shared<CapturingOpener>()) { previous_ = kestrune::ui::SetUrlOpener(opener_); }
  ~ScopedOpener() { kestrune::ui::SetUrlOpener(std::move(previous_)); }
  ScopedOpener(const ScopedOpener&) = delete;
  ScopedOpener& operator=(const ScopedOpener&) = delete;
  const std::vector<QUrl>& Opened() const { return opener_->opened; }

 private:
  std::shared_ptr<CapturingOpener> opener_;
  std::shared_ptr<kestrune::ui::IUrlOpener> previous_;
};

using testsupport::Connection;

}  // namespace dialogtest
