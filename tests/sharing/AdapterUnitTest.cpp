#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "sharing/AdapterUnit.h"
#include "sharing/SimRig.h"

using namespace kestrune::platform;

namespace {

std::vector<std::string> Names(const TAdapterManager& m) {
  std::vector<std::string> out;
  for (int i = 0; i < m.Adapters().Count(); ++i) out.push_back(m.Adapter(i)->AdapterName);
  return out;
}

}  // namespace

TEST(AdapterText, MacAddressToStr) {
  const std::uint8_t bytes[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0xFF, 0x0F};
  EXPECT_EQ(MacAddressToStr(bytes, 6), "00-1A-2B-3C-4D-5E");
  EXPECT_EQ(MacAddressToStr(bytes, 8), "00-1A-2B-3C-4D-5E-FF-0F");
  EXPECT_EQ(MacAddressToStr(bytes + 6, 1), "FF");
  EXPECT_EQ(MacAddressToStr(bytes, 0), "");
  EXPECT_EQ(MacAddressToStr(nullptr, 0), "");
  EXPECT_EQ(MacAddressToStr(bytes, -3), "");
}

TEST(AdapterText, AddressAndMaskChains) {
  struct Case {
    std::vector<IpAddrString> chain;
    std::string addresses, masks;
  } cases[] = {
      {{}, "", ""},
      {{{"", ""}}, "", ""},
      {{{"192.168.1.23", "255.255.255.0"}}, "192.168.1.23", "255.255.255.0"},
      // An empty first entry leaves no leading blank line.
      {{{"", ""}, {"10.0.0.5", "255.0.0.0"}}, "10.0.0.5", "255.0.0.0"},
      {{{"10.0.0.5", "255.0.0.0"}, {"10.0.0.6", "255.255.0.0"}, {"10.0.0.7", "255.255.255.0"}},
       "10.0.0.5\r\n10.0.0.6\r\n10.0.0.7",
       "255.0.0.0\r\n255.255.0.0\r\n255.255.255.0"},
      // The fields hold 16 characters and end at a NUL.
      {{{"123.123.123.123XYZ", std::string("255.0\0junk", 10)}}, "123.123.123.123X", "255.0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IpAddressListToStr(c.chain), c.addresses);
    EXPECT_EQ(IpMaskListToStr(c.chain), c.masks);
  }
}

TEST(ReadConnectionInfo, ClassifiesFromTheConnectionKey) {
  struct Case {
    std::optional<RegistryValue> pnp;
    std::optional<RegistryValue> media;
    bool physical, wireless;
  } cases[] = {
      {RegistryValue::String("PCI\\VEN_8086&DEV_100E\\3&1"), RegistryValue::DWord(1), true, false},
      {RegistryValue::String("USB\\VID_0BDA&PID_8176\\1"), RegistryValue::DWord(2), true, true},
      {RegistryValue::String("PCMCIA\\CARD-1"), std::nullopt, true, false},
      {RegistryValue::String("ROOT\\MS_PPPOEMINIPORT\\0000"), RegistryValue::DWord(2), false, true},
      {RegistryValue::String("pci\\ven_8086&dev_100e"), RegistryValue::DWord(1), false, false},
      {RegistryValue::String("PC"), std::nullopt, false, false},  // shorter than the prefix
      {RegistryValue::String(""), RegistryValue::DWord(3), false, false},
      {RegistryValue::String("PCIe"), RegistryValue::DWord(0), true, false},  // only the start counts
      {std::nullopt, RegistryValue::DWord(2), false, true},
  };
  for (const auto& c : cases) {
    SimRegistry registry;
    const std::string guid = "{11111111-2222-3333-4444-555555555555}";
    const std::string key = NetworkConnectionKeyPath(guid);
    registry.CreateKey(HKEY_LOCAL_MACHINE, key);
    if (c.pnp) registry.SetValue(HKEY_LOCAL_MACHINE, key, "PnpInstanceID", *c.pnp);
    if (c.media) registry.SetValue(HKEY_LOCAL_MACHINE, key, "MediaSubType", *c.media);
    bool physical = false, wireless = false;
    ReadConnectionInfo(registry, guid, physical, wireless);
    EXPECT_EQ(physical, c.physical) << (c.pnp ? c.pnp->text : "<none>");
    EXPECT_EQ(wireless, c.wireless) << (c.pnp ? c.pnp->text : "<none>");
    EXPECT_EQ(registry.OpenKeyCount(), 0);
  }
}

TEST(ReadConnectionInfo, FlagsAreWrittenOnlyWhenTheirValueIsFound) {
  SimRegistry registry;
  const std::string guid = "{11111111-2222-3333-4444-555555555555}";
  bool physical = true, wireless = true;
  ReadConnectionInfo(registry, guid, physical, wireless);  // no key
  EXPECT_TRUE(physical);
  EXPECT_TRUE(wireless);

  registry.SetString(HKEY_LOCAL_MACHINE, NetworkConnectionKeyPath(guid), "PnpInstanceID", "ROOT\\X");
  ReadConnectionInfo(registry, guid, physical, wireless);  // no MediaSubType
  EXPECT_FALSE(physical);
  EXPECT_TRUE(wireless);

  // Key names ignore case, as the platform's do.
  registry.SetString(HKEY_LOCAL_MACHINE, NetworkConnectionKeyPath(guid), "PnpInstanceID", "USB\\X");
  bool p2 = false, w2 = false;
  ReadConnectionInfo(registry, "{11111111-2222-3333-4444-5555555555AB}", p2, w2);
  EXPECT_FALSE(p2);
  registry.SetString(HKEY_LOCAL_MACHINE, NetworkConnectionKeyPath("{AAAAAAAA-2222-3333-4444-555555555555}"),
                     "PnpInstanceID", "USB\\X");
  ReadConnectionInfo(registry, "{aaaaaaaa-2222-3333-4444-555555555555}", p2, w2);
  EXPECT_TRUE(p2);
  EXPECT_FALSE(w2);
  EXPECT_EQ(registry.OpenKeyCount(), 0);
}

TEST(ReadConnectionInfo, WrongValueTypesRaiseAndCloseTheKey) {
  const std::string guid = "{11111111-2222-3333-4444-555555555555}";
  struct Case {
    const char* name;
    RegistryValue value;
  } cases[] = {
      {"PnpInstanceID", RegistryValue::DWord(1)},
      {"PnpInstanceID", RegistryValue::Binary("PCI\\")},
      {"MediaSubType", RegistryValue::String("2")},
      {"MediaSubType", RegistryValue::Binary(std::string("\x02\0\0\0", 4))},
  };
  for (const auto& c : cases) {
    SimRegistry registry;
    registry.SetValue(HKEY_LOCAL_MACHINE, NetworkConnectionKeyPath(guid), c.name, c.value);
    bool physical = false, wireless = false;
    try {
      ReadConnectionInfo(registry, guid, physical, wireless);
      ADD_FAILURE() << c.name << " of the wrong type was read";
    } catch (const kestrune::ERegistryException& e) {
      EXPECT_EQ(std::string(e.what()), std::string("Invalid data type for '") + c.name + "'");
    }
    EXPECT_EQ(registry.OpenKeyCount(), 0) << c.name;
  }
}

TEST(AdapterManager, ReadsEveryFieldOfTheChain) {
  SimRig m;
  SimAdapter a = SimRig::Wired(1);
  a.ifIndex = 11;
  a.dhcp = true;
  a.addresses = {{"192.168.1.23", "255.255.255.0"}, {"192.168.1.24", "255.255.0.0"}};
  a.gateways = {"192.168.1.1", "192.168.1.2"};
  m.builder.Add(a);
  SimAdapter b = SimRig::Wireless(2);
  b.ifIndex = 12;
  b.dhcp = false;
  b.mac = {};
  b.addresses = {{"", ""}};
  b.gateways = {};
  m.builder.Add(b);
  IpAdapterInfo odd = MakeAdapterInfo(SimRig::Wired(3), 13);
  odd.DhcpEnabled = 2;  // only 1 means DHCP
  odd.AddressLength = 200;
  odd.AdapterName = std::string("{ABC}\0tail", 10);
  odd.Description = std::string(300, 'D');
  m.ipHelper.AddAdapter(odd);

  TAdapterManager manager(m.Bundle());
  ASSERT_EQ(manager.Adapters().Count(), 3);
  EXPECT_EQ(Lines(manager.Adapters()), (std::vector<std::string>{"11", "12", "13"}));

  const TAdapter* first = manager.Adapter(0);
  EXPECT_EQ(first->AdapterName, a.guid);
  EXPECT_EQ(first->Description, a.deviceName);
  EXPECT_EQ(first->IfIndex, 11);
  EXPECT_EQ(first->MacAddress, "02-00-00-00-00-01");
  EXPECT_EQ(first->AdapterType, 6);
  EXPECT_TRUE(first->DhcpEnabled);
  EXPECT_EQ(Lines(first->IpAddresses), (std::vector<std::string>{"192.168.1.23", "192.168.1.24"}));
  EXPECT_EQ(Lines(first->IpMasks), (std::vector<std::string>{"255.255.255.0", "255.255.0.0"}));
  EXPECT_EQ(Lines(first->Gateways), (std::vector<std::string>{"192.168.1.1", "192.168.1.2"}));
  EXPECT_TRUE(first->IsPhysical);
  EXPECT_FALSE(first->IsWireless);

  const TAdapter* second = manager.Adapter(1);
  EXPECT_EQ(second->MacAddress, "");
  EXPECT_FALSE(second->DhcpEnabled);
  EXPECT_TRUE(second->IpAddresses.Empty());
  EXPECT_TRUE(second->IpMasks.Empty());
  EXPECT_TRUE(second->Gateways.Empty());
  EXPECT_EQ(second->AdapterType, 71);
  EXPECT_TRUE(second->IsPhysical);
  EXPECT_TRUE(second->IsWireless);

  const TAdapter* third = manager.Adapter(2);
  EXPECT_FALSE(third->DhcpEnabled);
  EXPECT_EQ(third->MacAddress, "02-00-00-00-00-03-00-00");  // never past the 8-byte field
  EXPECT_EQ(third->AdapterName, "{ABC}");
  EXPECT_EQ(third->Description, std::string(132, 'D'));
  EXPECT_FALSE(third->IsPhysical);  // no registry key
  EXPECT_FALSE(third->IsWireless);
  EXPECT_EQ(m.registry.OpenKeyCount(), 0);
}

TEST(AdapterManager, SummaryNamesTakeTheLastOfEachKind) {
  SimRig m;
  SimAdapter wired1 = SimRig::Wired(1), wired2 = SimRig::Wired(2), wifi = SimRig::Wireless(3);
  SimAdapter ppp = SimRig::Wired(4);
  ppp.type = MIB_IF_TYPE_PPP;
  ppp.pnpInstanceId = "ROOT\\MS_PPPOEMINIPORT\\0000";
  SimAdapter virtualLan = SimRig::Wired(5);  // after the physical ones, but not physical
  virtualLan.pnpInstanceId = "ROOT\\VMWARE\\0000";
  for (const auto& a : {wired1, wired2, wifi, ppp, virtualLan}) m.builder.Add(a);

  TAdapterManager manager(m.Bundle());
  EXPECT_EQ(manager.WiredAdapter(), wired2.guid);
  EXPECT_EQ(manager.WirelessAdapter(), wifi.guid);
  EXPECT_EQ(manager.DialUpAdapter(), ppp.guid);

  // Each summary is rebuilt from scratch.
  m.ipHelper.ClearAdapters();
  m.ipHelper.AddAdapter(MakeAdapterInfo(wired1, 20));
  manager.LoadAdapters();
  EXPECT_EQ(manager.WiredAdapter(), wired1.guid);
  EXPECT_EQ(manager.WirelessAdapter(), "");
  EXPECT_EQ(manager.DialUpAdapter(), "");
}

TEST(AdapterManager, ManyAdaptersAreAllListed) {
  for (const int count : {8, 9, 64}) {
    SimRig m;
    std::vector<std::string> expected;
    for (int n = 1; n <= count; ++n) {
      auto a = SimRig::Wired(n);
      if (n % 3 == 0) a.addresses.push_back({"172.16.0." + std::to_string(n), "255.255.0.0"});
      m.builder.Add(a);
      expected.push_back(a.guid);
    }
    TAdapterManager manager(m.Bundle());
    EXPECT_EQ(Names(manager), expected) << count;
    // The first query is made with the room of eight adapters; more need a second one.
    const auto sizes = m.ipHelper.AdaptersInfoSizes();
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.front(), 5120u);
    EXPECT_EQ(sizes.size(), AdapterInfoBufferSize(m.ipHelper.Adapters()) > 5120 ? 2u : 1u) << count;
  }
}

