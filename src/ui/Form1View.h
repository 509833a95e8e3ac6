#pragma once
// What the main window shows: pages, status groups, menus, actions, the
// owner-drawn status bar and the tray icon. No product logic lives here; the
// owner connects the actions' triggered() signals and feeds plain values in.
#include <QIcon>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QStatusBar>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class QAbstractButton;
class QAction;
class QActionGroup;
class QGroupBox;
class QLabel;
class QMainWindow;
class QMenu;
class QPainter;
class QPlainTextEdit;
class QPushButton;
class QSystemTrayIcon;
class QTabWidget;
class QToolButton;
class QWidget;

struct TStatusPanelState {
  bool canShare = false;
  bool sharingActive = false;
  std::uint8_t internetState = 0;
};

// A status bar of fixed-width panels; every panel with an owner-draw callback
// is painted by it on each repaint of the bar, the others show their text.
class TPanelStatusBar : public QStatusBar {
  Q_OBJECT

 public:
  using DrawPanel = std::function<void(QPainter&, int panelId, const QRect&)>;

  explicit TPanelStatusBar(QWidget* parent = nullptr);

  // Panel i gets ID i. Widths in pixels, left to right.
  void SetPanelWidths(const std::vector<int>& widths);
  int PanelCount() const { return static_cast<int>(FWidths.size()); }
  QRect PanelRect(int index) const;
  void SetOwnerDraw(int index, bool ownerDraw);
  bool OwnerDraw(int index) const;
  void SetPanelText(int index, const QString& text);
  QString PanelText(int index) const;

  DrawPanel OnDrawPanel;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<int> FWidths;
  std::vector<bool> FOwnerDraw;
  std::vector<QString> FTexts;
};

// Images that stay sharp at any device pixel ratio: the icon is rendered at
// paint time instead of being frozen into a pixmap.
class TPicture : public QLabel {
  Q_OBJECT

 public:
  TPicture(const QIcon& icon, int size, QWidget* parent);
  const QIcon& Icon() const { return FIcon; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QIcon FIcon;
};

class TForm1View : public QObject {
  Q_OBJECT

 public:
  // Panel IDs of the owner-drawn status bar panels.
  static constexpr int kSharingPanel = 1;
  static constexpr int kInternetPanel = 2;
  static constexpr int kClientWidth = 580;
  static constexpr int kClientHeight = 536;
  // Entries of the small image list that the sharing panel uses.
  static constexpr int kImageSharingEnabled = 29;
  static constexpr int kImageReadyForSharing = 30;

  // Builds the whole window into window. The caption is applicationName, or
  // the application's display name when that is empty.
  explicit TForm1View(QMainWindow* window, const QString& applicationName = QString());
  ~TForm1View() override;

  // Window caption and tray hint.
  void SetApplicationName(const QString& name);
  QMainWindow* Window() const { return FWindow; }
  // The client area: everything below the main menu (tool bar, pages, status bar).
  QWidget* ClientArea() const { return FClientArea; }
  // The panel whose visible part the page control fills.
  QWidget* ClientPanel() const { return FClientPanel; }
  // Done at creation and again when the window is first shown.
  void CenterOnScreen();

  static QIcon ApplicationIcon();
  // The small image list (29 sharing enabled, 30 ready) and the 16 x 16 Internet
  // list (0 connected, 1 not connected); a null icon for any other index.
  static QIcon SmallImage(int index);
  static QIcon InternetImage(int index);

  // Status displays; GUI thread only (hand changes from other threads over first).
  void ShowSourceGroup(const QString& name, const QString& deviceName, bool connected);
  void ShowWirelessGroup(const QString& name, const QString& deviceName, bool connected);
  void ShowAvailability(bool canShare);
  // 1 connected, 2 disconnected; any other value leaves the group as it is.
  void ShowInternetState(std::uint8_t state);
  void ClearSignalFound();
  void ShowSignalFound(const QString& ssid);
  void ShowConnectPageValues(const QString& ssid, const QString& password);
  void ShowPage(int index);

  // Read at every paint of the status bar; an unset function means the initial state.
  std::function<TStatusPanelState()> PanelState;
  // The text the last paint chose for panel 1 or 2 (empty for any other panel).
  QString PanelText(int panelId) const;
  void sStatusBar1DrawPanel(QPainter& painter, int panelId, const QRect& rect);

