#include "FirstPaintProbe.h"

#include <time.h>

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace kestrune::app {

namespace {

long long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atoll(line.c_str() + 6);
  }
  return -1;
}

// Watches the whole application: the window's own paint may be skipped where
// its children cover it, so the first paint of any widget of the window counts.
class TFirstPaintProbe : public QObject {
 public:
  explicit TFirstPaintProbe(QWidget& window) : QObject(&window), window_(window) {
    QCoreApplication::instance()->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (done_ || event->type() != QEvent::Paint || !watched->isWidgetType()) return false;
    if (static_cast<QWidget*>(watched)->window() != &window_) return false;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    done_ = true;
    QCoreApplication::instance()->removeEventFilter(this);
    const long long ns = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
    std::printf("first-paint-ns=%lld rss-kib=%lld\n", ns, ResidentKiB());
    std::fflush(stdout);
    // After this paint has finished, through the loop's ordinary end.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    return false;
  }

 private:
  QWidget& window_;
  bool done_ = false;
};

}  // namespace

void InstallFirstPaintProbe(QWidget& window) {
  if (std::getenv("KESTRUNE_FIRST_PAINT_REPORT") == nullptr) return;
  new TFirstPaintProbe(window);
}

}  // namespace kestrune::app
