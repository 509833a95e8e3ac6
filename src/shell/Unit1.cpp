#include "shell/Unit1.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLayout>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPushButton>
#include <QSessionManager>
#include <QShowEvent>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QToolButton>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include "core/Errors.h"
#include "core/IniFile.h"
#include "core/Strings.h"
#include "platform/SystemInfo.h"
#include "sharing/ConnectionUnit.h"
#include "shell/AboutUnit.h"
#include "shell/OptionsUnit.h"
#include "shell/SelectNetworkFormUnit.h"
#include "shell/UnitGlobal.h"
#include "ui/Form1View.h"
#include "ui/MessageBox.h"
#include "wireless/Reachability.h"
#include "wireless/WifiNetwork.h"

namespace {

constexpr char kSection[] = "System";
constexpr std::int32_t NCS_CONNECTED = 2;
constexpr std::int32_t NCM_LAN = 3;

QString Q(const std::string& s) { return QString::fromStdString(s); }

using kestrune::ui::Answer;
using kestrune::ui::Buttons;
using kestrune::ui::Icon;

void Inform(QWidget* parent, const char* text) { kestrune::ui::ShowMessage(parent, Icon::Information, QString::fromLatin1(text)); }
void Complain(QWidget* parent, const char* text) { kestrune::ui::ShowMessage(parent, Icon::Error, QString::fromLatin1(text)); }

// Busy cursor for the length of a workflow, restored on every way out.
class TBusyCursor {
 public:
  TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};

}  // namespace

// Calls queued from any thread run on the thread that made this object, in
// order. Pending calls are dropped with it. The wake-up goes through an
// eventfd so that every hand-over is ordered by primitives a race detector
// understands, not by the toolkit's internal locks.
class TGuiHandOver {
 public:
  explicit TGuiHandOver(QObject* context) : context_(context), fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { RunPending(); });
  }
  ~TGuiHandOver() {
    notifier_.reset();
    if (fd_ >= 0) close(fd_);
  }
  TGuiHandOver(const TGuiHandOver&) = delete;
  TGuiHandOver& operator=(const TGuiHandOver&) = delete;

  void Post(std::function<void()> fn) {
    {
      std::lock_guard lock(mutex_);
      pending_.push_back(std::move(fn));
    }
    if (fd_ >= 0) {
      const std::uint64_t one = 1;
      [[maybe_unused]] const ssize_t n = write(fd_, &one, sizeof one);
    } else {
      QMetaObject::invokeMethod(context_, [this] { RunPending(); }, Qt::QueuedConnection);
    }
  }

 private:
  void RunPending() {
    if (fd_ >= 0) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t n = read(fd_, &count, sizeof count);
    }
    std::vector<std::function<void()>> batch;
    {
      std::lock_guard lock(mutex_);
      batch.swap(pending_);
    }
    for (auto& fn : batch) fn();
  }

  QObject* context_;
  int fd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::mutex mutex_;
  std::vector<std::function<void()>> pending_;
};

TForm1::TForm1(const kestrune::platform::Platform& platform, const TWifiLibrary& wifiLibrary, QWidget* parent)
    : QMainWindow(parent), FPlatform(platform), FWifiLibrary(wifiLibrary) {
  setObjectName(QStringLiteral("Form1"));
  FHandOver = std::make_unique<TGuiHandOver>(this);
  OnTerminate = [] { QCoreApplication::quit(); };
  FView = new TForm1View(this, Q(ApplicationName));
  FView->PanelState = [this] {
    return TStatusPanelState{FCanShare, FSharingActive, FWifi ? FWifi->GetInternetState() : std::uint8_t{0}};
  };
  ConnectActions();
  try {
    RunCreationSteps();
  } catch (...) {
    // As the application's error display would: the window still comes up.
    kestrune::ui::ShowCurrentException(this);
  }
  UpdateActions();
  // The dialogs follow the window, in this order, whatever its creation did.
  FOptionsForm = new TOptionsForm(this);
  FAboutBox = new TAboutBox(*FPlatform.system, this);
  FSelectNetworkForm = new TSelectNetworkForm(this);
}

TForm1::~TForm1() { Shutdown(); }

QSystemTrayIcon* TForm1::TrayIcon() const { return FView->TrayIcon1; }

