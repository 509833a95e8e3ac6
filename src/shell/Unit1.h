#pragma once
// The main window: which connection is the source and which the wireless
// destination, starting and stopping sharing, joining a router nearby, and
// what closing, exiting and the end of the session do. Its creation reads the
// settings and brings up the Wi-Fi controller and the connection catalogue;
// its destruction writes the settings back and leaves the computer neither
// hosting nor sharing.
#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Platform.h"

class QCloseEvent;
class QEvent;
class QShowEvent;
class QSystemTrayIcon;
class TAboutBox;
class TConnection;
class TConnectionManager;
class TForm1View;
class TGuiHandOver;
class TOptionsForm;
class TSelectNetworkForm;
class TWifiConnection;
struct TWifiLibrary;

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  // Private message the window posts to itself at the end of its creation.
  static constexpr int WM_STARTTROUBLESHOOTER = 2025;
  static constexpr char kSettingsFileName[] = "setup.ini";
  static constexpr char kDefaultPassword[] = "73914";

  TForm1(const kestrune::platform::Platform& platform, const TWifiLibrary& wifiLibrary,
         QWidget* parent = nullptr);
  ~TForm1() override;

  // The destruction sequence; runs once, from the destructor at the latest.
  void Shutdown();

  // Re-evaluates the actions' enabled state; runs whenever the event loop goes idle.
  void UpdateActions();

  // The session ends (log-off, shutdown, SIGTERM): no question, no balloon;
  // settings saved, own network removed and sharing off before it returns.
  void HandleQueryEndSession();

  // Called when a close is accepted for real: the message loop is to end.
  // Quits the application unless replaced (tests record it instead).
  std::function<void()> OnTerminate;

  // Whether the window waits hidden in the tray instead of being shown at start.
  bool StartMinimized() const { return FStartMinimized; }

  // Read access for the rest of the shell and for tests.
  TForm1View* View() const { return FView; }
  const std::string& AppDir() const { return FAppDir; }
  bool AutoRun() const { return FAutoRun; }
  bool CheckForUpdates() const { return FCheckForUpdates; }
  const std::string& SSID() const { return FSSID; }
  const std::string& Password() const { return FPassword; }
  const std::string& SourceGuid() const { return FSourceGuid; }
  const std::string& DestGuid() const { return FDestGuid; }
  const std::string& CurrentSourceGuid() const { return FCurrentSourceGuid; }
  const std::string& CurrentDestGuid() const { return FCurrentDestGuid; }
  bool CanShare() const { return FCanShare; }
  bool SourceConnected() const { return FSourceConnected; }
  bool SharingActive() const { return FSharingActive; }
  bool ExitRequested() const { return FExitRequested; }
  TWifiConnection* Wifi() const { return FWifi.get(); }
  TConnectionManager* ConnectionManager() const { return FConnectionManager.get(); }
  QSystemTrayIcon* TrayIcon() const;
  // The tray icon's tag: 1 once the background balloon has been shown.
  int TrayIconTag() const { return FTrayIconTag; }
  int BalloonsShown() const { return FBalloonsShown; }
  // The last Internet state handed over from the monitor thread (0 before any).
  std::uint8_t LastInternetState() const { return FLastInternetState; }
  // How many times the start-up message has been handled.
  int TroubleshooterStarts() const { return FTroubleshooterStarts; }

  // The dialogs made once after the window and kept for the whole run.
  TOptionsForm* OptionsForm() const { return FOptionsForm; }
  TAboutBox* AboutBox() const { return FAboutBox; }
  TSelectNetworkForm* SelectNetworkForm() const { return FSelectNetworkForm; }

  // The picker and the Options dialog change these (they keep them in memory until exit).
  void SetSourceGuid(const std::string& guid) { FSourceGuid = guid; }
  void SetDestGuid(const std::string& guid) { FDestGuid = guid; }

  // Handlers, public so that the dialogs and tests reach them as the user would.
  void actStartSharingExecute();
  void actStopSharingExecute();
  void actConnectExecute();
  void actDisconnectExecute();
  void actRefresh2Execute();
  void actHomeExecute();
  void actHotspotTabExecute();
  void actConnectToHotspotExecute();
  void actOptionsExecute();
  void actWriteToUsExecute();
  void actAboutExecute();
  void actExitExecute();
  void actTroubleShooterExecute();
  void mniMinimizeToTray1Click();
  void TrayIcon1DblClick();
  void btnSourceClick();
  void btnSelectDestClick();
  void RefreshConnections();
  void UpdateSharingState();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ConnectActions();
  void RunCreationSteps();
  void LoadSettings();
  void SaveSettings();

  TConnection* FindConnection(const std::string& guid) const;
  TConnection* DetectSourceConnection() const;
  TConnection* DetectWirelessConnection() const;
  void ShowSourceConnection(TConnection* c);
  void ShowWirelessConnection(TConnection* c);

  void FormShow();
  bool FormCloseQuery();
  void PageControl1Change(int index);
  void tbConnectToHotspotShow();

  // Wi-Fi controller events.
  void WifiBeforeRefresh();
  void WifiNetworkFound(const std::u16string& ssid, std::uint8_t state, std::uint8_t security);
  void WifiInternetStateChange(std::uint8_t state);
  void WifiConnected(const std::u16string& ssid);
  void WifiDisconnected(const std::u16string& ssid);
  void ApplyInternetState(std::uint8_t state);

  // WM_STARTTROUBLESHOOTER
  void HandleStartTroubleshooter();

  // Runs a handler as the application's error display would: an exception
  // that escapes it is shown, and the window carries on.
  void Guarded(const std::function<void()>& handler);

  kestrune::platform::Platform FPlatform;
  const TWifiLibrary& FWifiLibrary;
  TForm1View* FView = nullptr;  // owned by the window as its child
  // Carries the monitor thread's reports onto the window's thread.
  std::unique_ptr<TGuiHandOver> FHandOver;
  // Dialogs, owned by the window as its children.
  TOptionsForm* FOptionsForm = nullptr;
  TAboutBox* FAboutBox = nullptr;
  TSelectNetworkForm* FSelectNetworkForm = nullptr;
  QWidget* FHomeDivider = nullptr;

  std::unique_ptr<TWifiConnection> FWifi;
  std::unique_ptr<TConnectionManager> FConnectionManager;

  bool FCanShare = false;
  std::string FCurrentSourceGuid;
  std::string FCurrentDestGuid;
  std::string FSourceGuid;
  std::string FDestGuid;
  bool FSourceConnected = false;
  bool FSharingActive = false;
  bool FAutoRun = false;
  bool FStartMinimized = false;
  bool FCheckForUpdates = false;
  std::string FAppDir;
  std::string FSSID;
  std::string FPassword;
  bool FExitRequested = false;

  // Settings are written back only when they were read: a creation that
  // stopped earlier must not overwrite the user's file with empty values.
  bool FSettingsLoaded = false;
  bool FShutDown = false;
  int FTrayIconTag = 0;
  int FBalloonsShown = 0;
  std::uint8_t FLastInternetState = 0;
  int FTroubleshooterStarts = 0;
};
