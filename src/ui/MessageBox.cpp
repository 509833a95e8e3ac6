#include "ui/MessageBox.h"

#include <QMessageBox>
#include <mutex>
#include <stdexcept>

namespace kestrune::ui {
namespace {

std::mutex& PromptMutex() {
  static std::mutex m;
  return m;
}

MessagePrompt& Prompt() {
  static MessagePrompt prompt;
  return prompt;
}

Answer RealBox(const MessageRequest& r) {
  QMessageBox box(r.parent);
  box.setWindowTitle(r.title);
  // The texts keep the system's CR LF breaks; Qt breaks lines at LF alone.
  box.setText(QString(r.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  switch (r.icon) {
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
    case Icon::Error: box.setIcon(QMessageBox::Critical); break;
  }
  if (r.buttons == Buttons::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  const int result = box.exec();
  if (r.buttons == Buttons::YesNo) return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
  return Answer::Ok;
}

}  // namespace

MessagePrompt SetMessagePrompt(MessagePrompt prompt) {
  std::lock_guard lock(PromptMutex());
  std::swap(Prompt(), prompt);
  return prompt;
}

Answer ShowMessage(QWidget* parent, Icon icon, const QString& text, Buttons buttons) {
  MessageRequest request{parent, icon, QString::fromLatin1(kMessageTitle), text, buttons};
  MessagePrompt prompt;
  {
    std::lock_guard lock(PromptMutex());
    prompt = Prompt();
  }
  if (prompt) return prompt(request);
  return RealBox(request);
}

void ShowException(QWidget* parent, std::exception_ptr error) {
  if (!error) return;
  QString text;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    text = QString::fromStdString(e.what());
  } catch (...) {
    text = QStringLiteral("An unexpected error occurred.");
  }
  ShowMessage(parent, Icon::Error, text, Buttons::Ok);
}

void ShowCurrentException(QWidget* parent) { ShowException(parent, std::current_exception()); }

}  // namespace kestrune::ui
