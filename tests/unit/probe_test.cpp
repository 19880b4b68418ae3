#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "adapter_probe.h"
#include "machine_id.h"
#include "os_probe.h"

#include <windows.h>
#include <iphlpapi.h>

TEST(OsName, TableLookup) {
  const BYTE ws = VER_NT_WORKSTATION, server = 3;
  using Os = std::tuple<DWORD, DWORD, DWORD, BYTE, const wchar_t*>;  // major, minor, platform, product type, name
  // Platform 0 has no row; Windows2008 is 6.1 with only the basic record: product type 0.
  for (const auto& [major, minor, platform, product, name] :
       {Os{4, 10, VER_PLATFORM_WIN32_WINDOWS, 0, L"Windows98"}, Os{4, 0, VER_PLATFORM_WIN32_NT, ws, L"WindowsNT"},
        Os{4, 0, 0, ws, L""}, Os{5, 1, 2, ws, L"WindowsXP"}, Os{5, 2, 2, ws, L"Windows2003"},
        Os{5, 2, 2, server, L"Windows2003"}, Os{6, 0, 2, server, L"Vista"}, Os{6, 1, 2, ws, L"Windows7"},
        Os{6, 1, 2, 0, L"Windows2008"}, Os{6, 2, 2, ws, L"Windows8"}, Os{6, 3, 2, ws, L"Windows8"},
        Os{6, 3, 2, server, L"Windows Server 2012 R2"}, Os{10, 0, 2, ws, L"Windows10"}, Os{10, 0, 2, server, L""},
        Os{6, 4, 2, ws, L""}, Os{3, 51, 2, ws, L""}}) {
    EXPECT_STREQ(LookupOsName(major, minor, platform, product), name)
        << major << "." << minor << ", platform " << platform << ", product type " << int{product};
  }
}

TEST(OsName, ThisWineReportsWindows7AndTruncatesToCapacity) {
  wchar_t name[260] = {};
  EXPECT_TRUE(GetOsName(name, 260));
  EXPECT_STREQ(name, L"Windows7");  // a fresh prefix, no manifest: 6.1 workstation
  wchar_t small[5] = {};
  EXPECT_TRUE(GetOsName(small, 5));
  EXPECT_STREQ(small, L"Wind");
}

TEST(Uac, FreshPrefixHasItOff) {
  EXPECT_EQ(IsUacEnabled(), 0);
}

TEST(Adapter, PnpInstanceIdMustNamePciBeforeTheFirstBackslash) {
  EXPECT_TRUE(IsPciInstanceId("PCI\\VEN_8086&DEV_100E\\3&1"));
  for (const char* id : {"ROOT\\NET\\0000", "PCIX\\VEN_1", "pci\\VEN_1", "PCI", ""}) {
    EXPECT_FALSE(IsPciInstanceId(id)) << id;
  }
}

TEST(Adapter, FirstQualifyingAdapterWins) {
  std::vector<AdapterRecord> list = {
      {"{virtual}", "TAP adapter", {1, 2, 3, 4, 5, 6}},
      {"{lower}", "intel pci nic", {0, 0, 0, 0, 0, 1}},
      {"{registry}", "eth0", {0, 0, 0, 0, 0, 2}},
      {"{desc}", "Intel PCIe Gigabit", {0, 0, 0, 0, 0, 3}},
  };
  std::vector<std::string> asked;
  auto byRegistry = [&](const char* name) {
    asked.push_back(name);
    return std::string(name) == "{registry}";
  };
  EXPECT_EQ(ChooseAdapter(list, byRegistry), 2);
  EXPECT_EQ(asked, (std::vector<std::string>{"{virtual}", "{lower}", "{registry}"}));
  EXPECT_EQ(ChooseAdapter(list, [](const char*) { return false; }), 3);  // 'PCIe' by description
  list.pop_back();
  EXPECT_EQ(ChooseAdapter(list, [](const char*) { return false; }), -1);
  EXPECT_EQ(ChooseAdapter({}, [](const char*) { return true; }), -1);
}

TEST(Adapter, AddressIsTwelveUpperCaseDigits) {
  const unsigned char a[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  EXPECT_EQ(FormatMacText(a), "001A2B3C4D5E");
}

TEST(Adapter, OverlongIdentifierIsNotPciAndDoesNotOverflow) {
  EXPECT_FALSE(IsPciAdapter(std::string(300, 'x').c_str()));
  EXPECT_FALSE(IsPciAdapter(std::string(249, 'x').c_str()));  // 249 + "\Connection" = 260: no room for NUL
  EXPECT_FALSE(IsPciAdapter("{no-such-adapter}"));
}

// Digests from Python's hashlib.
TEST(MachineId, DigestOfAddressFollowedBySystemName) {
  EXPECT_EQ(MachineIdFrom("00155D0A1B2C", L"Windows7"), L"8183295509ed1aae8c370a49539d5552");
  EXPECT_EQ(MachineIdFrom("", L"Windows7"), L"12bea9674f3d121afd7750d332933b41");
  EXPECT_EQ(MachineIdFrom("", L""), L"d41d8cd98f00b204e9800998ecf8427e");
}

// Wine's adapters describe themselves by interface name, so none qualifies until its
// network-class record says it sits on the PCI bus.
TEST(MachineId, AdapterBecomesPciThroughItsPnpInstanceId) {
  std::vector<IP_ADAPTER_INFO> list(16);
  ULONG size = static_cast<ULONG>(list.size() * sizeof(IP_ADAPTER_INFO));
  if (GetAdaptersInfo(list.data(), &size) != ERROR_SUCCESS) GTEST_SKIP() << "no network adapter under this Wine";
  const IP_ADAPTER_INFO& first = list[0];
  ASSERT_EQ(std::string(GetMacText()), "");
  EXPECT_EQ(MakeMachineId(L"Windows7"), MachineIdFrom("", L"Windows7"));

  const std::string key = std::string(
                              "SYSTEM\\CurrentControlSet\\Control\\Network\\"
                              "{4D36E972-E325-11CE-BFC1-08002BE10318}\\") +
                          first.AdapterName + "\\Connection";
  const char pnp[] = "PCI\\VEN_8086&DEV_100E&SUBSYS_001E8086\\3&267A616A&0&18";
  ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "PnpInstanceID", REG_SZ, pnp, sizeof pnp), ERROR_SUCCESS);

  const std::string mac = FormatMacText(first.Address);
  EXPECT_TRUE(IsPciAdapter(first.AdapterName));
  EXPECT_EQ(std::string(GetMacText()), mac);
  EXPECT_EQ(MakeMachineId(L"Windows7"), MachineIdFrom(mac.c_str(), L"Windows7"));
  EXPECT_NE(MakeMachineId(L"Windows7"), MachineIdFrom("", L"Windows7"));
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}
