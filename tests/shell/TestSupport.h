#pragma once
// Helpers shared by the shell tests: temporary folders, files, connections,
// captured boxes.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedWireless.h"
#include "fixtures/TempDir.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimNetworkScenario.h"
#include "ui/MessageBox.h"

class TForm1;

namespace testsupport {

class TempDir : public ::TempDir {
 public:
  TempDir() : ::TempDir("kestrune-shell") {}
  // With a trailing separator, as the program keeps its own folder.
  std::string Dir() const { return Path().string() + "/"; }
};

// A connection of the simulated machine: GUID number n, named name, with a
// device name of name + " device".
inline kestrune::platform::SimAdapter Connection(int n, const std::string& name, bool physical, bool wireless,
                                                 kestrune::platform::NETCON_STATUS status =
                                                     kestrune::platform::NCS_CONNECTED) {
  kestrune::platform::SimAdapter a;
  a.guid = kestrune::platform::SimNetworkBuilder::GuidFor(n);
  a.connectionName = name;
  a.deviceName = name + " device";
  a.pnpInstanceId = physical ? std::string(wireless ? "USB\\VID_0BDA&PID_8176\\1" : "PCI\\VEN_8086&DEV_100E\\1")
                             : std::string("ROOT\\NET\\0000");
  a.mediaSubType = wireless ? 2u : 1u;
  a.status = status;
  a.mac = {0x02, 0, 0, 0, 0, static_cast<std::uint8_t>(n)};
  return a;
}

void WriteFile(const std::filesystem::path& p, const std::string& data);
std::string ReadFile(const std::filesystem::path& p);

// Installs a prompt that records every box and answers with answer; the
// previous prompt comes back when it goes out of scope.
class MessageCapture {
 public:
  explicit MessageCapture(kestrune::ui::Answer answer = kestrune::ui::Answer::Ok);
  ~MessageCapture();
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;
  // Runs when a box appears, before it is answered.
  void OnShow(std::function<void(const kestrune::ui::MessageRequest&)> fn) { onShow_ = std::move(fn); }
  const std::vector<kestrune::ui::MessageRequest>& Requests() const { return requests_; }

 private:
  kestrune::ui::Answer answer_;
  std::function<void(const kestrune::ui::MessageRequest&)> onShow_;
  std::vector<kestrune::ui::MessageRequest> requests_;
  kestrune::ui::MessagePrompt previous_;
};

// The simulated laptop (a connected wired LAN, a Wi-Fi adapter) whose program
// folder is a temporary directory, with the scripted wireless table; it
// builds the real main window on them.
class WindowHarness {
 public:
  // laptop false: a computer without any network connection, for tests that build their own.
  explicit WindowHarness(bool laptop = true);
  ~WindowHarness();
  // The window as main() makes it, except that ending the loop is only counted.
  std::unique_ptr<TForm1> MakeForm();
  std::filesystem::path Settings() const { return dir.Path() / "setup.ini"; }

  TempDir dir;
  kestrune::platform::SimMachine machine;
  ScriptedWireless& wireless;
  TWifiLibrary library;
  // How often a window of this harness ended the message loop.
  int terminations = 0;
};

// Processes events until done() holds or timeoutMs passes; returns done().
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000);

}  // namespace testsupport
