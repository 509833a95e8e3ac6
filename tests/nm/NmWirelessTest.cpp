// The NetworkManager wireless library against the mock: what it lists, the
// hosted network it adds and removes, joining an access point, and the
// notifications from its own thread.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "NmMock.h"
#include "wireless/wifi.h"

using namespace nmtest;

namespace {

constexpr std::uint32_t kErrInvalidPassword = 86;
constexpr std::uint32_t kErrNotFound = 1168;

struct Note {
  std::uint8_t code;
  std::string name;
  std::thread::id thread;
};

// The callback has no context of its own: one recorder for the process.
struct Recorder {
  std::mutex mutex;
  std::condition_variable cv;
  std::deque<Note> notes;

  static void KESTRUNE_WIFI_CALLBACK Callback(const TWifiNotification* n, void*) {
    Note note{static_cast<std::uint8_t>(n->Code & 0xFF), {}, std::this_thread::get_id()};
    note.name.assign(n->Data->Name, strnlen(n->Data->Name, kWifiConnectionDataNameSize));
    std::lock_guard lock(Get().mutex);
    Get().notes.push_back(std::move(note));
    Get().cv.notify_all();
  }
  static Recorder& Get() {
    static Recorder r;
    return r;
  }
  // The next note with this code, dropping others before it.
  std::optional<Note> Next(std::uint8_t code) {
    std::unique_lock lock(mutex);
    std::optional<Note> found;
    cv.wait_for(lock, kWait, [&] {
      while (!notes.empty()) {
        Note n = notes.front();
        notes.pop_front();
        if (n.code == code) {
          found = n;
          return true;
        }
      }
      return false;
    });
    return found;
  }
  void Clear() {
    std::lock_guard lock(mutex);
    notes.clear();
  }
};

std::string Text(const char16_t* s) {
  std::string out;
  for (; *s != 0; ++s) out += static_cast<char>(*s);
  return out;
}

class NmWirelessTest : public NmFixture {
 protected:
  void SetUp() override {
    NmFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    Mock().AddEthernet("eth0", "eth0", 100);
    wifi_ = Mock().AddWifi("wifi0", "wlan0", 30);
    Mock().AddAccessPoint(wifi_, "home1", "HomeNet", "00:11:22:33:44:01", 2, 70, 0x100);
    Mock().AddAccessPoint(wifi_, "home2", "HomeNet", "00:11:22:33:44:02", 2, 40, 0x100);
    Mock().AddAccessPoint(wifi_, "cafe", "Cafe", "00:11:22:33:44:03", 2, 60, 0);
    const std::string adhoc = Mock().AddAccessPoint(wifi_, "adhoc", "Ostrelay", "02:11:22:33:44:04", 1, 90, 0);
    Mock().SetProperty(adhoc, nm::kAccessPointIface, "Flags", g_variant_new_uint32(1));  // WEP
    const std::string wep = Mock().AddAccessPoint(wifi_, "wep", "OldRouter", "00:11:22:33:44:05", 2, 30, 0);
    Mock().SetProperty(wep, nm::kAccessPointIface, "Flags", g_variant_new_uint32(1));
    Mock().AddAccessPoint(wifi_, "hidden", "", "00:11:22:33:44:06", 2, 50, 0x100);

    lib_ = LoadWifiLibrary(KESTRUNE_NM_WIRELESS_LIBRARY);
    Recorder::Get().Clear();
  }

  void TearDown() override {
    if (lib_) lib_->UnRegisterNotification();
    lib_.reset();
    NmFixture::TearDown();
  }

  const char16_t* FirstInterface() {
    std::memset(&interfaces_, 0, sizeof interfaces_);
    if (lib_->EnumInterface(&interfaces_) != 0 || interfaces_.Count == 0) return nullptr;
    return interfaces_.Entries[0].Id;
  }

  std::map<std::string, TWifiNetworkEntry> Visible(const char16_t* id) {
    TWifiNetworkList list;
    std::memset(&list, 0, sizeof list);
    EXPECT_EQ(lib_->GetVisibleNetworkList(id, &list), 0u);
    std::map<std::string, TWifiNetworkEntry> out;
    for (std::uint32_t i = 0; i < list.Count; ++i) {
      EXPECT_FALSE(out.count(Text(list.Entries[i].SSID))) << "listed twice: " << Text(list.Entries[i].SSID);
      out[Text(list.Entries[i].SSID)] = list.Entries[i];
    }
    return out;
  }

  // Our profiles by id, with their settings.
  std::map<std::string, nm::Settings> Profiles() {
    std::map<std::string, nm::Settings> out;
    for (const auto& path : nm::Connections(Mock().Bus()))
      if (auto s = nm::ConnectionSettings(Mock().Bus(), path))
        out[nm::AsString(nm::SettingValue(*s, "connection", "id"))] = *s;
    return out;
  }

