#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "platform/NetSharing.h"
#include "platform/sim/SimRegistry.h"

using namespace kestrune::platform;

namespace {

const std::string kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string RegistryError(const std::function<void()>& f) {
  try {
    f();
  } catch (const kestrune::ERegistryException& e) {
    return e.what();
  }
  return "<no error>";
}

}  // namespace

TEST(Registry, ReadsFollowTheValueType) {
  SimRegistry r;
  r.SetString(HKEY_LOCAL_MACHINE, "A\\B", "Text", "hello");
  r.SetValue(HKEY_LOCAL_MACHINE, "A\\B", "Expand", RegistryValue{RegistryDataType::ExpandString, "%PATH%", 0});
  r.SetValue(HKEY_LOCAL_MACHINE, "A\\B", "Terminated", RegistryValue::String(std::string("abc\0", 4)));
  r.SetDWord(HKEY_LOCAL_MACHINE, "A\\B", "Flags", 0x8000u);
  r.SetDWord(HKEY_LOCAL_MACHINE, "A\\B", "Big", 0xFFFFFFFFu);
  r.SetValue(HKEY_LOCAL_MACHINE, "A\\B", "Bytes", RegistryValue::Binary("\x01\x02"));
  r.SetValue(HKEY_LOCAL_MACHINE, "A\\B", "Wide", RegistryValue{RegistryDataType::QWord, {}, 5});
  r.FailRead(HKEY_LOCAL_MACHINE, "A\\B", "Broken");
  r.SetDWord(HKEY_LOCAL_MACHINE, "A\\B", "Broken", 1);

  auto key = r.OpenKey(HKEY_LOCAL_MACHINE, "\\a\\b\\", RegistryAccess::Read, false);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadString("Text"), "hello");
  EXPECT_EQ(key->ReadString("TEXT"), "hello");
  EXPECT_EQ(key->ReadString("Expand"), "%PATH%");
  EXPECT_EQ(key->ReadString("Terminated"), "abc");
  EXPECT_EQ(key->ReadString("Missing"), "");
  EXPECT_EQ(key->ReadInteger("Flags"), 0x8000);
  EXPECT_EQ(key->ReadInteger("Big"), -1);
  EXPECT_TRUE(key->ValueExists("flags"));
  EXPECT_FALSE(key->ValueExists("Missing"));

  struct Case {
    std::function<void()> read;
    const char* error;
  } cases[] = {
      {[&] { key->ReadString("Flags"); }, "Invalid data type for 'Flags'"},
      {[&] { key->ReadString("Bytes"); }, "Invalid data type for 'Bytes'"},
      {[&] { key->ReadInteger("Text"); }, "Invalid data type for 'Text'"},
      {[&] { key->ReadInteger("Wide"); }, "Invalid data type for 'Wide'"},
      {[&] { key->ReadInteger("Missing"); }, "Failed to get data for 'Missing'"},
      {[&] { key->ReadInteger("Broken"); }, "Failed to get data for 'Broken'"},
      {[&] { key->ReadString("Broken"); }, "Failed to get data for 'Broken'"},
      {[&] { key->WriteString("Text", "x"); }, "Failed to set data for 'Text'"},  // opened for reading
      {[&] { key->WriteInteger("New", 1); }, "Failed to set data for 'New'"},
  };
  for (const auto& c : cases) EXPECT_EQ(RegistryError(c.read), c.error);
  EXPECT_FALSE(key->DeleteValue("Text"));
  EXPECT_EQ(r.GetValue(HKEY_LOCAL_MACHINE, "A\\B", "Text").text, "hello");
}

TEST(Registry, WritesCreateReplaceAndDelete) {
  SimRegistry r;
  EXPECT_FALSE(r.OpenKey(HKEY_LOCAL_MACHINE, kRun, RegistryAccess::Full, false));
  EXPECT_FALSE(r.OpenKey(HKEY_LOCAL_MACHINE, kRun, RegistryAccess::Read, true));  // creating needs full access
  {
    auto key = r.OpenKey(HKEY_LOCAL_MACHINE, kRun, RegistryAccess::Full, true);
    ASSERT_TRUE(key);
    key->WriteString("KESTRUNE", "\"C:\\old.exe\"");
    key->WriteString("kestrune", "\"C:\\new.exe\"");  // the same value, in another case
    key->WriteInteger("Count", -2);
    EXPECT_EQ(key->GetValueNames(), (std::vector<std::string>{"Count", "KESTRUNE"}));
    EXPECT_TRUE(key->DeleteValue("count"));
    EXPECT_FALSE(key->DeleteValue("count"));
    EXPECT_EQ(r.OpenKeyCount(), 1);
  }
  EXPECT_EQ(r.OpenKeyCount(), 0);
  EXPECT_EQ(r.GetValue(HKEY_LOCAL_MACHINE, kRun, "KESTRUNE").text, "\"C:\\new.exe\"");
  EXPECT_EQ(r.GetValue(HKEY_LOCAL_MACHINE, kRun, "KESTRUNE").type, RegistryDataType::String);
  // Other roots are separate trees.
  EXPECT_FALSE(r.OpenKey(HKEY_CURRENT_USER, kRun, RegistryAccess::Read, false));
}

TEST(Registry, SubkeysEnumerateAlphabetically) {
  SimRegistry r;
  const std::string base = "SOFTWARE\\Microsoft\\WZCSVC\\Parameters\\Interfaces";
  for (const char* name : {"{C000}", "{a000}", "{B000}"}) r.CreateKey(HKEY_LOCAL_MACHINE, base + "\\" + name);
  auto key = r.OpenKey(HKEY_LOCAL_MACHINE, "\\" + base + "\\", RegistryAccess::Full, false);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->GetKeyNames(), (std::vector<std::string>{"{a000}", "{B000}", "{C000}"}));
  EXPECT_TRUE(r.DeleteKey(HKEY_LOCAL_MACHINE, base + "\\{b000}"));
  EXPECT_EQ(key->GetKeyNames(), (std::vector<std::string>{"{a000}", "{C000}"}));
}

