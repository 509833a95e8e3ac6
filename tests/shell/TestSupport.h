#pragma once
// Helpers shared by the shell tests: temporary folders, files, captured boxes.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedWireless.h"
#include "platform/sim/SimMachine.h"
#include "ui/MessageBox.h"

class TForm1;

namespace testsupport {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  // With a trailing separator, as the program keeps its own folder.
  std::string Dir() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

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
