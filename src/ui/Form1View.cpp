#include "ui/Form1View.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <initializer_list>

#include "ui/Translate.h"

// Resources of a static library are registered by hand; outside any namespace.
static void InitIconResources() { Q_INIT_RESOURCE(kestrune_icons); }

namespace {

const QColor kConnectedColor(0x00, 0x80, 0x00);
const QColor kOtherColor(0xFF, 0x00, 0x00);
const QColor kNavy(0x00, 0x00, 0x80);
constexpr char kCaptionProperty[] = "kestruneCaption";

QIcon LoadIcon(const char* name) {
  static const bool registered = (InitIconResources(), true);
  (void)registered;
  return QIcon(QStringLiteral(":/kestrune/icons/%1.svg").arg(QLatin1String(name)));
}

void SetTextColor(QWidget* widget, const QColor& color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, color);
  palette.setColor(QPalette::Text, color);
  widget->setPalette(palette);
}

void SetBold(QWidget* widget) {
  QFont font = widget->font();
  font.setBold(true);
  widget->setFont(font);
}

// Every text a label shows is taken literally: network names and keys come
// from the user and the air, and must never be read as markup.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, bool wrap = false) {
  auto* label = new QLabel(parent);
  label->setObjectName(QLatin1String(name));
  label->setTextFormat(Qt::PlainText);
  label->setText(text);
  label->setWordWrap(wrap);
  return label;
}

QPlainTextEdit* MakeMemo(QWidget* parent, const char* name) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setObjectName(QLatin1String(name));
  memo->setReadOnly(true);
  memo->setFixedHeight(38);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  return memo;
}

// A push button that does what its action does and is enabled when the action
// is; it keeps its own caption unless followText.
QPushButton* MakeActionButton(QWidget* parent, const char* name, const QString& caption, QAction* action,
                              bool followText) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  button->setAutoDefault(false);
  if (action == nullptr) return button;
  const auto sync = [button, action, followText] {
    button->setEnabled(action->isEnabled());
    button->setVisible(action->isVisible());
    if (followText) button->setText(action->text());
  };
  sync();
  QObject::connect(action, &QAction::changed, button, sync);
  QObject::connect(button, &QAbstractButton::clicked, action, [action] { action->trigger(); });
  return button;
}

// Two pictures on one spot; the disconnected one is created last and lies on top.
QWidget* MakeImagePair(QWidget* parent, const char* connectedName, const char* disconnectedName, const char* iconBase,
                       TPicture*& connected, TPicture*& disconnected) {
  auto* spot = new QWidget(parent);
  spot->setFixedSize(48, 48);
  const QString base = QLatin1String(iconBase);
  connected = new TPicture(LoadIcon((base + QStringLiteral("_connected")).toLatin1().constData()), 48, spot);
  connected->setObjectName(QLatin1String(connectedName));
  connected->move(0, 0);
  disconnected = new TPicture(LoadIcon((base + QStringLiteral("_disconnected")).toLatin1().constData()), 48, spot);
  disconnected->setObjectName(QLatin1String(disconnectedName));
  return spot;
}

void ShowPair(TPicture* connected, TPicture* disconnected, bool isConnected) {
  connected->setVisible(isConnected);
  disconnected->setVisible(!isConnected);
}

// A page of the notebook, its rows laid out top to bottom.
QVBoxLayout* MakePage(QWidget*& page, const char* name, const QMargins& margins, int spacing) {
  page = new QWidget();
  page->setObjectName(QLatin1String(name));
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(margins);
  layout->setSpacing(spacing);
  return layout;
}

// A panel of the connect page, its rows laid out top to bottom under a bold heading.
QVBoxLayout* MakePanel(QFrame* panel, const char* name, QLabel*& heading, const char* headingName,
                       const QString& headingText) {
  panel->setObjectName(QLatin1String(name));
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(12, 10, 12, 10);
  layout->setSpacing(6);
  heading = MakeLabel(panel, headingName, headingText);
  SetBold(heading);
  layout->addWidget(heading);
  return layout;
}

// A page's row of buttons: one on the left, the others on the right, all of one width at least.
QHBoxLayout* MakeButtonRow(QPushButton* left, std::initializer_list<QPushButton*> right) {
  auto* row = new QHBoxLayout();
  row->setSpacing(8);
  left->setMinimumWidth(96);
  row->addWidget(left);
  row->addStretch(1);
  for (QPushButton* b : right) {
    b->setMinimumWidth(96);
    row->addWidget(b);
  }
  return row;
}