TEST(Registry, InjectedRefusals) {
  SimRegistry r;
  r.SetDWord(HKEY_LOCAL_MACHINE, "K\\Admin", "ControlFlags", 1);
  r.SetDWord(HKEY_LOCAL_MACHINE, "K\\Locked", "ControlFlags", 1);
  r.SetDWord(HKEY_LOCAL_MACHINE, "K\\Frozen", "ControlFlags", 1);
  r.DenyAccess(HKEY_LOCAL_MACHINE, "K\\Admin", RegistryAccess::Full);
  r.DenyAccess(HKEY_LOCAL_MACHINE, "K\\Locked", RegistryAccess::Read);
  r.SetReadOnly(HKEY_LOCAL_MACHINE, "K\\Frozen");

  EXPECT_FALSE(r.OpenKey(HKEY_LOCAL_MACHINE, "K\\Admin", RegistryAccess::Full, false));
  EXPECT_TRUE(r.OpenKey(HKEY_LOCAL_MACHINE, "K\\Admin", RegistryAccess::Read, false));
  EXPECT_FALSE(r.OpenKey(HKEY_LOCAL_MACHINE, "K\\Locked", RegistryAccess::Read, false));
  EXPECT_FALSE(r.OpenKey(HKEY_LOCAL_MACHINE, "K\\Admin\\Sub", RegistryAccess::Full, true));  // no creating below
  auto frozen = r.OpenKey(HKEY_LOCAL_MACHINE, "K\\Frozen", RegistryAccess::Full, false);
  ASSERT_TRUE(frozen);
  EXPECT_EQ(frozen->ReadInteger("ControlFlags"), 1);
  EXPECT_EQ(RegistryError([&] { frozen->WriteInteger("ControlFlags", 0x8001); }),
            "Failed to set data for 'ControlFlags'");
  EXPECT_EQ(r.GetValue(HKEY_LOCAL_MACHINE, "K\\Frozen", "ControlFlags").number, 1u);

  r.ClearFaults();
  EXPECT_TRUE(r.OpenKey(HKEY_LOCAL_MACHINE, "K\\Locked", RegistryAccess::Full, false));
  frozen->WriteInteger("ControlFlags", 0x8001);
  EXPECT_EQ(r.GetValue(HKEY_LOCAL_MACHINE, "K\\Frozen", "ControlFlags").number, 0x8001u);
}

TEST(Registry, CompositeRoutesByTheLongestPrefix) {
  SimRegistry network, run, rest;
  network.SetDWord(HKEY_LOCAL_MACHINE, NetworkConnectionKeyPath("{X}"), "MediaSubType", 2);
  run.SetString(HKEY_LOCAL_MACHINE, kRun, "KESTRUNE", "run");
  rest.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other", "V", "rest");
  rest.SetString(HKEY_LOCAL_MACHINE, kRun, "KESTRUNE", "shadowed");

  CompositeRegistry composite;
  composite.Mount(HKEY_LOCAL_MACHINE, kNetworkClassKey, network);
  composite.Mount(HKEY_LOCAL_MACHINE, "SOFTWARE", rest);
  composite.Mount(HKEY_LOCAL_MACHINE, kRun, run);

  auto key = composite.OpenKey(HKEY_LOCAL_MACHINE, NetworkConnectionKeyPath("{x}"), RegistryAccess::Read, false);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadInteger("MediaSubType"), 2);
  key = composite.OpenKey(HKEY_LOCAL_MACHINE, "software\\microsoft\\windows\\currentversion\\run\\",
                          RegistryAccess::Read, false);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadString("KESTRUNE"), "run");
  key = composite.OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other", RegistryAccess::Read, false);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadString("V"), "rest");
  EXPECT_FALSE(composite.OpenKey(HKEY_LOCAL_MACHINE, "SYSTEM\\Elsewhere", RegistryAccess::Full, true));
  EXPECT_FALSE(composite.OpenKey(HKEY_CURRENT_USER, kRun, RegistryAccess::Read, false));
}

TEST(Registry, PathsAndGuidTexts) {
  EXPECT_EQ(SplitRegistryPath("\\A\\\\B\\"), (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(SplitRegistryPath("").empty());
  EXPECT_EQ(JoinRegistryPath({"A", "B"}), "A\\B");
  EXPECT_EQ(NetworkConnectionKeyPath("{G}"),
            "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\{G}\\Connection");

  const std::string text = "{6B29FC40-CA47-1067-B31D-00DD010662DA}";
  const auto guid = StringToGuid(text);
  ASSERT_TRUE(guid);
  EXPECT_EQ(guid->Data1, 0x6B29FC40u);
  EXPECT_EQ(guid->Data4[7], 0xDA);
  EXPECT_EQ(GuidToString(*guid), text);
  EXPECT_EQ(GuidToString(*StringToGuid("{6b29fc40-ca47-1067-b31d-00dd010662da}")), text);
  for (const char* bad : {"", "6B29FC40-CA47-1067-B31D-00DD010662DA", "{6B29FC40-CA47-1067-B31D-00DD010662D}",
                          "{6B29FC40xCA47-1067-B31D-00DD010662DA}", "{6B29FC40-CA47-1067-B31D-00DD010662DG}",
                          "{6B29FC40-CA47-1067-B31D-00DD010662DA}x"})
    EXPECT_FALSE(StringToGuid(bad)) << bad;
}
