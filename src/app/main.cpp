// Process start: branding, platform and wireless library first, so a missing
// piece stops the program with a clear message before any window exists.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <thread>

#include "FirstPaintProbe.h"
#include "core/Thread.h"
#include "platform/Platform.h"
#include "platform/SystemInfo.h"
#include "shell/Unit1.h"
#include "shell/UnitGlobal.h"
#include "wireless/wifi.h"

namespace {

int Fatal(const std::string& message) {
  std::fprintf(stderr, "%s cannot start: %s\n", kApplicationTitle, message.c_str());
  return 1;
}

// A termination request must not kill the process while it shares the
// connection: the handler only notes it, the event loop ends the session.
int gSignalPipe[2] = {-1, -1};

extern "C" void NoteTerminationSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(gSignalPipe[1], &byte, 1);
  errno = saved;
}

bool InstallTerminationHandlers() {
  if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction sa {};
  sa.sa_handler = NoteTerminationSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // First of all, so that a request to end arriving during start-up is kept for the loop.
  const bool signalsHandled = InstallTerminationHandlers();
  kestrune::TThread::SetMainThread(std::this_thread::get_id());
  // The program's files live beside the executable, whatever the working folder.
  const std::string appDir = kestrune::platform::DirectoryOf(kestrune::platform::RunningExecutablePath());

  try {
    LoadBrandingFile(appDir);
  } catch (const std::exception& e) {
    return Fatal(e.what());
  }

  std::unique_ptr<kestrune::platform::PlatformHolder> platform;
  try {
    platform = kestrune::platform::CreatePlatform();
  } catch (const std::exception& e) {
    return Fatal(e.what());
  }

  std::unique_ptr<TWifiLibrary> wifiLibrary;
  try {
    wifiLibrary = LoadWirelessLibrary(appDir);
  } catch (const std::exception& e) {
    return Fatal(e.what());
  }
  platform->SetWirelessLinkQuery(WirelessLinkQueryOver(*wifiLibrary));

  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
  QApplication::setApplicationDisplayName(QString::fromLatin1(kApplicationTitle));
  // Hidden in the tray is a normal state; only an accepted close ends the run.
  QApplication::setQuitOnLastWindowClosed(false);
  kestrune::TThread::SetSynchronizeWakeHook([] {
    QMetaObject::invokeMethod(qApp, [] { kestrune::TThread::CheckSynchronize(); }, Qt::QueuedConnection);
  });

  int rc = 0;
  {
    TForm1 form(platform->Get(), *wifiLibrary);
    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (signalsHandled) {
      signalNotifier = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
      QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &form, [&form] {
        char buf[64];
        while (read(gSignalPipe[0], buf, sizeof buf) > 0) {
        }
        form.HandleQueryEndSession();
      });
    }
    kestrune::app::InstallFirstPaintProbe(form);
    if (!form.StartMinimized()) form.show();
    rc = QApplication::exec();
    form.Shutdown();
  }
  kestrune::TThread::SetSynchronizeWakeHook({});
  return rc;
}