void TForm1::ConnectActions() {
  const auto bind = [this](QAction* action, void (TForm1::*handler)()) {
    connect(action, &QAction::triggered, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
  };
  bind(FView->actStartSharing, &TForm1::actStartSharingExecute);
  bind(FView->actStopSharing, &TForm1::actStopSharingExecute);
  bind(FView->actConnect, &TForm1::actConnectExecute);
  bind(FView->actDisconnect, &TForm1::actDisconnectExecute);
  bind(FView->actRefresh2, &TForm1::actRefresh2Execute);
  bind(FView->actHome, &TForm1::actHomeExecute);
  bind(FView->actHotspotTab, &TForm1::actHotspotTabExecute);
  bind(FView->actConnectToHotspot, &TForm1::actConnectToHotspotExecute);
  bind(FView->actOptions, &TForm1::actOptionsExecute);
  bind(FView->actWriteToUs, &TForm1::actWriteToUsExecute);
  bind(FView->actAbout, &TForm1::actAboutExecute);
  bind(FView->actExit, &TForm1::actExitExecute);
  bind(FView->actTroubleShooter, &TForm1::actTroubleShooterExecute);
  bind(FView->mniMinimizeToTray1, &TForm1::mniMinimizeToTray1Click);
  bind(FView->mniOpenMainWindow, &TForm1::TrayIcon1DblClick);
  bind(FView->mniTrayExit, &TForm1::actExitExecute);
  connect(FView->TrayIcon1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) Guarded([this] { TrayIcon1DblClick(); });
  });
  connect(FView->btnSource, &QPushButton::clicked, this, [this] { Guarded([this] { btnSourceClick(); }); });
  connect(FView->btnSelectDest, &QPushButton::clicked, this, [this] { Guarded([this] { btnSelectDestClick(); }); });
  connect(FView->PageControl1, &QTabWidget::currentChanged, this, [this](int index) { PageControl1Change(index); });
  FView->tbConnectToHotspot->installEventFilter(this);
  // The divider right of the Home button leads to the hotspot settings too.
  const int home = FView->btnHome->parentWidget()->layout()->indexOf(FView->btnHome);
  if (auto* item = FView->btnHome->parentWidget()->layout()->itemAt(home + 1); item && item->widget()) {
    FHomeDivider = item->widget();
    FHomeDivider->setCursor(Qt::PointingHandCursor);
    FHomeDivider->installEventFilter(this);
  }

  // Enabling follows the state whenever the loop is about to wait.
  if (auto* dispatcher = QAbstractEventDispatcher::instance())
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TForm1::UpdateActions);
#ifndef QT_NO_SESSIONMANAGER
  connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { HandleQueryEndSession(); });
#endif
}

void TForm1::RunCreationSteps() {
  // 1.
  FAppDir = kestrune::platform::DirectoryOf(FPlatform.system->ExecutablePath());
  // 2. (3. the view has put each status image pair on one spot.)
  FView->ClearSignalFound();
  FView->ShowPage(0);
  // 4.
  LoadSettings();
  // 5.
  QApplication::setApplicationDisplayName(Q(ApplicationName));
  FView->SetApplicationName(Q(ApplicationName));
  FView->TrayIcon1->setIcon(TForm1View::ApplicationIcon());
  FView->TrayIcon1->setVisible(true);
  // 6. is the caller's: the window is shown unless StartMinimized().
  // 7.
  FWifi = std::make_unique<TWifiConnection>(FWifiLibrary, *FPlatform.internet);
  FWifi->OnInternetStateChange = [this](std::uint8_t state) { WifiInternetStateChange(state); };
  FWifi->OnNetworkFound = [this](const std::u16string& ssid, std::uint8_t state, std::uint8_t security) {
    WifiNetworkFound(ssid, state, security);
  };
  FWifi->OnBeforeRefresh = [this](TWifiConnection*) { WifiBeforeRefresh(); };
  FWifi->OnConnected = [this](const std::u16string& ssid) { WifiConnected(ssid); };
  FWifi->OnDisconnected = [this](const std::u16string& ssid) { WifiDisconnected(ssid); };
  // 8.
  FWifi->Refresh();
  // 9.
  FWifi->SetSSID(FSSID);
  FWifi->SetKey(FPassword);
  // 10.
  FConnectionManager = std::make_unique<TConnectionManager>(FPlatform);
  // 11. The update check joins here.
  // 12. The view hid the tab row and placed the page control.
  // 13.
  FView->ShowPage(0);
  // 14.
  QMetaObject::invokeMethod(this, &TForm1::HandleStartTroubleshooter, Qt::QueuedConnection);
}

