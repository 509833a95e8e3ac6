#include <gtest/gtest.h>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <functional>
#include <memory>

#include "ui/Form1View.h"

namespace {

const QColor kGreen(0x00, 0x80, 0x00);
const QColor kRed(0xFF, 0x00, 0x00);
const QColor kNavy(0x00, 0x00, 0x80);

QColor TextColor(const QWidget* w) { return w->palette().color(QPalette::WindowText); }

class Form1ViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::make_unique<QMainWindow>();
    view = new TForm1View(window.get(), QStringLiteral("KESTRUNE Test"));
    view->PanelState = [this] { return state; };
  }

  template <typename T>
  T* Find(const char* name) const {
    return window->findChild<T*>(QLatin1String(name));
  }

  void ShowWindow() {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }

  std::unique_ptr<QMainWindow> window;
  TForm1View* view = nullptr;  // owned by the window
  TStatusPanelState state;
};

TEST_F(Form1ViewTest, EveryControlExistsWithItsInitialText) {
  struct Row {
    const char* name;
    QString text;
  };
  const Row labels[] = {
      {"lblInstruction",
       "Instruction\n\nThis utility turns your computer into a wireless router.\nTo make your current computer a "
       "wireless router, please click the button below to find how.\n"},
      {"lblConnectInstruction",
       "After your KESTRUNE has been started, please click the button below to find how to connect to Internet "
       "through the KESTRUNE."},
      {"lblInternetStatus", "Internet Status"},
      {"lblSelectSource",
       "To turn your current notebook into a KESTRUNE, please select the connection through which Internet goes "
       "live on this computer."},
      {"lblWiredStatus", ""},
      {"lblSelectDest", "And then select your wifi adapter connection if the auto detection below is not correct."},
      {"lblWirelessStatus", "Not found."},
      {"lblStartSharing", ""},
      {"lblHostHeading", "1. I AM A KESTRUNE."},
      {"lblHostInstruction",
       "If current computer is acting as a wifi router and you want to share the Internet to your other Wi-Fi "
       "enabled devices, such as iPhone, PDA or Mac Book, switch on the Wi-Fi on thoes devices, search for the "
       "wireless signal below to connect."},
      {"lblSSIDCaption", "Wireless network name (SSID): "},
      {"lblSSID", ""},
      {"lblPasswordCaption", "Connection Password: "},
      {"lblPassword", ""},
      {"lblClientHeading", "2. I WANT TO CONNECT TO A KESTRUNE."},
      {"lblClientInstruction",
       "If there is a KESTRUNE running nearby and broadcasting a wifi signal, click the button below to connect to "
       "that KESTRUNE."},
      {"lblSignalFound", ""},
      {"lblInternetSharedHint", ""},
  };
  for (const Row& row : labels) {
    const auto* label = Find<QLabel>(row.name);
    ASSERT_NE(label, nullptr) << row.name;
    EXPECT_EQ(label->text(), row.text) << row.name;
    EXPECT_EQ(label->textFormat(), Qt::PlainText) << row.name;
  }

  struct ButtonRow {
    const char* name;
    QString text;
    QAction* action;
  };
  const ButtonRow buttons[] = {
      {"btnHotspotTab1", "Setup my computer as a KESTRUNE.", view->actHotspotTab},
      {"btnConnectToHotspot1", "Click here to connect to KESTRUNE.", view->actConnectToHotspot},
      {"btnRefresh4", "Refresh Internet Status", view->actRefresh2},
      {"btnSource", "Select...", nullptr},
      {"btnSelectDest", "Select...", nullptr},
      {"btnRefresh2", "Refresh", view->actRefresh2},
      {"btnStartSharing", "Start WiFi", view->actStartSharing},
      {"btnStopSharing", "Stop WiFi", view->actStopSharing},
      {"btnOptions", "Options", view->actOptions},
      {"sBitBtn2", "Refresh", view->actRefresh2},
      {"btnConnect", "Connect to KESTRUNE", view->actConnect},
      {"btnDisconnect1", "Disconnect", view->actDisconnect},
  };
  for (const ButtonRow& row : buttons) {
    auto* button = Find<QPushButton>(row.name);
    ASSERT_NE(button, nullptr) << row.name;
    EXPECT_EQ(button->text(), row.text) << row.name;
    if (row.action == nullptr) continue;
    // Bound: a click runs the action, and enabling follows it.
    QSignalSpy triggered(row.action, &QAction::triggered);
    button->click();
    EXPECT_EQ(triggered.count(), 1) << row.name;
    row.action->setEnabled(false);
    EXPECT_FALSE(button->isEnabled()) << row.name;
    row.action->setEnabled(true);
    EXPECT_TRUE(button->isEnabled()) << row.name;
  }

  const std::pair<const char*, QToolButton*> topBar[] = {{"btnHome", view->btnHome},
                                                         {"btnHotspotTab", view->btnHotspotTab},
                                                         {"btnConnectToHotspot", view->btnConnectToHotspot},
                                                         {"btnExit", view->btnExit}};
  for (const auto& [name, pointer] : topBar) {
    EXPECT_EQ(Find<QToolButton>(name), pointer) << name;
    ASSERT_NE(pointer, nullptr) << name;
  }
  EXPECT_EQ(view->btnHome->defaultAction(), view->actHome);
  EXPECT_EQ(view->btnHotspotTab->defaultAction(), view->actHotspotTab);
  EXPECT_EQ(view->btnConnectToHotspot->defaultAction(), view->actConnectToHotspot);
  EXPECT_EQ(view->btnExit->defaultAction(), view->actExit);

  const std::pair<const char*, QString> groups[] = {
      {"gbInternetStatus", "My Internet Status"},
      {"gbSourceConnection", "My connection  through which Internet goes live"},
      {"gbWirelessConnection", "My Wireless Connection Status"}};
  for (const auto& [name, title] : groups) {
    const auto* group = Find<QGroupBox>(name);
    ASSERT_NE(group, nullptr) << name;
    EXPECT_EQ(group->title(), title);
  }

  for (const char* name : {"mmoSrcConnDescription", "mmoWirelessDescription"}) {
    const auto* memo = Find<QPlainTextEdit>(name);
    ASSERT_NE(memo, nullptr) << name;
    EXPECT_TRUE(memo->isReadOnly()) << name;
  }
  EXPECT_EQ(view->mmoSrcConnDescription->toPlainText(), QString());
  EXPECT_EQ(view->mmoWirelessDescription->toPlainText(),
            QStringLiteral("Please make sure the Wi-Fi switch is turned on."));

  // Colours and weights that carry meaning.
  EXPECT_EQ(TextColor(view->lblWirelessStatus), kRed);
  for (const QLabel* navy : {view->lblStartSharing, view->lblSSID, view->lblPassword})
    EXPECT_EQ(TextColor(navy), kNavy) << navy->objectName().toStdString();
  EXPECT_EQ(TextColor(view->lblSignalFound), kGreen);
  for (const QLabel* bold : {view->lblSignalFound, view->lblInternetStatus, view->lblWiredStatus,
                             view->lblWirelessStatus, view->lblHostHeading, view->lblClientHeading})
    EXPECT_TRUE(bold->font().bold()) << bold->objectName().toStdString();

  EXPECT_EQ(Find<QTabWidget>("PageControl1"), view->PageControl1);
  EXPECT_EQ(view->PageControl1->indexOf(Find<QWidget>("tbHome")), 0);
  EXPECT_EQ(view->PageControl1->indexOf(Find<QWidget>("tbHotspotSetup")), 1);
  EXPECT_EQ(view->PageControl1->indexOf(Find<QWidget>("tbConnectToHotspot")), 2);
  EXPECT_EQ(view->PageControl1->currentIndex(), 0);
  EXPECT_EQ(Find<QStatusBar>("StatusBar1"), view->StatusBar1);
  EXPECT_EQ(window->findChild<QSystemTrayIcon*>(QStringLiteral("TrayIcon1")), view->TrayIcon1);
}

