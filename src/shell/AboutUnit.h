#pragma once
// The About box and the contact mail.
//
// How the main window uses them (the box is created once, after the window
// and the Options dialog, and reused):
//
//   FAboutBox = new TAboutBox(*FPlatform.system, this);
//   void TForm1::actAboutExecute() { FAboutBox->Execute(); }
//   void TForm1::actWriteToUsExecute() { WriteToUs(); }
//
// Both addresses go to the desktop's handlers through kestrune::ui::OpenUrl;
// whether a browser or mail program is there is not examined.
#include <QDialog>
#include <QUrl>
#include <string>

class QLabel;
class QPushButton;

namespace kestrune::platform {
class ISystemInfo;
}

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 409;
  static constexpr int kClientHeight = 257;

  explicit TAboutBox(kestrune::platform::ISystemInfo& system, QWidget* parent = nullptr);

  // Runs the box modally.
  int Execute();

  // The fixed texts through the message catalogues; once, at creation.
  void FormCreate();
  // The product's name, version and address; every time the box is shown.
  void FormShow();
  // Opens the product's web page in the user's browser.
  void URLClick();

  QLabel* imgProgramIcon = nullptr;
  QLabel* sLabel1 = nullptr;
  QLabel* SoftName = nullptr;
  QLabel* lblVersion = nullptr;
  QLabel* Version = nullptr;
  QLabel* URL = nullptr;
  QPushButton* OKButton = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  kestrune::platform::ISystemInfo& FSystem;
};

// The product page as a web address: http or https only (a bare host name gets
// http), so the link never opens a local file or runs a program; empty otherwise.
QUrl ProductWebAddress(const std::string& productUrl);

// The contact mail as one mailto text, assembled from its fixed pieces with
// ApplicationName and SupportMailAddress; CR LF separates the body's lines.
std::string ContactMailText();
// The same message as an address the mail handler understands: recipient,
// subject and body each encoded as a URL requires, so every character of
// them arrives as it is (blanks, line breaks, and an "&" or "#" in a name).
QUrl ContactMailUrl();
// Hands the contact mail to the desktop's mail program.
void WriteToUs();