void TForm1::LoadSettings() {
  std::string text;
  // A file that is missing or unreadable gives every default.
  if (kestrune::ReadWholeFile(FAppDir + kSettingsFileName, text) != kestrune::FileReadStatus::Ok) text.clear();
  const kestrune::TIniText ini(text);
  FAutoRun = kestrune::ReadProfileBool(ini, kSection, "AutoRun", false);
  FCheckForUpdates = kestrune::ReadProfileBool(ini, kSection, "CheckForUpdates", false);
  FStartMinimized = kestrune::ReadProfileBool(ini, kSection, "StartMinimized", false);
  FSourceGuid = kestrune::ReadProfileString(ini, kSection, "SourceGUID", "");
  FDestGuid = kestrune::ReadProfileString(ini, kSection, "DestGUID", "");
  FSSID = kestrune::ReadProfileString(ini, kSection, "SSID", DefaultSSID);
  FPassword = kestrune::ReadProfileString(ini, kSection, "Password", kDefaultPassword);
  FSettingsLoaded = true;
}

void TForm1::SaveSettings() {
  const std::string path = FAppDir + kSettingsFileName;
  const std::string error = kestrune::FormatWith("Unable to write to %s", path);
  std::string text;
  // Whatever else the file holds stays; a file that exists but cannot be read
  // is not replaced by one that would lack its content.
  if (kestrune::ReadWholeFile(path, text) == kestrune::FileReadStatus::Failed) throw kestrune::EIniFileError(error);
  kestrune::TIniText ini(text);
  auto boolText = [](bool b) { return b ? "1" : "0"; };
  ini.WriteString(kSection, "AutoRun", boolText(FAutoRun));
  ini.WriteString(kSection, "CheckForUpdates", boolText(FCheckForUpdates));
  ini.WriteString(kSection, "StartMinimized", boolText(FStartMinimized));
  ini.WriteString(kSection, "SSID", FSSID);
  ini.WriteString(kSection, "Password", FPassword);
  ini.WriteString(kSection, "SourceGUID", FSourceGuid);
  ini.WriteString(kSection, "DestGUID", FDestGuid);
  try {
    kestrune::ReplaceFileAtomically(path, ini.Text());
  } catch (const std::system_error&) {
    throw kestrune::EIniFileError(error);
  }
}

void TForm1::Shutdown() {
  if (FShutDown) return;
  FShutDown = true;
  // A settings file that cannot be written is reported, but the computer must
  // still stop hosting and sharing.
  if (FSettingsLoaded) {
    try {
      SaveSettings();
    } catch (...) {
      kestrune::ui::ShowCurrentException(this);
    }
  }
  if (FWifi) {
    try {
      FWifi->DeleteProfile();
    } catch (...) {
    }
  }
  if (FConnectionManager) {
    try {
      FConnectionManager->DisableAllSharing();
    } catch (...) {
    }
  }
  FWifi.reset();
  FConnectionManager.reset();
  FCanShare = false;
  FSharingActive = false;
}

void TForm1::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    kestrune::ui::ShowCurrentException(this);
  }
}

void TForm1::UpdateActions() {
  // Without the controller or the catalogue (creation stopped early) their workflows stay off.
  const bool wifi = FWifi != nullptr;
  const bool catalogue = FConnectionManager != nullptr;
  FView->actStartSharing->setEnabled(FCanShare && !FSharingActive && wifi && catalogue);
  FView->actStopSharing->setEnabled(FSharingActive && wifi && catalogue);
  FView->actConnect->setEnabled(!FCanShare && wifi);
  FView->actDisconnect->setEnabled(!FCanShare && wifi);
}

// --- Source and destination -------------------------------------------------

TConnection* TForm1::FindConnection(const std::string& guid) const {
  if (guid.empty() || !FConnectionManager) return nullptr;
  const auto& list = FConnectionManager->Connections();
  for (int i = 0; i < list.Count(); ++i) {
    TConnection* c = FConnectionManager->Connection(i);
    if (c && c->Guid == guid) return c;
  }
  return nullptr;
}

TConnection* TForm1::DetectSourceConnection() const {
  if (!FConnectionManager) return nullptr;
  TConnection* result = nullptr;
  const auto& list = FConnectionManager->Connections();
  for (int i = 0; i < list.Count(); ++i) {
    TConnection* c = FConnectionManager->Connection(i);
    if (!c || c->Status != NCS_CONNECTED || c->IsWireless) continue;
    if (c->MediaType == NCM_LAN && c->IsPhysical) return c;
    result = c;
  }
  return result;
}

TConnection* TForm1::DetectWirelessConnection() const {
  if (!FConnectionManager) return nullptr;
  TConnection* result = nullptr;
  const auto& list = FConnectionManager->Connections();
  for (int i = 0; i < list.Count(); ++i) {
    TConnection* c = FConnectionManager->Connection(i);
    if (c && c->IsWireless) result = c;
  }
  return result;
}