QFrame* MakeDivider(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::VLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setFixedHeight(36);
  return line;
}

const char kSkin[] = R"(
QFrame#TopBar {
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #FFFFFF, stop:1 #EEEEEE);
  border: none; border-bottom: 2px solid #F08000;
}
QFrame#TopBar QToolButton {
  border: 1px solid transparent; border-radius: 4px; padding: 2px 6px;
}
QFrame#TopBar QToolButton:hover { background: #FFF3E4; border-color: #F6B86A; }
QFrame#TopBar QToolButton:checked { background: #FFE4C2; border-color: #F08000; }
QTabWidget#PageControl1::pane { border: none; margin: 4px 4px 24px 4px; }
QGroupBox {
  border: 1px solid #D4D4D4; border-radius: 4px; margin-top: 8px; padding: 6px 4px 2px 4px;
}
QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 3px; color: #B85F00; }
QPushButton {
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #FFFFFF, stop:1 #EBEBEB);
  border: 1px solid #B4B4B4; border-radius: 3px; padding: 3px 12px; min-height: 17px;
}
QPushButton:hover { border-color: #F08000; }
QPushButton:pressed { background: #FFE4C2; }
QPushButton:disabled { color: #A0A0A0; background: #F3F3F3; border-color: #D6D6D6; }
QPlainTextEdit { border: 1px solid #C8C8C8; border-radius: 2px; background: #FFFFFF; }
QFrame#pnlHost, QFrame#pnlClient { border: 1px solid #D8D8D8; border-radius: 4px; }
TPanelStatusBar { background: #F1F1F1; border-top: 1px solid #D0D0D0; }
)";

}  // namespace

QString QtText(const char* text) {
  QString result = QString::fromUtf8(text);
  result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return result;
}

// ---------------------------------------------------------------------------

TPanelStatusBar::TPanelStatusBar(QWidget* parent) : QStatusBar(parent) {
  setSizeGripEnabled(false);
  setFixedHeight(20);
}

void TPanelStatusBar::SetPanelWidths(const std::vector<int>& widths) {
  FWidths = widths;
  FOwnerDraw.assign(widths.size(), false);
  FTexts.assign(widths.size(), QString());
  update();
}

QRect TPanelStatusBar::PanelRect(int index) const {
  if (index < 0 || index >= PanelCount()) return {};
  int left = 0;
  for (int i = 0; i < index; ++i) left += FWidths[static_cast<std::size_t>(i)];
  // The top line is the bar's border, as a panel's bevel would be.
  return QRect(left, 1, FWidths[static_cast<std::size_t>(index)], height() - 1);
}

void TPanelStatusBar::SetOwnerDraw(int index, bool ownerDraw) {
  if (index < 0 || index >= PanelCount()) return;
  FOwnerDraw[static_cast<std::size_t>(index)] = ownerDraw;
  update();
}

bool TPanelStatusBar::OwnerDraw(int index) const {
  return index >= 0 && index < PanelCount() && FOwnerDraw[static_cast<std::size_t>(index)];
}

void TPanelStatusBar::SetPanelText(int index, const QString& text) {
  if (index < 0 || index >= PanelCount()) return;
  FTexts[static_cast<std::size_t>(index)] = text;
}

QString TPanelStatusBar::PanelText(int index) const {
  if (index < 0 || index >= PanelCount()) return {};
  return FTexts[static_cast<std::size_t>(index)];
}

void TPanelStatusBar::paintEvent(QPaintEvent* event) {
  QStatusBar::paintEvent(event);
  QPainter painter(this);
  for (int i = 0; i < PanelCount(); ++i) {
    const QRect rect = PanelRect(i);
    painter.save();
    if (OwnerDraw(i) && OnDrawPanel) {
      OnDrawPanel(painter, i, rect);
    } else {
      painter.drawText(rect.adjusted(4, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, PanelText(i));
    }
    painter.restore();
    painter.setPen(QColor(0xCC, 0xCC, 0xCC));
    painter.drawLine(rect.right() - 1, rect.top() + 3, rect.right() - 1, rect.bottom() - 3);
  }
}

// ---------------------------------------------------------------------------

TPicture::TPicture(const QIcon& icon, int size, QWidget* parent) : QLabel(parent), FIcon(icon) {
  setFixedSize(size, size);
}

void TPicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  FIcon.paint(&painter, rect());
}

// ---------------------------------------------------------------------------

QIcon TForm1View::ApplicationIcon() { return LoadIcon("app"); }

QIcon TForm1View::SmallImage(int index) {
  switch (index) {
    case kImageSharingEnabled:
      return LoadIcon("sharing_enabled");
    case kImageReadyForSharing:
      return LoadIcon("ready");
    default:
      return {};
  }
}

QIcon TForm1View::InternetImage(int index) {
  switch (index) {
    case 0:
      return LoadIcon("internet16_connected");
    case 1:
      return LoadIcon("internet16_disconnected");
    default:
      return {};
  }
}

QString TForm1View::Caption(const QAction* action) {
  if (action == nullptr) return {};
  const QVariant caption = action->property(kCaptionProperty);
  return caption.isValid() ? caption.toString() : action->text();
}

TForm1View::TForm1View(QMainWindow* window, const QString& applicationName) : QObject(window), FWindow(window) {
  setObjectName(QStringLiteral("Form1View"));
  QFont font(QStringLiteral("Tahoma"));
  // Narrow faces first where Tahoma is missing: the status panels are only 160 and 200 pixels wide.
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                    QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans"),
                    QStringLiteral("Sans Serif")});
  font.setPointSize(8);
  FWindow->setFont(font);
  FWindow->setWindowIcon(ApplicationIcon());
  FWindow->setStyleSheet(QLatin1String(kSkin));
  // Minimise and close only; the size is fixed.
  FWindow->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

  BuildActions();
  BuildMenus();

  FClientArea = new QWidget(FWindow);
  FClientArea->setObjectName(QStringLiteral("ClientArea"));
  auto* clientLayout = new QVBoxLayout(FClientArea);
  clientLayout->setContentsMargins(0, 0, 0, 0);
  clientLayout->setSpacing(0);
  clientLayout->addWidget(BuildTopBar());

  FClientPanel = new QWidget(FClientArea);
  FClientPanel->setObjectName(QStringLiteral("ClientPanel"));
  clientLayout->addWidget(FClientPanel, 1);
  PageControl1 = new QTabWidget(FClientPanel);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  BuildHomePage();
  BuildHotspotSetupPage();
  BuildConnectPage();
  FClientPanel->installEventFilter(this);
  FWindow->installEventFilter(this);
  connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
    QAction* page[] = {actHome, actHotspotTab, actConnectToHotspot};
    if (index >= 0 && index < 3) page[index]->setChecked(true);
  });

  BuildStatusBar();
  clientLayout->addWidget(StatusBar1);
  FWindow->setCentralWidget(FClientArea);

  // Step 2.
  ClearSignalFound();
  ShowPage(0);
  // Step 3.
  imgWirelessDisconnected->move(imgWirelessConnected->pos());
  imgWiredDisconnected->move(imgWiredConnected->pos());
  imgInternetDisconnected->move(imgInternetConnected->pos());
  imgWirelessDisconnected->raise();
  imgWiredDisconnected->raise();
  imgInternetDisconnected->raise();
  // Step 5.
  BuildTray();
  SetApplicationName(applicationName.isEmpty() ? QGuiApplication::applicationDisplayName() : applicationName);
  TrayIcon1->show();
  // Step 12.
  for (int i = 0; i < PageControl1->count(); ++i) PageControl1->setTabVisible(i, false);
  PageControl1->tabBar()->hide();
  FClientArea->setFixedSize(kClientWidth, kClientHeight);
  FWindow->layout()->setSizeConstraint(QLayout::SetFixedSize);
  FWindow->adjustSize();
  PlacePageControl();
  CenterOnScreen();
  // Step 13.
  ShowPage(0);
}