TEST_F(Form1ViewTest, ColoursSurviveShowingTheSkinnedWindow) {
  ShowWindow();
  view->ShowInternetState(2);
  EXPECT_EQ(TextColor(view->lblWirelessStatus), kRed);
  EXPECT_EQ(TextColor(view->lblSSID), kNavy);
  EXPECT_EQ(TextColor(view->lblInternetStatus), kRed);
  EXPECT_TRUE(view->lblSignalFound->font().bold());
}

// The three image pairs with the display that shows each.
struct PairCase {
  const char* connected;
  const char* disconnected;
  std::function<void(TForm1View&, bool)> show;
};

TEST_F(Form1ViewTest, ImagePairsShareOneSpotAndSwapWithTheirGroup) {
  const PairCase cases[] = {
      {"imgWiredConnected", "imgWiredDisconnected",
       [](TForm1View& v, bool c) { v.ShowSourceGroup(QStringLiteral("LAN"), QStringLiteral("NIC"), c); }},
      {"imgWirelessConnected", "imgWirelessDisconnected",
       [](TForm1View& v, bool c) { v.ShowWirelessGroup(QStringLiteral("WLAN"), QStringLiteral("USB"), c); }},
      {"imgInternetConnected", "imgInternetDisconnected",
       [](TForm1View& v, bool c) { v.ShowInternetState(c ? 1 : 2); }},
  };
  for (const PairCase& c : cases) {
    auto* on = Find<QLabel>(c.connected);
    auto* off = Find<QLabel>(c.disconnected);
    ASSERT_NE(on, nullptr) << c.connected;
    ASSERT_NE(off, nullptr) << c.disconnected;
    EXPECT_EQ(on->geometry(), off->geometry()) << c.connected;
    EXPECT_EQ(on->size(), QSize(48, 48));
    EXPECT_EQ(on->parentWidget(), off->parentWidget());
    // Before the group is first shown both are there, the disconnected one on top.
    EXPECT_FALSE(on->isHidden()) << c.connected;
    EXPECT_FALSE(off->isHidden()) << c.disconnected;
    QWidget* spot = on->parentWidget();
    EXPECT_EQ(spot->childAt(on->geometry().center()), off) << c.disconnected;

    c.show(*view, true);
    EXPECT_FALSE(on->isHidden()) << c.connected;
    EXPECT_TRUE(off->isHidden()) << c.disconnected;
    EXPECT_EQ(spot->childAt(on->geometry().center()), on) << c.connected;
    c.show(*view, false);
    EXPECT_TRUE(on->isHidden()) << c.connected;
    EXPECT_FALSE(off->isHidden()) << c.disconnected;
  }
}

