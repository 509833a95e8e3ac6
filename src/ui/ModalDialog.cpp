#include "ui/ModalDialog.h"

#include <QDialog>
#include <mutex>

namespace kestrune::ui {
namespace {

std::mutex gRunnerLock;
ModalRunner gRunner;

}  // namespace

ModalRunner SetModalRunner(ModalRunner runner) {
  std::lock_guard lock(gRunnerLock);
  std::swap(gRunner, runner);
  return runner;
}

int RunModal(QDialog& dialog) {
  ModalRunner runner;
  {
    std::lock_guard lock(gRunnerLock);
    runner = gRunner;
  }
  if (!runner) return dialog.exec();
  dialog.setResult(QDialog::Rejected);
  const int result = runner(dialog);
  // A runner must never leave a "modal" dialog behind.
  if (dialog.isVisible()) dialog.reject();
  return result;
}

ModalRunner DrivingRunner(std::function<void(QDialog&)> drive) {
  return [drive = std::move(drive)](QDialog& dialog) {
    dialog.show();
    if (drive) drive(dialog);
    if (dialog.isVisible()) dialog.reject();
    return dialog.result();
  };
}

}  // namespace kestrune::ui