TForm1View::~TForm1View() {
  if (FStatusBarGuard) FStatusBarGuard->OnDrawPanel = nullptr;
}

void TForm1View::SetApplicationName(const QString& name) {
  FWindow->setWindowTitle(name);
  if (TrayIcon1 != nullptr) TrayIcon1->setToolTip(name);
}

void TForm1View::CenterOnScreen() {
  QScreen* screen = FWindow->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = FWindow->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  FWindow->move(frame.topLeft());
}

void TForm1View::BuildActions() {
  const auto make = [this](QAction*& action, const char* name, const char* caption) {
    action = new QAction(QtText(caption), FWindow);
    action->setObjectName(QLatin1String(name));
    action->setProperty(kCaptionProperty, QString::fromUtf8(caption));
    FWindow->addAction(action);
  };
  make(actStartSharing, "actStartSharing", "Start WiFi");
  make(actStopSharing, "actStopSharing", "Stop WiFi");
  make(actConnect, "actConnect", "Connect to wifi router");
  make(actDisconnect, "actDisconnect", "Disconnect");
  make(actRefresh2, "actRefresh2", "Refresh");
  make(actHome, "actHome", "Home \r\n&Instruction");
  make(actHotspotTab, "actHotspotTab", "WiFi Settings");
  make(actConnectToHotspot, "actConnectToHotspot", "How To \r\n&Connect");
  make(actOptions, "actOptions", "Options");
  make(actWriteToUs, "actWriteToUs", "Write comments to developer");
  make(actAbout, "actAbout", "A&bout");
  make(actExit, "actExit", "&Exit");
  make(actTroubleShooter, "actTroubleShooter", "");

  actHome->setIcon(LoadIcon("home"));
  actHotspotTab->setIcon(LoadIcon("settings"));
  actConnectToHotspot->setIcon(LoadIcon("connect"));
  actExit->setIcon(LoadIcon("exit"));

  PageActions = new QActionGroup(this);
  PageActions->setObjectName(QStringLiteral("PageActions"));
  PageActions->setExclusive(true);
  for (QAction* page : {actHome, actHotspotTab, actConnectToHotspot}) {
    page->setCheckable(true);
    PageActions->addAction(page);
  }
}

