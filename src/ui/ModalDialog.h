#pragma once
// The one way the application runs a dialog modally. A runner installed with
// SetModalRunner takes the place of the nested event loop, so tests drive a
// shown dialog and close it themselves instead of waiting for a person.
#include <functional>

class QDialog;

namespace kestrune::ui {

// Gets the dialog shown and must leave it closed; returns its result.
using ModalRunner = std::function<int(QDialog&)>;

// Replaces the runner and returns the previous one; an empty runner means exec().
ModalRunner SetModalRunner(ModalRunner runner);

// QDialog::Accepted or QDialog::Rejected.
int RunModal(QDialog& dialog);

// A runner for tests: shows the dialog, lets drive() act on it, and rejects
// it if drive() left it open.
ModalRunner DrivingRunner(std::function<void(QDialog&)> drive);

}  // namespace kestrune::ui