TEST_F(Form1ViewTest, ConnectionGroupsShowNameDeviceAndStatus) {
  struct Group {
    std::function<void(const QString&, const QString&, bool)> show;
    QPlainTextEdit* memo;
    QLabel* status;
  };
  TForm1View* v = view;
  const Group groups[] = {{[v](const QString& n, const QString& d, bool c) { v->ShowSourceGroup(n, d, c); },
                           v->mmoSrcConnDescription, v->lblWiredStatus},
                          {[v](const QString& n, const QString& d, bool c) { v->ShowWirelessGroup(n, d, c); },
                           v->mmoWirelessDescription, v->lblWirelessStatus}};
  for (const Group& g : groups) {
    g.show(QStringLiteral("LAN 2"), QStringLiteral("Gigabit NIC"), true);
    EXPECT_EQ(g.memo->toPlainText(), QStringLiteral("LAN 2 - Gigabit NIC"));
    EXPECT_EQ(g.status->text(), QStringLiteral("Connected"));
    EXPECT_EQ(TextColor(g.status), kGreen);
    g.show(QStringLiteral("<b>Wi-Fi</b>"), QString(), false);
    EXPECT_EQ(g.memo->toPlainText(), QStringLiteral("<b>Wi-Fi</b> - "));
    EXPECT_EQ(g.status->text(), QStringLiteral("Disconnected"));
    EXPECT_EQ(TextColor(g.status), kRed);
  }
}

TEST_F(Form1ViewTest, AvailabilityTextsBothWays) {
  view->ShowAvailability(true);
  EXPECT_EQ(view->lblStartSharing->text(),
            QStringLiteral("Your current connection is available for broadcasting wifi signal,\nclick the button below "
                           "to start wifi now."));
  EXPECT_EQ(view->lblInternetSharedHint->text(),
            QStringLiteral("Your Internet has been already connected via your wired connection."));
  view->ShowAvailability(false);
  EXPECT_EQ(view->lblStartSharing->text(),
            QStringLiteral("Your current connection is not available for sharing your Internet."));
  EXPECT_EQ(view->lblInternetSharedHint->text(), QString());
}

