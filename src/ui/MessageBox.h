#pragma once
// The one way the application puts a modal message in front of the user.
// Boxes are titled "Message". A prompt installed with SetMessagePrompt answers
// instead of a real box, so tests capture and answer them without a person.
#include <QString>
#include <exception>
#include <functional>

class QWidget;

namespace kestrune::ui {

enum class Icon { Information, Question, Warning, Error };
enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

inline constexpr char kMessageTitle[] = "Message";

struct MessageRequest {
  QWidget* parent = nullptr;
  Icon icon = Icon::Information;
  QString title;
  QString text;
  Buttons buttons = Buttons::Ok;
};

using MessagePrompt = std::function<Answer(const MessageRequest&)>;

// Replaces the prompt and returns the previous one; an empty prompt means real boxes.
MessagePrompt SetMessagePrompt(MessagePrompt prompt);

Answer ShowMessage(QWidget* parent, Icon icon, const QString& text, Buttons buttons = Buttons::Ok);

// The application's error display: an error box with the exception's text.
// Call it from inside a catch block.
void ShowCurrentException(QWidget* parent);
void ShowException(QWidget* parent, std::exception_ptr error);

}  // namespace kestrune::ui