void TForm1View::BuildMenus() {
  QMenuBar* bar = FWindow->menuBar();
  mnuFile = bar->addMenu(QStringLiteral("&File"));
  mnuFile->setObjectName(QStringLiteral("mnuFile"));
  mniMinimizeToTray1 = mnuFile->addAction(QStringLiteral("Minimize To Tray"));
  mniMinimizeToTray1->setObjectName(QStringLiteral("mniMinimizeToTray1"));
  mnuFile->addSeparator();
  mnuFile->addAction(actExit);

  mnuControls = bar->addMenu(QStringLiteral("&Controls"));
  mnuControls->setObjectName(QStringLiteral("mnuControls"));
  mnuControls->addAction(actHome);
  mnuControls->addAction(actHotspotTab);
  mnuControls->addAction(actConnectToHotspot);
  mnuControls->addSeparator();
  mnuControls->addAction(actOptions);

  mnuHelp = bar->addMenu(QStringLiteral("&Help"));
  mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
  mnuHelp->addAction(actWriteToUs);
  mnuHelp->addSeparator();
  mnuHelp->addAction(actAbout);
}

QWidget* TForm1View::BuildTopBar() {
  auto* bar = new QFrame(FClientArea);
  bar->setObjectName(QStringLiteral("TopBar"));
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(6, 3, 6, 4);
  layout->setSpacing(4);
  const auto make = [bar](QToolButton*& button, const char* name, QAction* action) {
    button = new QToolButton(bar);
    button->setObjectName(QLatin1String(name));
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setIconSize(QSize(24, 24));
    button->setAutoRaise(true);
    button->setFixedHeight(38);
  };
  make(btnHome, "btnHome", actHome);
  make(btnHotspotTab, "btnHotspotTab", actHotspotTab);
  make(btnConnectToHotspot, "btnConnectToHotspot", actConnectToHotspot);
  make(btnExit, "btnExit", actExit);
  layout->addWidget(btnHome);
  layout->addWidget(MakeDivider(bar));
  layout->addWidget(btnHotspotTab);
  layout->addWidget(MakeDivider(bar));
  layout->addWidget(btnConnectToHotspot);
  layout->addStretch(1);
  layout->addWidget(btnExit);
  return bar;
}