TEST_F(Form1ViewTest, InternetGroupFollowsStatesOneAndTwoOnly) {
  view->ShowInternetState(0);
  EXPECT_EQ(view->lblInternetStatus->text(), QStringLiteral("Internet Status"));
  EXPECT_FALSE(view->imgInternetConnected->isHidden());
  EXPECT_FALSE(view->imgInternetDisconnected->isHidden());

  view->ShowInternetState(1);
  EXPECT_EQ(view->lblInternetStatus->text(), QStringLiteral("Internet is connected."));
  EXPECT_EQ(TextColor(view->lblInternetStatus), kGreen);
  EXPECT_FALSE(view->imgInternetConnected->isHidden());
  EXPECT_TRUE(view->imgInternetDisconnected->isHidden());

  view->ShowInternetState(2);
  EXPECT_EQ(view->lblInternetStatus->text(), QStringLiteral("Internet is disconnected."));
  EXPECT_EQ(TextColor(view->lblInternetStatus), kRed);
  EXPECT_TRUE(view->imgInternetConnected->isHidden());
  EXPECT_FALSE(view->imgInternetDisconnected->isHidden());

  for (std::uint8_t unknown : {std::uint8_t{0}, std::uint8_t{3}, std::uint8_t{255}}) {
    view->ShowInternetState(unknown);
    EXPECT_EQ(view->lblInternetStatus->text(), QStringLiteral("Internet is disconnected.")) << int(unknown);
    EXPECT_TRUE(view->imgInternetConnected->isHidden()) << int(unknown);
  }
}

TEST_F(Form1ViewTest, SignalFoundAndConnectPageValuesAreShownLiterally) {
  view->ShowSignalFound(QStringLiteral("KESTRUNE"));
  EXPECT_EQ(view->lblSignalFound->text(), QStringLiteral("Signal [KESTRUNE] found nearby"));
  view->ClearSignalFound();
  EXPECT_EQ(view->lblSignalFound->text(), QString());

  // Names and keys from the air or the user are never markup.
  view->ShowSignalFound(QStringLiteral("<i>net</i> &amp;"));
  EXPECT_EQ(view->lblSignalFound->text(), QStringLiteral("Signal [<i>net</i> &amp;] found nearby"));
  view->ShowConnectPageValues(QStringLiteral("Caf\u00e9 <b>"), QStringLiteral("a&b<c>"));
  EXPECT_EQ(view->lblSSID->text(), QStringLiteral("Caf\u00e9 <b>"));
  EXPECT_EQ(view->lblPassword->text(), QStringLiteral("a&b<c>"));
  for (const QLabel* l : {view->lblSignalFound, view->lblSSID, view->lblPassword})
    EXPECT_EQ(l->textFormat(), Qt::PlainText);
}

TEST_F(Form1ViewTest, StatusPanelsPaintTheirTableRow) {
  struct Row {
    bool canShare;
    bool sharingActive;
    std::uint8_t internet;
    QString sharing;
    QString internetText;
  };
  const Row rows[] = {
      {true, true, 1, "Internet Sharing Enabled", "Connected to Internet"},
      {true, false, 0, "Ready for Sharing", "Unavailable"},
      // Sharing recorded as active while the source is gone: the panel goes blank.
      {false, true, 2, "", "Internet Disconnected"},
      {false, false, 1, "", "Connected to Internet"},
      {false, false, 7, "", "Unavailable"},
  };
  ASSERT_EQ(view->StatusBar1->PanelCount(), 3);
  EXPECT_EQ(view->StatusBar1->PanelRect(0).width(), 200);
  EXPECT_EQ(view->StatusBar1->PanelRect(1).width(), 160);
  EXPECT_EQ(view->StatusBar1->PanelRect(2).width(), 200);
  EXPECT_FALSE(view->StatusBar1->OwnerDraw(0));
  EXPECT_TRUE(view->StatusBar1->OwnerDraw(1));
  EXPECT_TRUE(view->StatusBar1->OwnerDraw(2));
  for (const Row& row : rows) {
    state = {row.canShare, row.sharingActive, row.internet};
    const QImage image = view->StatusBar1->grab().toImage();
    EXPECT_EQ(view->PanelText(TForm1View::kSharingPanel), row.sharing) << row.sharing.toStdString();
    EXPECT_EQ(view->PanelText(TForm1View::kInternetPanel), row.internetText) << row.internetText.toStdString();
    EXPECT_EQ(view->StatusBar1->PanelText(1), row.sharing);
    EXPECT_EQ(view->StatusBar1->PanelText(2), row.internetText);
    EXPECT_EQ(view->StatusBar1->PanelText(0), QString());

    // A blank sharing panel has nothing drawn in it; a filled one has its icon and text.
    const QRect panel = view->StatusBar1->PanelRect(1).adjusted(0, 0, -3, 0);
    const qreal dpr = image.devicePixelRatio();
    const QImage area = image.copy(QRect(panel.topLeft() * dpr, panel.size() * dpr));
    bool uniform = true;
    for (int y = 0; y < area.height() && uniform; ++y)
      for (int x = 0; x < area.width() && uniform; ++x) uniform = area.pixel(x, y) == area.pixel(0, 0);
    EXPECT_EQ(uniform, row.sharing.isEmpty()) << row.sharing.toStdString();
  }
}

