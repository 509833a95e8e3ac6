#include "shell/OptionsUnit.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Strings.h"
#include "shell/UnitGlobal.h"
#include "ui/MessageBox.h"
#include "ui/ModalDialog.h"
#include "ui/Translate.h"
#include "wireless/NetUtil.h"

namespace {

const QColor kRed(0xFF, 0x00, 0x00);
const QColor kNavy(0x00, 0x00, 0x80);

void SetTextColor(QWidget* widget, const QColor& color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, color);
  widget->setPalette(palette);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text) {
  auto* label = new QLabel(Translate(text), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  return label;
}

std::string Trimmed(const QLineEdit* edit) { return kestrune::Trim(edit->text().toStdString()); }

}  // namespace

bool IsValidNetworkKeyLength(const std::string& key) {
  const std::size_t length = kestrune::AnsiToWide(kestrune::Trim(key)).size();
  return length == 5 || length == 13;
}

TOptionsForm::TOptionsForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("OptionsForm"));
  setWindowTitle(Translate("Options"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);

  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  lblSSID = MakeLabel(this, "lblSSID", "Network Name (SSID) :  ");
  edtSSID = new QLineEdit(this);
  edtSSID->setObjectName(QStringLiteral("edtSSID"));
  lblSSID->setBuddy(edtSSID);
  lblSSIDMark = MakeLabel(this, "lblSSIDMark", " * ");
  lblPassword = MakeLabel(this, "lblPassword", "Connection Password :  ");
  edtPassword = new QLineEdit(this);
  edtPassword->setObjectName(QStringLiteral("edtPassword"));
  edtPassword->setEchoMode(QLineEdit::Normal);
  lblPassword->setBuddy(edtPassword);
  lblPasswordMark = MakeLabel(this, "lblPasswordMark", " * ");
  for (QLabel* bold : {lblSSID, lblPassword}) {
    QFont font = bold->font();
    font.setBold(true);
    bold->setFont(font);
  }
  grid->addWidget(lblSSID, 0, 0);
  grid->addWidget(edtSSID, 0, 1);
  grid->addWidget(lblSSIDMark, 0, 2);
  grid->addWidget(lblPassword, 1, 0);
  grid->addWidget(edtPassword, 1, 1);
  grid->addWidget(lblPasswordMark, 1, 2);
  layout->addLayout(grid);

  lblHint = MakeLabel(this, "lblHint", "Password MUST be 5 or 13 digits or letters.");
  lblHint->setWordWrap(true);
  layout->addWidget(lblHint);
  chkAutoRun = new QCheckBox(Translate("Autorun with Windows"), this);
  chkAutoRun->setObjectName(QStringLiteral("chkAutoRun"));
  chkStartMin = new QCheckBox(Translate("Start minimized"), this);
  chkStartMin->setObjectName(QStringLiteral("chkStartMin"));
  layout->addWidget(chkAutoRun);
  layout->addWidget(chkStartMin);
  layout->addStretch(1);
  lblNote = MakeLabel(this, "lblNote", "* Application restart required.");
  layout->addWidget(lblNote);

  SetTextColor(lblSSIDMark, kRed);
  SetTextColor(lblPasswordMark, kRed);
  SetTextColor(lblNote, kRed);
  SetTextColor(lblHint, kNavy);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  Button1 = new QPushButton(Translate("&OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);
  Button2 = new QPushButton(Translate("&Cancel"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  layout->addLayout(buttons);

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

int TOptionsForm::Execute() { return kestrune::ui::RunModal(*this); }

void TOptionsForm::Button1Click() {
  using kestrune::ui::Icon;
  if (Trimmed(edtSSID).empty()) {
    kestrune::ui::ShowMessage(this, Icon::Error, QStringLiteral("Please input network name!"));
    edtSSID->setFocus();
    return;
  }
  if (!IsValidNetworkKeyLength(Trimmed(edtPassword))) {
    kestrune::ui::ShowMessage(this, Icon::Error, QStringLiteral("Password MUST be 5 or 13 digits or letters."));
    edtPassword->setFocus();
    return;
  }
  accept();
}

bool EditOptions(TOptionsForm& form, kestrune::platform::IRegistry& registry, const std::string& exePath,
                 bool& autoRun, bool& startMinimized, std::string& ssid, std::string& password) {
  form.chkAutoRun->setChecked(autoRun);
  form.chkStartMin->setChecked(startMinimized);
  form.edtSSID->setText(QString::fromStdString(ssid));
  form.edtPassword->setText(QString::fromStdString(password));
  form.edtSSID->setEnabled(true);
  form.edtPassword->setEnabled(true);
  if (form.Execute() != QDialog::Accepted) return false;

  autoRun = form.chkAutoRun->isChecked();
  startMinimized = form.chkStartMin->isChecked();
  ssid = Trimmed(form.edtSSID);
  password = Trimmed(form.edtPassword);
  // Applied at every confirmation, so the system follows the box even when
  // someone changed the entry behind the program's back.
  if (autoRun)
    SetAutoRun(registry, exePath, kAutoRunValueName);
  else
    RemoveAutoRun(registry, kAutoRunValueName);
  return true;
}
