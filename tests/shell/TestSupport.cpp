#include "TestSupport.h"

#include <stdlib.h>

#include <QThread>
#include <iterator>
#include <stdexcept>

#include "shell/Unit1.h"

namespace testsupport {

void WriteFile(const std::filesystem::path& p, const std::string& data) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << data;
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

MessageCapture::MessageCapture(kestrune::ui::Answer answer) : answer_(answer) {
  previous_ = kestrune::ui::SetMessagePrompt([this](const kestrune::ui::MessageRequest& r) {
    requests_.push_back(r);
    if (onShow_) onShow_(r);
    return answer_;
  });
}

MessageCapture::~MessageCapture() { kestrune::ui::SetMessagePrompt(std::move(previous_)); }

WindowHarness::WindowHarness(bool laptop) : wireless(ScriptedWireless::Reset()), library(wireless.Table()) {
  machine.System().SetExecutablePath(dir.Dir() + "kestrune");
  // A computer without any adapter cannot build its catalogue; most tests start from the laptop.
  if (laptop) machine.LoadDefaultScenario();
}

WindowHarness::~WindowHarness() = default;

std::unique_ptr<TForm1> WindowHarness::MakeForm() {
  auto form = std::make_unique<TForm1>(machine.Get(), library);
  form->OnTerminate = [this] { ++terminations; };
  return form;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
  return true;
}

}  // namespace testsupport
