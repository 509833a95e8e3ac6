#include "ui/UrlOpener.h"

#include <QDesktopServices>
#include <mutex>

namespace kestrune::ui {
namespace {

std::mutex gOpenerLock;
std::shared_ptr<IUrlOpener> gOpener;

}  // namespace

bool TDesktopUrlOpener::Open(const QUrl& url) { return QDesktopServices::openUrl(url); }

std::shared_ptr<IUrlOpener> SetUrlOpener(std::shared_ptr<IUrlOpener> opener) {
  std::lock_guard lock(gOpenerLock);
  std::swap(gOpener, opener);
  return opener;
}

bool OpenUrl(const QUrl& url) {
  std::shared_ptr<IUrlOpener> opener;
  {
    std::lock_guard lock(gOpenerLock);
    opener = gOpener;
  }
  if (opener) return opener->Open(url);
  TDesktopUrlOpener desktop;
  return desktop.Open(url);
}

}  // namespace kestrune::ui
