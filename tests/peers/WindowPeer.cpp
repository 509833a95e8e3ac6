// A second computer with the real main window: the simulated laptop starts
// Wi-Fi through the window's "Start WiFi", says "started", and when its
// standard input closes leaves through "Exit" as a user would. It then checks
// that the window's shutdown left nothing behind: no sharing, no network on
// the air.
//   kestrune_window_peer [path of libwireless.so]
// Exit status: 0 all well; 2 Wi-Fi did not start; 3 the exit did not end the
// loop; 4 an error; 5 still sharing; 6 still hosting.
#include <stdlib.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include "../fixtures/TempDir.h"
#include "core/Thread.h"
#include "platform/SystemInfo.h"
#include "platform/sim/SimMachine.h"
#include "shell/Unit1.h"
#include "ui/Form1View.h"
#include "ui/MessageBox.h"
#include "wireless/wifi.h"

namespace fs = std::filesystem;

namespace {

std::string BesideMe() {
  const std::string exe = kestrune::platform::RunningExecutablePath();
  if (exe.empty()) return kWirelessLibraryFileName;
  return kestrune::platform::DirectoryOf(exe) + kWirelessLibraryFileName;
}

void Say(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

// A network file of this process still in the air folder.
bool StillOnTheAir() {
  const char* air = std::getenv("KESTRUNE_SIM_AIR");
  if (air == nullptr) return false;
  const std::string prefix = "host-" + std::to_string(getpid()) + "-";
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(air, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0 && entry.path().extension() == ".net") return true;
  }
  return false;
}

int Run(const std::string& libraryPath) {
  const auto library = LoadWifiLibrary(libraryPath);
  TempDir programDir{"kestrune-window-peer"};
  kestrune::platform::SimMachine machine;
  machine.LoadDefaultScenario();
  machine.System().SetExecutablePath((programDir.Path() / "kestrune").string());

  // The boxes a user would answer: OK to the reports, Yes to the exit question.
  kestrune::ui::SetMessagePrompt([](const kestrune::ui::MessageRequest& r) {
    std::fprintf(stderr, "kestrune_window_peer: message: %s\n", r.text.toLocal8Bit().constData());
    return r.buttons == kestrune::ui::Buttons::YesNo ? kestrune::ui::Answer::Yes : kestrune::ui::Answer::Ok;
  });

  bool loopEnded = false;
  {
    TForm1 form(machine.Get(), *library);
    form.OnTerminate = [] { QCoreApplication::quit(); };
    form.show();
    TForm1View& view = *form.View();
    form.UpdateActions();
    if (!view.actStartSharing->isEnabled()) {
      Say("failed: \"Start WiFi\" is not enabled");
      return 2;
    }
    view.actStartSharing->trigger();
    if (!form.SharingActive()) {
      Say("failed: Wi-Fi did not start");
      return 2;
    }
    Say("started");

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &form, [&input, &view] {
      char buffer[256];
      const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
      if (n > 0 || (n < 0 && (errno == EINTR || errno == EAGAIN))) return;
      input.setEnabled(false);
      view.actExit->trigger();
    });
    QApplication::exec();
    loopEnded = form.ExitRequested() && !form.isVisible();
    form.Shutdown();
  }
  if (!loopEnded) return 3;
  if (!machine.NetSharing().PublicConnection().empty() || !machine.NetSharing().PrivateConnection().empty())
    return 5;
  if (StillOnTheAir()) return 6;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  kestrune::TThread::SetMainThread(std::this_thread::get_id());
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  kestrune::TThread::SetSynchronizeWakeHook([] {
    QMetaObject::invokeMethod(qApp, [] { kestrune::TThread::CheckSynchronize(); }, Qt::QueuedConnection);
  });
  int rc = 4;
  try {
    rc = Run(argc > 1 ? argv[1] : BesideMe());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kestrune_window_peer: %s\n", e.what());
    Say("failed");
  }
  kestrune::TThread::SetSynchronizeWakeHook({});
  return rc;
}