TEST_F(Form1ViewTest, InternetChangeAloneDoesNotRepaintTheStatusBar) {
  state = {true, false, 1};
  ShowWindow();
  view->StatusBar1->repaint();
  ASSERT_EQ(view->PanelText(TForm1View::kInternetPanel), QStringLiteral("Connected to Internet"));

  state.internetState = 2;
  view->ShowInternetState(2);
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(view->lblInternetStatus->text(), QStringLiteral("Internet is disconnected."));
  EXPECT_EQ(view->PanelText(TForm1View::kInternetPanel), QStringLiteral("Connected to Internet"));

  view->StatusBar1->repaint();  // the refresh's forced repaint
  EXPECT_EQ(view->PanelText(TForm1View::kInternetPanel), QStringLiteral("Internet Disconnected"));
  EXPECT_EQ(view->PanelText(TForm1View::kSharingPanel), QStringLiteral("Ready for Sharing"));
}

TEST_F(Form1ViewTest, PanelsWithoutAStateSourceShowTheInitialState) {
  view->PanelState = nullptr;
  view->StatusBar1->grab();
  EXPECT_EQ(view->PanelText(TForm1View::kSharingPanel), QString());
  EXPECT_EQ(view->PanelText(TForm1View::kInternetPanel), QStringLiteral("Unavailable"));
}

TEST_F(Form1ViewTest, WindowGeometryAndPageControl) {
  ShowWindow();
  EXPECT_EQ(window->windowTitle(), QStringLiteral("KESTRUNE Test"));
  EXPECT_EQ(view->ClientArea()->size(), QSize(580, 536));
  EXPECT_EQ(window->centralWidget(), view->ClientArea());
  const int menuHeight = window->menuBar()->isNativeMenuBar() ? 0 : window->menuBar()->height();
  EXPECT_EQ(window->size(), QSize(580, 536 + menuHeight));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());

  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));

  QWidget* panel = view->ClientPanel();
  EXPECT_EQ(view->PageControl1->parentWidget(), panel);
  EXPECT_EQ(view->PageControl1->geometry(), QRect(-4, -4, panel->width() + 8, panel->height() + 28));
  EXPECT_TRUE(view->PageControl1->tabBar()->isHidden());
  for (int i = 0; i < view->PageControl1->count(); ++i) EXPECT_FALSE(view->PageControl1->isTabVisible(i));
  // The visible page fills the panel exactly: no frame, no strip, nothing cut off.
  QWidget* page = view->PageControl1->currentWidget();
  EXPECT_EQ(page->mapTo(panel, QPoint(0, 0)), QPoint(0, 0));
  EXPECT_EQ(page->size(), panel->size());
  // Every page's content fits inside it.
  for (int i = 0; i < view->PageControl1->count(); ++i) {
    QWidget* p = view->PageControl1->widget(i);
    EXPECT_LE(p->minimumSizeHint().height(), panel->height()) << p->objectName().toStdString();
  }

  // Centred on the screen at start (to the pixel that halving rounds).
  const QRect screen = window->screen()->availableGeometry();
  const QRect frame = window->frameGeometry();
  EXPECT_LE(std::abs(frame.left() - screen.left() - (screen.width() - frame.width()) / 2), 1);
  EXPECT_LE(std::abs(frame.top() - screen.top() - (screen.height() - frame.height()) / 2), 1);
}