void TForm1View::BuildHomePage() {
  auto* layout = MakePage(tbHome, "tbHome", QMargins(18, 12, 18, 10), 8);

  lblInstruction = MakeLabel(tbHome, "lblInstruction",
                             QtText("Instruction\r\n\r\nThis utility turns your computer into a wireless router.\r\n"
                                    "To make your current computer a wireless router, please click the button "
                                    "below to find how.\r\n"),
                             true);
  layout->addWidget(lblInstruction);
  btnHotspotTab1 = MakeActionButton(tbHome, "btnHotspotTab1", QStringLiteral("Setup my computer as a KESTRUNE."),
                                    actHotspotTab, false);
  btnHotspotTab1->setIcon(LoadIcon("settings"));
  btnHotspotTab1->setIconSize(QSize(20, 20));
  btnHotspotTab1->setMinimumWidth(280);
  layout->addWidget(btnHotspotTab1, 0, Qt::AlignLeft);
  layout->addSpacing(10);

  lblConnectInstruction =
      MakeLabel(tbHome, "lblConnectInstruction",
                QStringLiteral("After your KESTRUNE has been started, please click the button below to find how to "
                               "connect to Internet through the KESTRUNE."),
                true);
  layout->addWidget(lblConnectInstruction);
  btnConnectToHotspot1 = MakeActionButton(
      tbHome, "btnConnectToHotspot1", QStringLiteral("Click here to connect to KESTRUNE."), actConnectToHotspot, false);
  btnConnectToHotspot1->setIcon(LoadIcon("connect"));
  btnConnectToHotspot1->setIconSize(QSize(20, 20));
  btnConnectToHotspot1->setMinimumWidth(280);
  layout->addWidget(btnConnectToHotspot1, 0, Qt::AlignLeft);
  layout->addSpacing(14);

  gbInternetStatus = new QGroupBox(QStringLiteral("My Internet Status"), tbHome);
  gbInternetStatus->setObjectName(QStringLiteral("gbInternetStatus"));
  auto* group = new QHBoxLayout(gbInternetStatus);
  group->setContentsMargins(10, 8, 10, 8);
  group->setSpacing(12);
  group->addWidget(MakeImagePair(gbInternetStatus, "imgInternetConnected", "imgInternetDisconnected", "internet",
                                 imgInternetConnected, imgInternetDisconnected));
  lblInternetStatus = MakeLabel(gbInternetStatus, "lblInternetStatus", QStringLiteral("Internet Status"));
  SetBold(lblInternetStatus);
  group->addWidget(lblInternetStatus, 1);
  layout->addWidget(gbInternetStatus);

  btnRefresh4 = MakeActionButton(tbHome, "btnRefresh4", QStringLiteral("Refresh Internet Status"), actRefresh2, false);
  layout->addWidget(btnRefresh4, 0, Qt::AlignRight);
  layout->addStretch(1);
  PageControl1->addTab(tbHome, QStringLiteral("Home"));
}