  std::unique_ptr<TWifiLibrary> lib_;
  TWifiInterfaceList interfaces_{};
  std::string wifi_;
};

TEST_F(NmWirelessTest, ListsTheWifiDevicesAndTheirNetworksWithTheirKinds) {
  const char16_t* id = FirstInterface();
  ASSERT_NE(id, nullptr);
  EXPECT_EQ(interfaces_.Count, 1u);  // the wired device is no wireless interface
  EXPECT_EQ(Text(id), "wlan0");

  const auto networks = Visible(id);
  // One entry per name: the hidden network has none, HomeNet's second access point adds none.
  ASSERT_EQ(networks.size(), 4u);
  const std::map<std::string, std::uint32_t> kinds = {{"HomeNet", 2}, {"Cafe", 3}, {"Ostrelay", 1}, {"OldRouter", 1}};
  for (const auto& [name, kind] : kinds) {
    ASSERT_EQ(networks.count(name), 1u) << name;
    EXPECT_EQ(networks.at(name).Security & 0xFF, kind) << name;
    EXPECT_NE(networks.at(name).State & 0xFF, 0u) << name;
  }
  EXPECT_EQ(networks.at("HomeNet").AuxByte & 0xFF, 70u);  // the stronger access point stands for both

  TWifiNetworkList list;
  EXPECT_NE(lib_->GetVisibleNetworkList(u"eth0", &list), 0u);
}

TEST_F(NmWirelessTest, AddSsidHostsASharedNetworkAndDeleteSsidRemovesOnlyOurs) {
  // A profile of the user's own with the same name is left alone.
  Mock().AddProfile({{"connection", {{"id", Str("Ostrelay")}, {"type", Str("802-11-wireless")}}}});
  ASSERT_EQ(lib_->RegisterNotification(&Recorder::Callback), 0u);
  const char16_t* id = FirstInterface();
  ASSERT_NE(id, nullptr);

  ASSERT_EQ(lib_->AddSsid(id, u"Ostrelay", u"73914"), 0u);
  auto profiles = Profiles();
  ASSERT_EQ(profiles.count("KESTRUNE Ostrelay"), 1u);
  const nm::Settings& s = profiles.at("KESTRUNE Ostrelay");
  EXPECT_EQ(nm::AsString(nm::SettingValue(s, "ipv4", "method")), "shared");
  EXPECT_EQ(nm::AsString(nm::SettingValue(s, "802-11-wireless", "mode")), "adhoc");
  EXPECT_EQ(nm::AsBytes(nm::SettingValue(s, "802-11-wireless", "ssid")), "Ostrelay");
  EXPECT_EQ(nm::AsString(nm::SettingValue(s, "802-11-wireless-security", "key-mgmt")), "none");
  EXPECT_EQ(nm::AsString(nm::SettingValue(s, "802-11-wireless-security", "wep-key0")), "73914");
  EXPECT_EQ(Mock().DeviceState(wifi_), 100u);
  const auto up = Recorder::Get().Next(kWifiCodeConnectionComplete);
  ASSERT_TRUE(up.has_value());
  EXPECT_EQ(up->name, "Ostrelay");
  EXPECT_NE(up->thread, std::this_thread::get_id());

  // Hosting again replaces our profile instead of adding a second one.
  ASSERT_EQ(lib_->AddSsid(id, u"Ostrelay", u"1234567890abc"), 0u);
  profiles = Profiles();
  EXPECT_EQ(nm::AsString(nm::SettingValue(profiles.at("KESTRUNE Ostrelay"), "802-11-wireless-security", "wep-key0")),
            "1234567890abc");
  std::size_t ours = 0;
  for (const auto& path : nm::Connections(Mock().Bus()))
    if (auto p = nm::ConnectionSettings(Mock().Bus(), path))
      ours += nm::AsString(nm::SettingValue(*p, "connection", "id")) == "KESTRUNE Ostrelay";
  EXPECT_EQ(ours, 1u);

  Recorder::Get().Clear();
  ASSERT_EQ(lib_->DeleteSsid(id, u"Ostrelay"), 0u);
  profiles = Profiles();
  EXPECT_EQ(profiles.count("KESTRUNE Ostrelay"), 0u);
  EXPECT_EQ(profiles.count("Ostrelay"), 1u);
  EXPECT_NE(Mock().DeviceState(wifi_), 100u);
  const auto down = Recorder::Get().Next(kWifiCodeDisconnected);
  ASSERT_TRUE(down.has_value());
  EXPECT_EQ(down->name, "Ostrelay");
  EXPECT_EQ(lib_->DeleteSsid(id, u"Ostrelay"), kErrNotFound);
}

TEST_F(NmWirelessTest, AddSsidRefusesWhatCannotBeHosted) {
  const char16_t* id = FirstInterface();
  ASSERT_NE(id, nullptr);
  struct Case {
    const char16_t* ssid;
    const char16_t* key;
  };
  const Case cases[] = {
      {u"", u"73914"},                                   // no name
      {u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456", u"73914"},  // 33 bytes
      {u"Ostrelay", u" 73914 "},                         // neither a WEP key nor a WPA one
      {u"Ostrelay", u"1234"},
  };
  for (const auto& c : cases) {
    EXPECT_NE(lib_->AddSsid(id, c.ssid, c.key), 0u) << Text(c.ssid) << " / " << Text(c.key);
  }
  EXPECT_TRUE(Profiles().empty());
  EXPECT_NE(lib_->AddSsid(u"wlan9", u"Ostrelay", u"73914"), 0u);
}

TEST_F(NmWirelessTest, ConnectJoinsTheAccessPointAndRaisesCompletion) {
  ASSERT_EQ(lib_->RegisterNotification(&Recorder::Callback), 0u);
  const char16_t* id = FirstInterface();
  ASSERT_NE(id, nullptr);
  auto networks = Visible(id);
  ASSERT_EQ(networks.count("HomeNet"), 1u);
  const TWifiNetworkEntry home = networks.at("HomeNet");

  // A WEP-sized key is no WPA passphrase: refused before anything is added.
  EXPECT_EQ(lib_->Connect(id, u"HomeNet", u"73914", 2, home.ConnectParamA, home.ConnectParamB), kErrInvalidPassword);
  EXPECT_TRUE(Profiles().empty());

  ASSERT_EQ(lib_->Connect(id, u"HomeNet", u"correct horse", 2, home.ConnectParamA, home.ConnectParamB), 0u);
  const auto up = Recorder::Get().Next(kWifiCodeConnectionComplete);
  ASSERT_TRUE(up.has_value());
  EXPECT_EQ(up->name, "HomeNet");
  networks = Visible(id);
  EXPECT_EQ(networks.at("HomeNet").State & 0xFF, 0u);
  EXPECT_NE(networks.at("Cafe").State & 0xFF, 0u);

  EXPECT_EQ(lib_->Disconnect(id), 0u);
  const auto down = Recorder::Get().Next(kWifiCodeDisconnected);
  ASSERT_TRUE(down.has_value());
  EXPECT_EQ(down->name, "HomeNet");
  EXPECT_NE(Visible(id).at("HomeNet").State & 0xFF, 0u);

  // Leaving the network removes the profile the join made.
  EXPECT_EQ(lib_->DeleteSsid(id, u"HomeNet"), 0u);
  EXPECT_TRUE(Profiles().empty());
}

TEST_F(NmWirelessTest, NoNotificationAfterUnregisterReturns) {
  ASSERT_EQ(lib_->RegisterNotification(&Recorder::Callback), 0u);
  const char16_t* id = FirstInterface();
  ASSERT_NE(id, nullptr);
  ASSERT_EQ(lib_->AddSsid(id, u"Ostrelay", u"73914"), 0u);
  ASSERT_TRUE(Recorder::Get().Next(kWifiCodeConnectionComplete).has_value());
  lib_->UnRegisterNotification();
  Recorder::Get().Clear();
  ASSERT_EQ(lib_->DeleteSsid(id, u"Ostrelay"), 0u);
  // Registered again, the library reports the next change and only that one.
  ASSERT_EQ(lib_->RegisterNotification(&Recorder::Callback), 0u);
  ASSERT_EQ(lib_->AddSsid(id, u"Ostrelay", u"73914"), 0u);
  Recorder& r = Recorder::Get();
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard lock(r.mutex);
    return !r.notes.empty();
  }));
  std::lock_guard lock(r.mutex);
  EXPECT_EQ(r.notes.front().code, kWifiCodeConnectionComplete) << "a notification from while unregistered";
}

TEST(WirelessLibraryPathTest, TheEnvironmentChoosesTheLibrary) {
  const char* old = std::getenv("KESTRUNE_WIRELESS_LIBRARY");
  const std::string saved = old != nullptr ? old : "";
  unsetenv("KESTRUNE_WIRELESS_LIBRARY");
  EXPECT_EQ(WirelessLibraryPath("/opt/k/"), "/opt/k/libwireless.so");
  setenv("KESTRUNE_WIRELESS_LIBRARY", "", 1);
  EXPECT_EQ(WirelessLibraryPath("/opt/k/"), "/opt/k/libwireless.so");
  setenv("KESTRUNE_WIRELESS_LIBRARY", "/opt/k/nm/libwireless.so", 1);
  EXPECT_EQ(WirelessLibraryPath("/opt/k/"), "/opt/k/nm/libwireless.so");
  if (old != nullptr)
    setenv("KESTRUNE_WIRELESS_LIBRARY", saved.c_str(), 1);
  else
    unsetenv("KESTRUNE_WIRELESS_LIBRARY");
}

}  // namespace