TEST_F(Form1ViewTest, ActionsCaptionsAndPageGroup) {
  struct Row {
    QAction* action;
    const char* name;
    QString caption;
  };
  const Row rows[] = {
      {view->actStartSharing, "actStartSharing", "Start WiFi"},
      {view->actStopSharing, "actStopSharing", "Stop WiFi"},
      {view->actConnect, "actConnect", "Connect to wifi router"},
      {view->actDisconnect, "actDisconnect", "Disconnect"},
      {view->actRefresh2, "actRefresh2", "Refresh"},
      {view->actHome, "actHome", "Home \r\n&Instruction"},
      {view->actHotspotTab, "actHotspotTab", "WiFi Settings"},
      {view->actConnectToHotspot, "actConnectToHotspot", "How To \r\n&Connect"},
      {view->actOptions, "actOptions", "Options"},
      {view->actWriteToUs, "actWriteToUs", "Write comments to developer"},
      {view->actAbout, "actAbout", "A&bout"},
      {view->actExit, "actExit", "&Exit"},
      {view->actTroubleShooter, "actTroubleShooter", ""},
  };
  for (const Row& row : rows) {
    ASSERT_NE(row.action, nullptr) << row.name;
    EXPECT_EQ(window->findChild<QAction*>(QLatin1String(row.name)), row.action) << row.name;
    EXPECT_EQ(TForm1View::Caption(row.action), row.caption) << row.name;
    QString qt = row.caption;
    EXPECT_EQ(row.action->text(), qt.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))) << row.name;
    EXPECT_TRUE(row.action->isEnabled()) << row.name;
  }

  const QList<QAction*> pages = view->PageActions->actions();
  ASSERT_EQ(pages, (QList<QAction*>{view->actHome, view->actHotspotTab, view->actConnectToHotspot}));
  EXPECT_TRUE(view->PageActions->isExclusive());
  EXPECT_TRUE(view->actHome->isChecked());
  EXPECT_TRUE(view->btnHome->isChecked());

  view->ShowPage(2);
  EXPECT_EQ(view->PageControl1->currentIndex(), 2);
  EXPECT_TRUE(view->actConnectToHotspot->isChecked());
  EXPECT_TRUE(view->btnConnectToHotspot->isChecked());
  EXPECT_FALSE(view->btnHome->isChecked());

  // The page buttons only run the action; showing the page is the owner's.
  QSignalSpy triggered(view->actHotspotTab, &QAction::triggered);
  view->btnHotspotTab->click();
  EXPECT_EQ(triggered.count(), 1);
  EXPECT_TRUE(view->btnHotspotTab->isChecked());
  EXPECT_FALSE(view->btnConnectToHotspot->isChecked());
  view->actStartSharing->setEnabled(false);
  EXPECT_FALSE(view->btnStartSharing->isEnabled());
}

QStringList MenuEntries(const QMenu* menu) {
  QStringList entries;
  for (const QAction* a : menu->actions()) entries << (a->isSeparator() ? QStringLiteral("-") : a->text());
  return entries;
}