void TForm1::ShowSourceConnection(TConnection* c) {
  FCurrentSourceGuid = c->Guid;
  if (c->Status == NCS_CONNECTED) FSourceConnected = true;
  FView->ShowSourceGroup(Q(c->Name), Q(c->DeviceName), c->Status == NCS_CONNECTED);
}

void TForm1::ShowWirelessConnection(TConnection* c) {
  FCurrentDestGuid = c->Guid;
  FView->ShowWirelessGroup(Q(c->Name), Q(c->DeviceName), c->Status == NCS_CONNECTED);
}

void TForm1::RefreshConnections() {
  if (FConnectionManager) FConnectionManager->Refresh();
  FSourceConnected = false;
  FCurrentSourceGuid.clear();
  TConnection* source = FindConnection(FSourceGuid);
  if (!source) source = DetectSourceConnection();
  if (source) ShowSourceConnection(source);
  FCurrentDestGuid.clear();
  TConnection* dest = FindConnection(FDestGuid);
  if (!dest) dest = DetectWirelessConnection();
  if (dest) ShowWirelessConnection(dest);
  UpdateSharingState();
}

void TForm1::UpdateSharingState() {
  // The probe blocks; it runs only when everything else already allows sharing.
  FCanShare = !FCurrentSourceGuid.empty() && !FCurrentDestGuid.empty() && FSourceConnected &&
              CheckInternet(*FPlatform.internet);
  FView->ShowAvailability(FCanShare);
}

// --- Workflows --------------------------------------------------------------

void TForm1::actStartSharingExecute() {
  if (!FWifi || !FConnectionManager) return;
  TBusyCursor busy;
  FConnectionManager->DisableAllSharing();
  if (!FConnectionManager->EnableConnectionSharing(FCurrentSourceGuid, FCurrentDestGuid)) {
    // A failure after the public side came on would leave it sharing.
    FConnectionManager->DisableAllSharing();
    return;
  }
  if (!FWifi->ConnectOwnNetwork()) {
    // Sharing without a network to share into helps nobody: take it back.
    FConnectionManager->DisableAllSharing();
    FSharingActive = false;
    Complain(this, "Wi-Fi could not be started!");
    actRefresh2Execute();
    return;
  }
  Inform(this, "Wi-Fi started successfully!");
  FSharingActive = true;
  actRefresh2Execute();
}

void TForm1::actStopSharingExecute() {
  if (!FWifi || !FConnectionManager) return;
  TBusyCursor busy;
  FConnectionManager->DisableAllSharing();
  const bool removed = FWifi->DeleteProfile();
  if (removed)
    Inform(this, "Wi-Fi stopped successfully!");
  else
    Complain(this, "Wi-Fi could not be stopped!");
  FSharingActive = false;
  QCoreApplication::processEvents();
  actRefresh2Execute();
}

void TForm1::actConnectExecute() {
  if (!FWifi) return;
  TBusyCursor busy;
  if (FWifi->ConnectOwnNetwork())
    Inform(this, "Done! Please wait a few seconds to finish the connecting...");
  else
    Complain(this, "Could not connect to the wifi router!");
}

void TForm1::actDisconnectExecute() {
  if (!FWifi) return;
  TBusyCursor busy;
  const bool removed = FWifi->DeleteProfile();
  QCoreApplication::processEvents();
  if (removed)
    Inform(this, "Disconnected successfully!");
  else
    Complain(this, "Could not disconnect!");
}

void TForm1::actRefresh2Execute() {
  TBusyCursor busy;
  RefreshConnections();
  if (FWifi) {
    FWifi->Refresh();
    FWifi->WakeInternetCheck();
  }
  FView->StatusBar1->repaint();
}

// --- Navigation -------------------------------------------------------------

void TForm1::actHomeExecute() { FView->PageControl1->setCurrentIndex(0); }
void TForm1::actHotspotTabExecute() { FView->PageControl1->setCurrentIndex(1); }
void TForm1::actConnectToHotspotExecute() { FView->PageControl1->setCurrentIndex(2); }

void TForm1::PageControl1Change(int index) {
  QToolButton* buttons[] = {FView->btnHome, FView->btnHotspotTab, FView->btnConnectToHotspot};
  if (index < 0 || index > 2) return;
  if (QAction* a = buttons[index]->defaultAction()) a->setChecked(true);
}

void TForm1::tbConnectToHotspotShow() { FView->ShowConnectPageValues(Q(FSSID), Q(FPassword)); }

// --- Dialogs ----------------------------------------------------------------

