// Pictures of the main window's three pages on the simulated laptop, for the
// documentation:
//   kestrune_screenshot <folder>
// writes home.png, hotspot-setup.png (Wi-Fi started) and connect.png there.
// Settings and the simulated air go to a temporary folder, so neither the
// program folder nor a running instance is touched.
#include <stdlib.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QPixmap>
#include <QThread>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "core/Thread.h"
#include "fixtures/TempDir.h"
#include "platform/SystemInfo.h"
#include "platform/sim/SimMachine.h"
#include "shell/Unit1.h"
#include "shell/UnitGlobal.h"
#include "ui/Form1View.h"
#include "ui/MessageBox.h"
#include "wireless/WifiNetwork.h"
#include "wireless/wifi.h"

namespace fs = std::filesystem;

namespace {

bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

// Lets pending layout and paint work finish before a picture is taken.
void Settle() {
  for (int i = 0; i < 10; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
}

void Save(TForm1& form, const fs::path& file) {
  Settle();
  const QPixmap picture = form.grab();
  if (picture.isNull() || !picture.save(QString::fromStdString(file.string()), "PNG"))
    throw std::runtime_error("cannot write " + file.string());
  std::printf("%s\n", file.c_str());
}

int Run(const fs::path& out) {
  std::error_code ec;
  fs::create_directories(out, ec);
  if (ec) throw std::runtime_error("cannot make " + out.string() + ": " + ec.message());

  const std::string appDir = kestrune::platform::DirectoryOf(kestrune::platform::RunningExecutablePath());
  LoadBrandingFile(appDir);
  const auto library = LoadWirelessLibrary(appDir);

  TempDir temp("kestrune-screenshot");
  // An air of its own: another instance's network must not show up in the pictures.
  setenv("KESTRUNE_SIM_AIR", (temp.Path() / "air").c_str(), 1);
  unsetenv("KESTRUNE_SIM_WIFI");

  kestrune::platform::SimMachine machine;
  machine.LoadDefaultScenario();
  machine.System().SetExecutablePath((temp.Path() / "kestrune").string());
  machine.SetWirelessLinkQuery(WirelessLinkQueryOver(*library));

  // Boxes are answered at once; what they said is reported.
  kestrune::ui::SetMessagePrompt([](const kestrune::ui::MessageRequest& r) {
    std::fprintf(stderr, "message: %s\n", r.text.toLocal8Bit().constData());
    return r.buttons == kestrune::ui::Buttons::YesNo ? kestrune::ui::Answer::No : kestrune::ui::Answer::Ok;
  });

  TForm1 form(machine.Get(), *library);
  form.OnTerminate = [] {};
  form.show();
  if (!WaitFor([&] { return form.isVisible() && form.LastInternetState() != 0; }))
    throw std::runtime_error("the Internet state never arrived");

  TForm1View& view = *form.View();
  view.actHome->trigger();
  Save(form, out / "home.png");

  view.actHotspotTab->trigger();
  form.UpdateActions();
  if (!view.actStartSharing->isEnabled()) throw std::runtime_error("\"Start WiFi\" is not enabled");
  view.actStartSharing->trigger();
  form.UpdateActions();
  if (!form.SharingActive()) throw std::runtime_error("Wi-Fi did not start");
  Save(form, out / "hotspot-setup.png");
  if (view.PanelText(TForm1View::kSharingPanel) != QStringLiteral("Internet Sharing Enabled"))
    throw std::runtime_error("the status bar does not show sharing enabled");

  view.actConnectToHotspot->trigger();
  Save(form, out / "connect.png");

  form.Shutdown();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argc > 0 ? argv[0] : "kestrune_screenshot");
    return 2;
  }
  kestrune::TThread::SetMainThread(std::this_thread::get_id());
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  kestrune::TThread::SetSynchronizeWakeHook([] {
    QMetaObject::invokeMethod(qApp, [] { kestrune::TThread::CheckSynchronize(); }, Qt::QueuedConnection);
  });
  int rc = 1;
  try {
    rc = Run(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kestrune_screenshot: %s\n", e.what());
  }
  kestrune::TThread::SetSynchronizeWakeHook({});
  return rc;
}