TEST(AdapterManager, FailedQueriesRaiseTheOSErrorAndKeepTheList) {
  SimRig m;
  m.builder.Add(SimRig::Wired(1));
  m.builder.Add(SimRig::Wireless(2));
  TAdapterManager manager(m.Bundle());
  ASSERT_EQ(manager.Adapters().Count(), 2);

  struct Case {
    std::uint32_t code;
    const char* message;
  } cases[] = {
      {ERROR_NOT_SUPPORTED, "System Error.  Code: 50.\r\nThe request is not supported"},
      {ERROR_NO_DATA, "System Error.  Code: 232.\r\nThe pipe is being closed"},
      {31, "System Error.  Code: 31.\r\nA device attached to the system is not functioning"},
  };
  for (const auto& c : cases) {
    m.ipHelper.FailAdaptersInfo(c.code);
    try {
      manager.Refresh();
      ADD_FAILURE() << "no error for " << c.code;
    } catch (const kestrune::EOSError& e) {
      EXPECT_EQ(e.ErrorCode(), c.code);
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(manager.Adapters().Count(), 2);
    EXPECT_EQ(manager.WirelessAdapter(), SimRig::Wireless(2).guid);
  }
}

TEST(AdapterManager, NoIPv4AdapterFailsTheConstructorWithNoData) {
  SimRig m;  // an empty chain
  try {
    TAdapterManager manager(m.Bundle());
    FAIL() << "constructed without adapters";
  } catch (const kestrune::EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), ERROR_NO_DATA);
  }
}