TEST_F(Form1ViewTest, MenusAndTray) {
  const QList<QAction*> top = window->menuBar()->actions();
  ASSERT_EQ(top.size(), 3);
  EXPECT_EQ(top[0]->text(), QStringLiteral("&File"));
  EXPECT_EQ(top[1]->text(), QStringLiteral("&Controls"));
  EXPECT_EQ(top[2]->text(), QStringLiteral("&Help"));
  EXPECT_EQ(top[0]->menu(), view->mnuFile);
  EXPECT_EQ(top[1]->menu(), view->mnuControls);
  EXPECT_EQ(top[2]->menu(), view->mnuHelp);

  EXPECT_EQ(MenuEntries(view->mnuFile), (QStringList{"Minimize To Tray", "-", "&Exit"}));
  EXPECT_EQ(view->mnuFile->actions().first(), view->mniMinimizeToTray1);
  EXPECT_EQ(window->findChild<QAction*>(QStringLiteral("mniMinimizeToTray1")), view->mniMinimizeToTray1);
  EXPECT_EQ(view->mnuFile->actions().last(), view->actExit);
  EXPECT_EQ(view->mnuControls->actions(),
            (QList<QAction*>{view->actHome, view->actHotspotTab, view->actConnectToHotspot,
                             view->mnuControls->actions().at(3), view->actOptions}));
  EXPECT_TRUE(view->mnuControls->actions().at(3)->isSeparator());
  EXPECT_EQ(MenuEntries(view->mnuHelp), (QStringList{"Write comments to developer", "-", "A&bout"}));
  EXPECT_EQ(view->mnuHelp->actions().first(), view->actWriteToUs);

  ASSERT_NE(view->TrayIcon1, nullptr);
  EXPECT_EQ(view->TrayIcon1->contextMenu(), view->PopupMenu1);
  EXPECT_EQ(MenuEntries(view->PopupMenu1), (QStringList{"&Open Main Window", "E&xit"}));
  EXPECT_EQ(view->PopupMenu1->defaultAction(), view->mniOpenMainWindow);
  EXPECT_EQ(view->TrayIcon1->toolTip(), QStringLiteral("KESTRUNE Test"));
  EXPECT_FALSE(view->TrayIcon1->icon().isNull());
  EXPECT_TRUE(view->TrayIcon1->isVisible());

  view->SetApplicationName(QStringLiteral("Renamed"));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Renamed"));
  EXPECT_EQ(view->TrayIcon1->toolTip(), QStringLiteral("Renamed"));
}

TEST(Form1ViewCaption, DefaultsToTheApplicationDisplayName) {
  const QString previous = QGuiApplication::applicationDisplayName();
  QGuiApplication::setApplicationDisplayName(QStringLiteral("Shown Name"));
  QMainWindow window;
  TForm1View view(&window);
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Shown Name"));
  EXPECT_EQ(view.TrayIcon1->toolTip(), QStringLiteral("Shown Name"));
  QGuiApplication::setApplicationDisplayName(previous);
}

TEST(Form1ViewIcons, EveryPictureRendersAtOneAndTwoTimesScale) {
  std::vector<std::pair<QString, QIcon>> icons = {
      {"app", TForm1View::ApplicationIcon()},
      {"small 29", TForm1View::SmallImage(TForm1View::kImageSharingEnabled)},
      {"small 30", TForm1View::SmallImage(TForm1View::kImageReadyForSharing)},
      {"internet 0", TForm1View::InternetImage(0)},
      {"internet 1", TForm1View::InternetImage(1)}};
  QMainWindow window;
  TForm1View view(&window);
  for (const char* name : {"imgWiredConnected", "imgWiredDisconnected", "imgWirelessConnected",
                           "imgWirelessDisconnected", "imgInternetConnected", "imgInternetDisconnected"}) {
    auto* picture = window.findChild<TPicture*>(QLatin1String(name));
    ASSERT_NE(picture, nullptr) << name;
    icons.emplace_back(QLatin1String(name), picture->Icon());
  }
  for (QAction* a : {view.actHome, view.actHotspotTab, view.actConnectToHotspot, view.actExit})
    icons.emplace_back(a->objectName(), a->icon());
  for (const auto& [name, icon] : icons) {
    ASSERT_FALSE(icon.isNull()) << name.toStdString();
    for (qreal dpr : {1.0, 2.0}) {
      const QPixmap pm = icon.pixmap(QSize(16, 16), dpr);
      EXPECT_EQ(pm.size(), QSize(16, 16) * dpr) << name.toStdString() << " x" << dpr;
      // Something visible was drawn.
      const QImage image = pm.toImage();
      bool opaque = false;
      for (int y = 0; y < image.height() && !opaque; ++y)
        for (int x = 0; x < image.width() && !opaque; ++x) opaque = qAlpha(image.pixel(x, y)) > 0;
      EXPECT_TRUE(opaque) << name.toStdString() << " x" << dpr;
    }
  }
  EXPECT_TRUE(TForm1View::SmallImage(0).isNull());
  EXPECT_TRUE(TForm1View::InternetImage(2).isNull());
}

}  // namespace
