#pragma once
// Hands web and mail addresses to the desktop's own handlers. Tests install an
// opener of their own, so nothing is launched while they run.
#include <QUrl>
#include <memory>

namespace kestrune::ui {

class IUrlOpener {
 public:
  virtual ~IUrlOpener() = default;
  // True when the desktop accepted the address.
  virtual bool Open(const QUrl& url) = 0;
};

// The desktop's handlers (the default browser, the default mail program).
class TDesktopUrlOpener : public IUrlOpener {
 public:
  bool Open(const QUrl& url) override;
};

// Replaces the opener and returns the previous one; null means the desktop's.
std::shared_ptr<IUrlOpener> SetUrlOpener(std::shared_ptr<IUrlOpener> opener);

// Through the installed opener.
bool OpenUrl(const QUrl& url);

}  // namespace kestrune::ui
