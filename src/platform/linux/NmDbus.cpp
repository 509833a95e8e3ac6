#include "platform/linux/NmDbus.h"


namespace kestrune::platform::nm {

namespace {

struct ErrorGuard {
  GError* error = nullptr;
  ~ErrorGuard() {
    if (error != nullptr) g_error_free(error);
  }
};

[[noreturn]] void Throw(const std::string& what, GError* error) {
  std::string name;
  std::string message = error != nullptr ? error->message : "unknown error";
  if (error != nullptr && g_dbus_error_is_remote_error(error)) {
    gchar* remote = g_dbus_error_get_remote_error(error);
    if (remote != nullptr) name = remote;
    g_free(remote);
    g_dbus_error_strip_remote_error(error);
    message = error->message;
  }
  throw NmError(what + ": " + message, name);
}

}  // namespace

Variant Adopt(GVariant* value) {
  if (value == nullptr) return nullptr;
  return Variant(g_variant_ref_sink(value), [](GVariant* v) { g_variant_unref(v); });
}

std::string Bus::SystemAddress() {
  ErrorGuard guard;
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, &guard.error);
  std::string out = address != nullptr ? address : "";
  g_free(address);
  return out;
}

std::shared_ptr<Bus> Bus::ConnectSystem() {
  const std::string address = SystemAddress();
  if (address.empty()) throw NmError("No system bus address");
  ErrorGuard guard;
  GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
      address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &guard.error);
  if (connection == nullptr) Throw("Cannot connect to the system bus", guard.error);
  g_dbus_connection_set_exit_on_close(connection, FALSE);
  return std::shared_ptr<Bus>(new Bus(connection, address));
}

Bus::~Bus() {
  // Closing flushes nothing of ours and ends the connection's use of the socket now.
  g_dbus_connection_close_sync(connection_, nullptr, nullptr);
  g_object_unref(connection_);
}

bool Bus::Closed() const { return g_dbus_connection_is_closed(connection_) != FALSE; }

bool Bus::NameHasOwner(const char* name) {
  ErrorGuard guard;
  GVariant* reply = g_dbus_connection_call_sync(connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", name),
                                                G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs,
                                                nullptr, &guard.error);
  if (reply == nullptr) return false;
  gboolean owned = FALSE;
  g_variant_get(reply, "(b)", &owned);
  g_variant_unref(reply);
  return owned != FALSE;
}

Variant Bus::Call(const std::string& path, const char* iface, const char* method, GVariant* args,
                  const char* replyType, int timeoutMs) {
  ErrorGuard guard;
  GVariant* reply = g_dbus_connection_call_sync(
      connection_, kService, path.c_str(), iface, method, args,
      replyType != nullptr ? G_VARIANT_TYPE(replyType) : nullptr,
      G_DBUS_CALL_FLAGS_NO_AUTO_START, timeoutMs, nullptr, &guard.error);
  if (reply == nullptr) Throw(std::string(method) + " on " + path, guard.error);
  return Adopt(reply);
}

Variant Bus::Get(const std::string& path, const char* iface, const char* property) {
  const Variant reply =
      Call(path, "org.freedesktop.DBus.Properties", "Get", g_variant_new("(ss)", iface, property), "(v)");
  GVariant* value = nullptr;
  g_variant_get(reply.get(), "(v)", &value);
  return Adopt(value);
}

std::map<std::string, Variant> Bus::GetAll(const std::string& path, const char* iface) {
  std::map<std::string, Variant> out;
  Variant reply;
  try {
    reply = Call(path, "org.freedesktop.DBus.Properties", "GetAll", g_variant_new("(s)", iface), "(a{sv})");
  } catch (const NmError&) {
    return out;
  }
  GVariantIter* iter = nullptr;
  g_variant_get(reply.get(), "(a{sv})", &iter);
  const gchar* key = nullptr;
  GVariant* value = nullptr;
  while (g_variant_iter_next(iter, "{&sv}", &key, &value)) out[key] = Adopt(value);
  g_variant_iter_free(iter);
  return out;
}

std::string AsString(const Variant& v, const std::string& fallback) {
  if (!v) return fallback;
  if (g_variant_is_of_type(v.get(), G_VARIANT_TYPE_STRING) || g_variant_is_of_type(v.get(), G_VARIANT_TYPE_OBJECT_PATH))
    return g_variant_get_string(v.get(), nullptr);
  return fallback;
}

std::uint32_t AsUint32(const Variant& v, std::uint32_t fallback) {
  if (!v) return fallback;
  if (g_variant_is_of_type(v.get(), G_VARIANT_TYPE_UINT32)) return g_variant_get_uint32(v.get());
  if (g_variant_is_of_type(v.get(), G_VARIANT_TYPE_INT32))
    return static_cast<std::uint32_t>(g_variant_get_int32(v.get()));
  if (g_variant_is_of_type(v.get(), G_VARIANT_TYPE_BYTE)) return g_variant_get_byte(v.get());
  return fallback;
}