  // Actions (captions as the menus show them; Caption() gives the original text).
  QAction* actStartSharing = nullptr;
  QAction* actStopSharing = nullptr;
  QAction* actConnect = nullptr;
  QAction* actDisconnect = nullptr;
  QAction* actRefresh2 = nullptr;
  QAction* actHome = nullptr;
  QAction* actHotspotTab = nullptr;
  QAction* actConnectToHotspot = nullptr;
  QAction* actOptions = nullptr;
  QAction* actWriteToUs = nullptr;
  QAction* actAbout = nullptr;
  QAction* actExit = nullptr;
  QAction* actTroubleShooter = nullptr;
  QActionGroup* PageActions = nullptr;  // the page actions, one checked at a time

  // Menus.
  QMenu* mnuFile = nullptr;
  QMenu* mnuControls = nullptr;
  QMenu* mnuHelp = nullptr;
  QAction* mniMinimizeToTray1 = nullptr;
  QMenu* PopupMenu1 = nullptr;           // tray menu
  QAction* mniOpenMainWindow = nullptr;  // default item, as double-clicking the tray icon
  QAction* mniTrayExit = nullptr;

  // Top bar.
  QToolButton* btnHome = nullptr;
  QToolButton* btnHotspotTab = nullptr;
  QToolButton* btnConnectToHotspot = nullptr;
  QToolButton* btnExit = nullptr;

  QTabWidget* PageControl1 = nullptr;
  QWidget* tbHome = nullptr;
  QWidget* tbHotspotSetup = nullptr;
  QWidget* tbConnectToHotspot = nullptr;

  // Home.
  QLabel* lblInstruction = nullptr;
  QPushButton* btnHotspotTab1 = nullptr;
  QLabel* lblConnectInstruction = nullptr;
  QPushButton* btnConnectToHotspot1 = nullptr;
  QGroupBox* gbInternetStatus = nullptr;
  TPicture* imgInternetConnected = nullptr;
  TPicture* imgInternetDisconnected = nullptr;
  QLabel* lblInternetStatus = nullptr;
  QPushButton* btnRefresh4 = nullptr;

  // Hotspot Setup.
  QLabel* lblSelectSource = nullptr;
  QGroupBox* gbSourceConnection = nullptr;
  TPicture* imgWiredConnected = nullptr;
  TPicture* imgWiredDisconnected = nullptr;
  QLabel* lblWiredStatus = nullptr;
  QPlainTextEdit* mmoSrcConnDescription = nullptr;
  QPushButton* btnSource = nullptr;
  QLabel* lblSelectDest = nullptr;
  QGroupBox* gbWirelessConnection = nullptr;
  TPicture* imgWirelessConnected = nullptr;
  TPicture* imgWirelessDisconnected = nullptr;
  QLabel* lblWirelessStatus = nullptr;
  QPlainTextEdit* mmoWirelessDescription = nullptr;
  QPushButton* btnSelectDest = nullptr;
  QLabel* lblStartSharing = nullptr;
  QPushButton* btnRefresh2 = nullptr;
  QPushButton* btnStartSharing = nullptr;
  QPushButton* btnStopSharing = nullptr;

  // Connect to Hotspot.
  QWidget* pnlHost = nullptr;
  QLabel* lblHostHeading = nullptr;
  QLabel* lblHostInstruction = nullptr;
  QLabel* lblSSIDCaption = nullptr;
  QLabel* lblSSID = nullptr;
  QLabel* lblPasswordCaption = nullptr;
  QLabel* lblPassword = nullptr;
  QPushButton* btnOptions = nullptr;
  QWidget* pnlClient = nullptr;
  QLabel* lblClientHeading = nullptr;
  QLabel* lblClientInstruction = nullptr;
  QLabel* lblSignalFound = nullptr;
  QLabel* lblInternetSharedHint = nullptr;
  QPushButton* sBitBtn2 = nullptr;
  QPushButton* btnConnect = nullptr;
  QPushButton* btnDisconnect1 = nullptr;

  TPanelStatusBar* StatusBar1 = nullptr;
  QSystemTrayIcon* TrayIcon1 = nullptr;

  // The caption exactly as written, "\r\n" included (Qt texts use "\n").
  static QString Caption(const QAction* action);

 private:
  void BuildActions();
  void BuildMenus();
  QWidget* BuildTopBar();
  void BuildHomePage();
  void BuildHotspotSetupPage();
  void BuildConnectPage();
  void BuildStatusBar();
  void BuildTray();
  void PlacePageControl();
  bool eventFilter(QObject* watched, QEvent* event) override;

  QMainWindow* FWindow = nullptr;
  QWidget* FClientArea = nullptr;
  QWidget* FClientPanel = nullptr;
  std::array<QString, 3> FPanelTexts;
  QPointer<TPanelStatusBar> FStatusBarGuard;
  bool FCentredOnShow = false;
};

// Texts of this window use "\r\n" line breaks; Qt's widgets break at "\n".
QString QtText(const char* text);