void TForm1View::BuildHotspotSetupPage() {
  auto* layout = MakePage(tbHotspotSetup, "tbHotspotSetup", QMargins(18, 10, 18, 8), 6);

  const auto group = [this](const char* name, const QString& title, const char* connectedName,
                            const char* disconnectedName, const char* iconBase, TPicture*& connected,
                            TPicture*& disconnected, QLabel*& status, const char* statusName, QPlainTextEdit*& memo,
                            const char* memoName, QPushButton*& select, const char* selectName) {
    auto* box = new QGroupBox(title, tbHotspotSetup);
    box->setObjectName(QLatin1String(name));
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(10, 6, 10, 6);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(4);
    grid->addWidget(MakeImagePair(box, connectedName, disconnectedName, iconBase, connected, disconnected), 0, 0, 2, 1,
                    Qt::AlignTop);
    status = MakeLabel(box, statusName, QString());
    SetBold(status);
    grid->addWidget(status, 0, 1);
    select = MakeActionButton(box, selectName, QStringLiteral("Select..."), nullptr, false);
    grid->addWidget(select, 0, 2, Qt::AlignRight);
    memo = MakeMemo(box, memoName);
    grid->addWidget(memo, 1, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    return box;
  };

  lblSelectSource = MakeLabel(tbHotspotSetup, "lblSelectSource",
                              QStringLiteral("To turn your current notebook into a KESTRUNE, please select the "
                                             "connection through which Internet goes live on this computer."),
                              true);
  layout->addWidget(lblSelectSource);
  gbSourceConnection =
      group("gbSourceConnection", QStringLiteral("My connection  through which Internet goes live"),
            "imgWiredConnected", "imgWiredDisconnected", "wired", imgWiredConnected, imgWiredDisconnected,
            lblWiredStatus, "lblWiredStatus", mmoSrcConnDescription, "mmoSrcConnDescription", btnSource, "btnSource");
  layout->addWidget(gbSourceConnection);

  lblSelectDest = MakeLabel(tbHotspotSetup, "lblSelectDest",
                            QStringLiteral("And then select your wifi adapter connection if the auto detection below "
                                           "is not correct."),
                            true);
  layout->addWidget(lblSelectDest);
  gbWirelessConnection =
      group("gbWirelessConnection", QStringLiteral("My Wireless Connection Status"), "imgWirelessConnected",
            "imgWirelessDisconnected", "wireless", imgWirelessConnected, imgWirelessDisconnected, lblWirelessStatus,
            "lblWirelessStatus", mmoWirelessDescription, "mmoWirelessDescription", btnSelectDest, "btnSelectDest");
  lblWirelessStatus->setText(QStringLiteral("Not found."));
  SetTextColor(lblWirelessStatus, kOtherColor);
  mmoWirelessDescription->setPlainText(QStringLiteral("Please make sure the Wi-Fi switch is turned on."));
  layout->addWidget(gbWirelessConnection);

  lblStartSharing = MakeLabel(tbHotspotSetup, "lblStartSharing", QString(), true);
  SetTextColor(lblStartSharing, kNavy);
  lblStartSharing->setMinimumHeight(30);
  layout->addWidget(lblStartSharing);

  btnRefresh2 = MakeActionButton(tbHotspotSetup, "btnRefresh2", actRefresh2->text(), actRefresh2, true);
  btnStartSharing = MakeActionButton(tbHotspotSetup, "btnStartSharing", actStartSharing->text(), actStartSharing, true);
  btnStopSharing = MakeActionButton(tbHotspotSetup, "btnStopSharing", actStopSharing->text(), actStopSharing, true);
  layout->addLayout(MakeButtonRow(btnRefresh2, {btnStartSharing, btnStopSharing}));
  layout->addStretch(1);
  PageControl1->addTab(tbHotspotSetup, QStringLiteral("Hotspot Setup"));
}

void TForm1View::BuildConnectPage() {
  auto* layout = MakePage(tbConnectToHotspot, "tbConnectToHotspot", QMargins(14, 10, 14, 8), 10);

  auto* host = new QFrame(tbConnectToHotspot);
  pnlHost = host;
  auto* hostLayout =
      MakePanel(host, "pnlHost", lblHostHeading, "lblHostHeading", QStringLiteral("1. I AM A KESTRUNE."));
  lblHostInstruction =
      MakeLabel(host, "lblHostInstruction",
                QStringLiteral("If current computer is acting as a wifi router and you want to share the Internet to "
                               "your other Wi-Fi enabled devices, such as iPhone, PDA or Mac Book, switch on the "
                               "Wi-Fi on thoes devices, search for the wireless signal below to connect."),
                true);
  hostLayout->addWidget(lblHostInstruction);
  auto* values = new QGridLayout();
  values->setHorizontalSpacing(4);
  values->setVerticalSpacing(4);
  lblSSIDCaption = MakeLabel(host, "lblSSIDCaption", QStringLiteral("Wireless network name (SSID): "));
  lblSSID = MakeLabel(host, "lblSSID", QString());
  lblPasswordCaption = MakeLabel(host, "lblPasswordCaption", QStringLiteral("Connection Password: "));
  lblPassword = MakeLabel(host, "lblPassword", QString());
  for (QLabel* value : {lblSSID, lblPassword}) {
    SetTextColor(value, kNavy);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  values->addWidget(lblSSIDCaption, 0, 0);
  values->addWidget(lblSSID, 0, 1);
  values->addWidget(lblPasswordCaption, 1, 0);
  values->addWidget(lblPassword, 1, 1);
  values->setColumnStretch(1, 1);
  btnOptions = MakeActionButton(host, "btnOptions", actOptions->text(), actOptions, true);
  btnOptions->setMinimumWidth(96);
  values->addWidget(btnOptions, 0, 2, 2, 1, Qt::AlignRight | Qt::AlignVCenter);
  hostLayout->addLayout(values);
  layout->addWidget(host);

  auto* client = new QFrame(tbConnectToHotspot);
  pnlClient = client;
  auto* clientLayout = MakePanel(client, "pnlClient", lblClientHeading, "lblClientHeading",
                                 QStringLiteral("2. I WANT TO CONNECT TO A KESTRUNE."));
  lblClientInstruction = MakeLabel(client, "lblClientInstruction",
                                   QStringLiteral("If there is a KESTRUNE running nearby and broadcasting a wifi "
                                                  "signal, click the button below to connect to that KESTRUNE."),
                                   true);
  clientLayout->addWidget(lblClientInstruction);
  lblSignalFound = MakeLabel(client, "lblSignalFound", QString());
  SetTextColor(lblSignalFound, kConnectedColor);
  SetBold(lblSignalFound);
  lblSignalFound->setMinimumHeight(lblSignalFound->fontMetrics().height());
  clientLayout->addWidget(lblSignalFound);
  lblInternetSharedHint = MakeLabel(client, "lblInternetSharedHint", QString(), true);
  lblInternetSharedHint->setMinimumHeight(lblInternetSharedHint->fontMetrics().height());
  clientLayout->addWidget(lblInternetSharedHint);
  sBitBtn2 = MakeActionButton(client, "sBitBtn2", actRefresh2->text(), actRefresh2, true);
  btnConnect = MakeActionButton(client, "btnConnect", QStringLiteral("Connect to KESTRUNE"), actConnect, false);
  btnDisconnect1 = MakeActionButton(client, "btnDisconnect1", actDisconnect->text(), actDisconnect, true);
  clientLayout->addLayout(MakeButtonRow(sBitBtn2, {btnConnect, btnDisconnect1}));
  layout->addWidget(client);
  layout->addStretch(1);
  PageControl1->addTab(tbConnectToHotspot, QStringLiteral("Connect to Hotspot"));
}

void TForm1View::BuildStatusBar() {
  StatusBar1 = new TPanelStatusBar(FClientArea);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->SetPanelWidths({200, 160, 200});
  StatusBar1->SetOwnerDraw(kSharingPanel, true);
  StatusBar1->SetOwnerDraw(kInternetPanel, true);
  StatusBar1->OnDrawPanel = [this](QPainter& painter, int panelId, const QRect& rect) {
    sStatusBar1DrawPanel(painter, panelId, rect);
  };
  FStatusBarGuard = StatusBar1;
}

void TForm1View::BuildTray() {
  PopupMenu1 = new QMenu(FWindow);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  mniOpenMainWindow = PopupMenu1->addAction(QStringLiteral("&Open Main Window"));
  mniOpenMainWindow->setObjectName(QStringLiteral("mniOpenMainWindow"));
  PopupMenu1->setDefaultAction(mniOpenMainWindow);
  mniTrayExit = PopupMenu1->addAction(QStringLiteral("E&xit"));
  mniTrayExit->setObjectName(QStringLiteral("mniTrayExit"));

  TrayIcon1 = new QSystemTrayIcon(ApplicationIcon(), FWindow);
  TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
  TrayIcon1->setContextMenu(PopupMenu1);
}

void TForm1View::PlacePageControl() {
  // Border and tab strip lie outside the visible panel.
  PageControl1->setGeometry(-4, -4, FClientPanel->width() + 8, FClientPanel->height() + 28);
}

bool TForm1View::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FClientPanel && event->type() == QEvent::Resize) PlacePageControl();
  // The frame's size is known only once the window exists on screen.
  if (watched == FWindow && event->type() == QEvent::Show && !FCentredOnShow) {
    FCentredOnShow = true;
    CenterOnScreen();
  }
  return QObject::eventFilter(watched, event);
}