std::vector<std::string> AsStrings(const Variant& v) {
  std::vector<std::string> out;
  if (!v || !(g_variant_is_of_type(v.get(), G_VARIANT_TYPE("as")) || g_variant_is_of_type(v.get(), G_VARIANT_TYPE("ao"))))
    return out;
  const gsize n = g_variant_n_children(v.get());
  for (gsize i = 0; i < n; ++i) {
    GVariant* child = g_variant_get_child_value(v.get(), i);
    out.emplace_back(g_variant_get_string(child, nullptr));
    g_variant_unref(child);
  }
  return out;
}

std::string AsBytes(const Variant& v) {
  if (!v || !g_variant_is_of_type(v.get(), G_VARIANT_TYPE_BYTESTRING)) return {};
  gsize n = 0;
  const void* data = g_variant_get_fixed_array(v.get(), &n, 1);
  return data != nullptr ? std::string(static_cast<const char*>(data), n) : std::string();
}

Variant Lookup(const std::map<std::string, Variant>& props, const std::string& name) {
  const auto it = props.find(name);
  return it != props.end() ? it->second : nullptr;
}

Settings ParseSettings(const Variant& dict) {
  Settings out;
  if (!dict || !g_variant_is_of_type(dict.get(), G_VARIANT_TYPE("a{sa{sv}}"))) return out;
  GVariantIter outer;
  g_variant_iter_init(&outer, dict.get());
  const gchar* setting = nullptr;
  GVariantIter* inner = nullptr;
  while (g_variant_iter_next(&outer, "{&sa{sv}}", &setting, &inner)) {
    auto& keys = out[setting];
    const gchar* key = nullptr;
    GVariant* value = nullptr;
    while (g_variant_iter_next(inner, "{&sv}", &key, &value)) keys[key] = Adopt(value);
    g_variant_iter_free(inner);
  }
  return out;
}

GVariant* BuildSettings(const Settings& settings) {
  GVariantBuilder outer;
  g_variant_builder_init(&outer, G_VARIANT_TYPE("a{sa{sv}}"));
  for (const auto& [setting, keys] : settings) {
    GVariantBuilder inner;
    g_variant_builder_init(&inner, G_VARIANT_TYPE("a{sv}"));
    for (const auto& [key, value] : keys)
      if (value) g_variant_builder_add(&inner, "{sv}", key.c_str(), value.get());
    g_variant_builder_add(&outer, "{sa{sv}}", setting.c_str(), &inner);
  }
  return g_variant_builder_end(&outer);
}

Variant SettingValue(const Settings& settings, const std::string& setting, const std::string& key) {
  const auto s = settings.find(setting);
  if (s == settings.end()) return nullptr;
  const auto k = s->second.find(key);
  return k != s->second.end() ? k->second : nullptr;
}

GVariant* StringValue(const std::string& text) { return g_variant_new_string(text.c_str()); }

GVariant* BytesValue(const std::string& bytes) {
  return g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, bytes.data(), bytes.size(), 1);
}

GVariant* StringArrayValue(const std::vector<std::string>& items) {
  GVariantBuilder b;
  g_variant_builder_init(&b, G_VARIANT_TYPE("as"));
  for (const auto& i : items) g_variant_builder_add(&b, "s", i.c_str());
  return g_variant_builder_end(&b);
}

std::vector<std::string> Devices(Bus& bus) {
  const Variant reply = bus.Call(kManagerPath, kManagerIface, "GetDevices", nullptr, "(ao)");
  GVariant* list = g_variant_get_child_value(reply.get(), 0);
  return AsStrings(Adopt(list));
}

std::vector<std::string> Connections(Bus& bus) {
  const Variant reply = bus.Call(kSettingsPath, kSettingsIface, "ListConnections", nullptr, "(ao)");
  GVariant* list = g_variant_get_child_value(reply.get(), 0);
  return AsStrings(Adopt(list));
}

std::optional<Settings> ConnectionSettings(Bus& bus, const std::string& connectionPath) {
  Variant reply;
  try {
    reply = bus.Call(connectionPath, kConnectionIface, "GetSettings", nullptr, "(a{sa{sv}})");
  } catch (const NmError&) {
    return std::nullopt;
  }
  return ParseSettings(Adopt(g_variant_get_child_value(reply.get(), 0)));
}

std::string ActiveSettingsPath(Bus& bus, const std::string& devicePath) {
  try {
    const std::string active = AsString(bus.Get(devicePath, kDeviceIface, "ActiveConnection"));
    if (active.empty() || active == "/") return {};
    const std::string connection = AsString(bus.Get(active, kActiveIface, "Connection"));
    return connection == "/" ? std::string() : connection;
  } catch (const NmError&) {
    return {};
  }
}

}  // namespace kestrune::platform::nm
