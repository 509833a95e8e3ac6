#pragma once
// The Options dialog: network name, network key, start minimised and start
// with the system.
//
// How the main window uses it (created once, after the window, and reused):
//
//   void TForm1::actOptionsExecute() {
//     if (!EditOptions(*FOptionsForm, *FPlatform.registry, FPlatform.system->ExecutablePath(),
//                      FAutoRun, FStartMinimized, FSSID, FPassword))
//       return;
//     // The Connect page shows the new name and key at once, if it is the one showing.
//     if (FView->tbConnectToHotspot->isVisible()) tbConnectToHotspotShow();
//   }
//
// The new name and key are not handed to the Wi-Fi controller: they take
// effect at the next start, as the dialog's note says.
#include <QDialog>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrune::platform {
class IRegistry;
}

class TOptionsForm : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 370;
  static constexpr int kClientHeight = 278;

  // Passes its texts through the message catalogues.
  explicit TOptionsForm(QWidget* parent = nullptr);

  // Runs the dialog modally; QDialog::Accepted or QDialog::Rejected.
  int Execute();

  // OK: closes with OK only when the name is not blank and the key, trimmed,
  // is 5 or 13 characters long; otherwise says why and stays open.
  void Button1Click();

  QLabel* lblSSID = nullptr;
  QLineEdit* edtSSID = nullptr;
  QLabel* lblPassword = nullptr;
  QLineEdit* edtPassword = nullptr;
  QLabel* lblSSIDMark = nullptr;
  QLabel* lblPasswordMark = nullptr;
  QLabel* lblHint = nullptr;
  QLabel* lblNote = nullptr;
  QCheckBox* chkAutoRun = nullptr;
  QCheckBox* chkStartMin = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
};

// Whether a key has a length the wireless network accepts, counted as the
// Wi-Fi controller counts it (trimmed, in the units the library receives).
bool IsValidNetworkKeyLength(const std::string& key);

// Fills the dialog from the four settings and runs it. On OK the settings
// take the dialog's values (name and key trimmed) and the start-with-system
// entry "KESTRUNE" is written with exePath, or removed, at every confirmation;
// returns true. Cancel or the close box changes nothing and returns false.
bool EditOptions(TOptionsForm& form, kestrune::platform::IRegistry& registry, const std::string& exePath,
                 bool& autoRun, bool& startMinimized, std::string& ssid, std::string& password);