void TForm1View::ShowPage(int index) {
  if (index < 0 || index >= PageControl1->count()) return;
  PageControl1->setCurrentIndex(index);
  QAction* page[] = {actHome, actHotspotTab, actConnectToHotspot};
  page[index]->setChecked(true);
}

void TForm1View::ShowSourceGroup(const QString& name, const QString& deviceName, bool connected) {
  mmoSrcConnDescription->setPlainText(name + QStringLiteral(" - ") + deviceName);
  lblWiredStatus->setText(connected ? QStringLiteral("Connected") : QStringLiteral("Disconnected"));
  SetTextColor(lblWiredStatus, connected ? kConnectedColor : kOtherColor);
  ShowPair(imgWiredConnected, imgWiredDisconnected, connected);
}

void TForm1View::ShowWirelessGroup(const QString& name, const QString& deviceName, bool connected) {
  mmoWirelessDescription->setPlainText(name + QStringLiteral(" - ") + deviceName);
  lblWirelessStatus->setText(connected ? QStringLiteral("Connected") : QStringLiteral("Disconnected"));
  SetTextColor(lblWirelessStatus, connected ? kConnectedColor : kOtherColor);
  ShowPair(imgWirelessConnected, imgWirelessDisconnected, connected);
}

void TForm1View::ShowAvailability(bool canShare) {
  if (canShare) {
    lblStartSharing->setText(QtText(
        "Your current connection is available for broadcasting wifi signal,\r\nclick the button below to start wifi "
        "now."));
    lblInternetSharedHint->setText(
        QStringLiteral("Your Internet has been already connected via your wired connection."));
  } else {
    lblStartSharing->setText(QStringLiteral("Your current connection is not available for sharing your Internet."));
    lblInternetSharedHint->clear();
  }
}

