#include "shell/AboutUnit.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/SystemInfo.h"
#include "shell/UnitGlobal.h"
#include "ui/Form1View.h"
#include "ui/ModalDialog.h"
#include "ui/Translate.h"
#include "ui/UrlOpener.h"
#include "wireless/NetUtil.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QLabel* MakeLabel(QWidget* parent, const char* name) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  // Branding texts are shown literally, never as markup.
  label->setTextFormat(Qt::PlainText);
  return label;
}

constexpr char kCrLf[] = "\r\n";

std::string MailSubject() { return ApplicationName + " Comments"; }

std::string MailBody() {
  return std::string("Hello Support Team,") + kCrLf + "Product Name: " + ApplicationName + kCrLf +
         "My Windows Version: " + kCrLf + "My Laptop/Desktop Model: " + kCrLf + "Input your comments here...";
}

}  // namespace

TAboutBox::TAboutBox(kestrune::platform::ISystemInfo& system, QWidget* parent) : QDialog(parent), FSystem(system) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);

  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  imgProgramIcon = MakeLabel(this, "imgProgramIcon");
  imgProgramIcon->setFixedSize(32, 32);
  imgProgramIcon->setPixmap(TForm1View::ApplicationIcon().pixmap(32, 32));
  top->addWidget(imgProgramIcon, 0, Qt::AlignTop);
  sLabel1 = MakeLabel(this, "sLabel1");
  QFont big(QStringLiteral("Tahoma"), 18);
  big.setBold(true);
  sLabel1->setFont(big);
  auto* shadow = new QGraphicsDropShadowEffect(sLabel1);
  shadow->setBlurRadius(6);
  shadow->setOffset(2, 2);
  shadow->setColor(QColor(0, 0, 0, 90));
  sLabel1->setGraphicsEffect(shadow);
  top->addWidget(sLabel1, 1);
  layout->addLayout(top);

  auto* grid = new QGridLayout;
  SoftName = MakeLabel(this, "SoftName");
  grid->addWidget(SoftName, 0, 0, 1, 2);
  lblVersion = MakeLabel(this, "lblVersion");
  Version = MakeLabel(this, "Version");
  grid->addWidget(lblVersion, 1, 0);
  grid->addWidget(Version, 1, 1);
  URL = MakeLabel(this, "URL");
  QFont bold = URL->font();
  bold.setBold(true);
  URL->setFont(bold);
  QPalette palette = URL->palette();
  palette.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xFF));
  URL->setPalette(palette);
  URL->setCursor(Qt::PointingHandCursor);
  URL->installEventFilter(this);
  grid->addWidget(URL, 2, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid);
  layout->addStretch(1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  OKButton = new QPushButton(this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setDefault(true);
  buttons->addWidget(OKButton);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  FormCreate();
}

void TAboutBox::FormCreate() {
  setWindowTitle(Translate("About"));
  lblVersion->setText(Translate("Version"));
  URL->setToolTip(Translate("Visit our website."));
  OKButton->setText(Translate("OK"));
}

int TAboutBox::Execute() { return kestrune::ui::RunModal(*this); }

void TAboutBox::FormShow() {
  sLabel1->setText(Q(ApplicationName));
  SoftName->setText(Q(ApplicationName));
  Version->setText(Q(GetFileVersionText(FSystem, FSystem.ExecutablePath())));
  URL->setText(Q(ProductUrl));
}

void TAboutBox::URLClick() {
  const QUrl address = ProductWebAddress(ProductUrl);
  if (!address.isEmpty()) kestrune::ui::OpenUrl(address);
}

void TAboutBox::showEvent(QShowEvent* event) {
  FormShow();
  QDialog::showEvent(event);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == URL && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    URLClick();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

QUrl ProductWebAddress(const std::string& productUrl) {
  const QString text = Q(productUrl).trimmed();
  if (text.isEmpty()) return {};
  QUrl url = QUrl::fromUserInput(text);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
      url.host().isEmpty())
    return {};
  return url;
}

std::string ContactMailText() {
  return "mailto:" + SupportMailAddress + "?subject=" + MailSubject() + "&body=" + MailBody();
}

QUrl ContactMailUrl() {
  QUrl url;
  url.setScheme(QStringLiteral("mailto"));
  url.setPath(Q(SupportMailAddress), QUrl::DecodedMode);
  const QByteArray query = "subject=" + QUrl::toPercentEncoding(Q(MailSubject())) +
                           "&body=" + QUrl::toPercentEncoding(Q(MailBody()));
  url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
  return url;
}

void WriteToUs() { kestrune::ui::OpenUrl(ContactMailUrl()); }
