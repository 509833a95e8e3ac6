#pragma once
// A thin C++ layer over GDBus for talking to NetworkManager: a private
// connection to the system bus, method calls and property reads that throw on
// failure, and the connection-settings dictionary as a plain map.
//
// The connection is private (never GLib's shared system-bus singleton): that
// one ends the whole process when its bus goes away. Every member may be
// called from any thread; GDBus connections are thread-safe.
#include <gio/gio.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrune::platform::nm {

inline constexpr const char* kService = "org.freedesktop.NetworkManager";
inline constexpr const char* kManagerPath = "/org/freedesktop/NetworkManager";
inline constexpr const char* kSettingsPath = "/org/freedesktop/NetworkManager/Settings";
inline constexpr const char* kManagerIface = "org.freedesktop.NetworkManager";
inline constexpr const char* kSettingsIface = "org.freedesktop.NetworkManager.Settings";
inline constexpr const char* kConnectionIface = "org.freedesktop.NetworkManager.Settings.Connection";
inline constexpr const char* kActiveIface = "org.freedesktop.NetworkManager.Connection.Active";
inline constexpr const char* kDeviceIface = "org.freedesktop.NetworkManager.Device";
inline constexpr const char* kWirelessIface = "org.freedesktop.NetworkManager.Device.Wireless";
inline constexpr const char* kAccessPointIface = "org.freedesktop.NetworkManager.AccessPoint";

// A shared reference to a GVariant (the floating reference is sunk).
using Variant = std::shared_ptr<GVariant>;
Variant Adopt(GVariant* value);

class NmError : public std::runtime_error {
 public:
  NmError(const std::string& message, std::string dbusName = {})
      : std::runtime_error(message), dbusName_(std::move(dbusName)) {}
  // The remote error's D-Bus name, empty for a local failure.
  const std::string& DbusName() const { return dbusName_; }

 private:
  std::string dbusName_;
};

class Bus {
 public:
  static constexpr int kCallTimeoutMs = 10000;

  // A new private connection to the system bus that DBUS_SYSTEM_BUS_ADDRESS
  // (or the well-known socket) names. Throws NmError.
  static std::shared_ptr<Bus> ConnectSystem();
  // The address ConnectSystem would use now; empty when none can be found.
  static std::string SystemAddress();

  ~Bus();
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;

  GDBusConnection* Raw() const { return connection_; }
  const std::string& Address() const { return address_; }
  bool Closed() const;

  // Whether some process owns the name (the service answers on this bus).
  bool NameHasOwner(const char* name);

  // A method of NetworkManager's object at path; args may be null or floating.
  // Throws NmError with the remote error's text.
  Variant Call(const std::string& path, const char* iface, const char* method, GVariant* args,
               const char* replyType = nullptr, int timeoutMs = kCallTimeoutMs);
  // The property's value (unboxed). Throws NmError.
  Variant Get(const std::string& path, const char* iface, const char* property);
  // Every property of the interface; empty when the object or interface is gone.
  std::map<std::string, Variant> GetAll(const std::string& path, const char* iface);

 private:
  Bus(GDBusConnection* connection, std::string address) : connection_(connection), address_(std::move(address)) {}
  GDBusConnection* connection_;
  std::string address_;
};

// Value helpers; a missing or mistyped value gives the fallback.
std::string AsString(const Variant& v, const std::string& fallback = {});
std::uint32_t AsUint32(const Variant& v, std::uint32_t fallback = 0);
std::vector<std::string> AsStrings(const Variant& v);  // "as" or "ao"
std::string AsBytes(const Variant& v);                  // "ay"
Variant Lookup(const std::map<std::string, Variant>& props, const std::string& name);

// A connection's settings, a{sa{sv}}, as setting name → key → value.
using Settings = std::map<std::string, std::map<std::string, Variant>>;
Settings ParseSettings(const Variant& dict);
// A floating a{sa{sv}} for a call's arguments.
GVariant* BuildSettings(const Settings& settings);
Variant SettingValue(const Settings& settings, const std::string& setting, const std::string& key);

// Floating variants for building settings.
GVariant* StringValue(const std::string& text);
GVariant* BytesValue(const std::string& bytes);
GVariant* StringArrayValue(const std::vector<std::string>& items);

// The devices NetworkManager knows, in its order.
std::vector<std::string> Devices(Bus& bus);
// Every saved connection's object path.
std::vector<std::string> Connections(Bus& bus);
// A saved connection's settings; nullopt when it is gone.
std::optional<Settings> ConnectionSettings(Bus& bus, const std::string& connectionPath);
// The saved connection behind a device's active connection; empty when none.
std::string ActiveSettingsPath(Bus& bus, const std::string& devicePath);

}  // namespace kestrune::platform::nm