TEST(AdapterManager, AChainThatKeepsGrowingStillEndsInAnError) {
  // A helper that always wants more room than it was given.
  struct Greedy : IIpHelper {
    int calls = 0;
    std::uint32_t GetAdaptersInfo(std::vector<IpAdapterInfo>*, std::uint32_t& size) override {
      ++calls;
      size += 640;
      return ERROR_BUFFER_OVERFLOW;
    }
    std::uint32_t GetIfTable(MibIfTable*, std::uint32_t& size, bool) override {
      size = 4;
      return ERROR_INSUFFICIENT_BUFFER;
    }
  } greedy;
  SimRegistry registry;
  Platform p;
  p.ipHelper = &greedy;
  p.registry = &registry;
  try {
    TAdapterManager manager(p);
    FAIL();
  } catch (const kestrune::EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), ERROR_BUFFER_OVERFLOW);
  }
  EXPECT_LE(greedy.calls, 5);
}

TEST(AdapterManager, OperationalStatesComeWithRefresh) {
  SimRig m;
  SimAdapter up = SimRig::Wired(1), down = SimRig::Wireless(2), rowless = SimRig::Wired(3);
  up.operStatus = MIB_IF_OPER_STATUS_OPERATIONAL;
  down.operStatus = MIB_IF_OPER_STATUS_DISCONNECTED;
  rowless.operStatus = std::nullopt;
  for (const auto& a : {up, down, rowless}) m.builder.Add(a);
  m.ipHelper.AddInterfaceRow(MibIfRow{1, MIB_IF_TYPE_LOOPBACK, MIB_IF_OPER_STATUS_OPERATIONAL});

  TAdapterManager manager(m.Bundle());
  EXPECT_EQ(manager.IfTable(), nullptr);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(manager.Adapter(i)->OperStatus, 0u) << i;

  manager.Refresh();
  ASSERT_NE(manager.IfTable(), nullptr);
  EXPECT_EQ(manager.IfTable()->dwNumEntries, 3u);
  EXPECT_EQ(manager.Adapter(0)->OperStatus, MIB_IF_OPER_STATUS_OPERATIONAL);
  EXPECT_EQ(manager.Adapter(1)->OperStatus, MIB_IF_OPER_STATUS_DISCONNECTED);
  EXPECT_EQ(manager.Adapter(2)->OperStatus, 0u);

  // A later read shows the link coming up.
  m.ipHelper.SetOperStatus(manager.Adapter(1)->IfIndex, MIB_IF_OPER_STATUS_CONNECTED);
  manager.Refresh();
  EXPECT_EQ(manager.Adapter(1)->OperStatus, MIB_IF_OPER_STATUS_CONNECTED);

  // When the table cannot be read the new records keep 0.
  m.ipHelper.FailIfTable(ERROR_NOT_SUPPORTED);
  manager.Refresh();
  EXPECT_EQ(manager.IfTable(), nullptr);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(manager.Adapter(i)->OperStatus, 0u) << i;
}