void TForm1View::ShowInternetState(std::uint8_t state) {
  if (state != 1 && state != 2) return;
  const bool connected = state == 1;
  lblInternetStatus->setText(connected ? QStringLiteral("Internet is connected.")
                                       : QStringLiteral("Internet is disconnected."));
  SetTextColor(lblInternetStatus, connected ? kConnectedColor : kOtherColor);
  ShowPair(imgInternetConnected, imgInternetDisconnected, connected);
}

void TForm1View::ClearSignalFound() { lblSignalFound->clear(); }

void TForm1View::ShowSignalFound(const QString& ssid) {
  lblSignalFound->setText(QStringLiteral("Signal [") + ssid + QStringLiteral("] found nearby"));
}

void TForm1View::ShowConnectPageValues(const QString& ssid, const QString& password) {
  lblSSID->setText(ssid);
  lblPassword->setText(password);
}

QString TForm1View::PanelText(int panelId) const {
  if (panelId != kSharingPanel && panelId != kInternetPanel) return {};
  return FPanelTexts[static_cast<std::size_t>(panelId)];
}

void TForm1View::sStatusBar1DrawPanel(QPainter& painter, int panelId, const QRect& rect) {
  if (panelId != kSharingPanel && panelId != kInternetPanel) return;
  painter.setBrush(Qt::NoBrush);
  const TStatusPanelState state = PanelState ? PanelState() : TStatusPanelState{};
  const char* text = nullptr;
  QIcon icon;
  if (panelId == kSharingPanel) {
    if (state.canShare) {
      text = state.sharingActive ? "Internet Sharing Enabled" : "Ready for Sharing";
      icon = SmallImage(state.sharingActive ? kImageSharingEnabled : kImageReadyForSharing);
    }
  } else if (state.internetState == 1) {
    text = "Connected to Internet";
    icon = InternetImage(0);
  } else {
    // 0 is "not yet known"; nothing else is ever written, but no value may show as connected.
    text = state.internetState == 2 ? "Internet Disconnected" : "Unavailable";
    icon = InternetImage(1);
  }
  const QString shown = text != nullptr ? Translate(text) : QString();
  FPanelTexts[static_cast<std::size_t>(panelId)] = shown;
  StatusBar1->SetPanelText(panelId, shown);
  if (text == nullptr) return;
  const QRect textRect(rect.left() + 20, rect.top() + 2, rect.width() - 24, rect.height() - 2);
  // Wide faces and long translations: narrow the face first, cut the text last.
  QFont font = StatusBar1->font();
  if (QFontMetrics(font).horizontalAdvance(shown) > textRect.width()) font.setStretch(QFont::SemiCondensed);
  const QFontMetrics metrics(font);
  painter.setPen(StatusBar1->palette().color(QPalette::WindowText));
  painter.setFont(font);
  painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   metrics.elidedText(shown, Qt::ElideRight, textRect.width()));
  icon.paint(&painter, QRect(rect.left(), rect.top() + 2, 16, 16));
}