void TForm1::actOptionsExecute() {
  if (!EditOptions(*FOptionsForm, *FPlatform.registry, FPlatform.system->ExecutablePath(), FAutoRun,
                   FStartMinimized, FSSID, FPassword))
    return;
  // The Connect page shows the new name and key at once when it is the one showing.
  if (FView->tbConnectToHotspot->isVisible()) tbConnectToHotspotShow();
}

void TForm1::actWriteToUsExecute() { WriteToUs(); }

void TForm1::actAboutExecute() { FAboutBox->Execute(); }

void TForm1::btnSourceClick() {
  std::string guid;
  if (!FConnectionManager || !PickSource(*FSelectNetworkForm, *FConnectionManager, guid)) return;
  // Looked up again: the catalogue may have been reloaded while the picker was open.
  TConnection* c = FindConnection(guid);
  if (!c) return;
  ShowSourceConnection(c);
  FSourceGuid = c->Guid;
  UpdateSharingState();
}

void TForm1::btnSelectDestClick() {
  std::string guid;
  if (!FConnectionManager || !PickDestination(*FSelectNetworkForm, *FConnectionManager, guid)) return;
  TConnection* c = FindConnection(guid);
  if (!c) return;
  FDestGuid = c->Guid;
  ShowWirelessConnection(c);
  UpdateSharingState();
}

void TForm1::actTroubleShooterExecute() {}

void TForm1::HandleStartTroubleshooter() {
  ++FTroubleshooterStarts;
  Guarded([this] { actTroubleShooterExecute(); });
}

// --- Showing, hiding, closing -----------------------------------------------

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FView->tbConnectToHotspot && event->type() == QEvent::Show) {
    Guarded([this] { tbConnectToHotspotShow(); });
  } else if (watched == FHomeDivider && event->type() == QEvent::MouseButtonRelease &&
             static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    Guarded([this] { actHotspotTabExecute(); });
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // A restore from the task bar is the window system's; only becoming visible counts.
  if (!event->spontaneous()) Guarded([this] { FormShow(); });
}

void TForm1::FormShow() { RefreshConnections(); }

void TForm1::closeEvent(QCloseEvent* event) {
  bool canClose = false;
  Guarded([&] { canClose = FormCloseQuery(); });
  if (!canClose) {
    event->ignore();
    return;
  }
  event->accept();
  if (OnTerminate) OnTerminate();
}

bool TForm1::FormCloseQuery() {
  if (FExitRequested) return true;
  hide();
  if (FTrayIconTag == 0) {
    FTrayIconTag = 1;
    ++FBalloonsShown;
    FView->TrayIcon1->showMessage(Q(ApplicationName),
                                  Q(kestrune::FormatWith("%s is running in the background!", ApplicationName)),
                                  QSystemTrayIcon::Information, 3000);
  }
  return false;
}

void TForm1::mniMinimizeToTray1Click() {
  FExitRequested = false;
  close();
}

void TForm1::TrayIcon1DblClick() {
  FExitRequested = false;
  show();
  showNormal();
  raise();
  activateWindow();
}

void TForm1::actExitExecute() {
  FExitRequested = true;
  const Answer answer = kestrune::ui::ShowMessage(
      this, Icon::Question,
      QStringLiteral("All other devices connected to your computer will be disconnected. Do you want to exit?"),
      Buttons::YesNo);
  if (answer == Answer::Yes) close();
}

void TForm1::HandleQueryEndSession() {
  FExitRequested = true;
  // The system may end the process right after this answer: everything that
  // must not be left behind happens now.
  Shutdown();
  if (OnTerminate) OnTerminate();
}

// --- Wi-Fi controller events -------------------------------------------------

void TForm1::WifiBeforeRefresh() { FView->ClearSignalFound(); }

void TForm1::WifiNetworkFound(const std::u16string& ssid, std::uint8_t, std::uint8_t) {
  if (FWifi && ssid == kestrune::AnsiToWide(FWifi->GetSSID())) FView->ShowSignalFound(QString::fromStdU16String(ssid));
}

void TForm1::WifiInternetStateChange(std::uint8_t state) {
  // Raised on the monitor thread: the widgets change on the window's own thread,
  // and a hand-over still queued when the window goes is dropped with it.
  FHandOver->Post([this, state] { ApplyInternetState(state); });
}

void TForm1::ApplyInternetState(std::uint8_t state) {
  FLastInternetState = state;
  // State 1 is where the update check is released once it exists.
  if (state == 1 || state == 2) FView->ShowInternetState(state);
}

void TForm1::WifiConnected(const std::u16string&) {}

void TForm1::WifiDisconnected(const std::u16string&) {}