TEST(AdapterManager, TheInterfaceTableMayGrowAfterStart) {
  SimRig m;
  m.builder.Add(SimRig::Wired(1));
  TAdapterManager manager(m.Bundle());
  // Adapters plugged in after the buffer was sized.
  for (int n = 2; n <= 12; ++n) {
    auto a = SimRig::Wired(n);
    a.operStatus = MIB_IF_OPER_STATUS_CONNECTING;
    m.builder.Add(a);
  }
  manager.Refresh();
  ASSERT_NE(manager.IfTable(), nullptr);
  ASSERT_EQ(manager.Adapters().Count(), 12);
  EXPECT_EQ(manager.Adapter(0)->OperStatus, MIB_IF_OPER_STATUS_OPERATIONAL);
  for (int i = 1; i < 12; ++i) EXPECT_EQ(manager.Adapter(i)->OperStatus, MIB_IF_OPER_STATUS_CONNECTING) << i;
}

TEST(AdapterManager, AWrongRegistryTypeStopsTheWalkAtThatAdapter) {
  SimRig m;
  for (int n = 1; n <= 4; ++n) m.builder.Add(SimRig::Wired(n));
  TAdapterManager manager(m.Bundle());
  m.registry.SetValue(HKEY_LOCAL_MACHINE, NetworkConnectionKeyPath(SimRig::Wired(3).guid), "MediaSubType",
                      RegistryValue::String("1"));
  EXPECT_THROW(manager.Refresh(), kestrune::ERegistryException);
  EXPECT_EQ(Names(manager), (std::vector<std::string>{SimRig::Wired(1).guid, SimRig::Wired(2).guid}));
  EXPECT_EQ(m.registry.OpenKeyCount(), 0);
}
