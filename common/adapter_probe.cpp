#include "adapter_probe.h"

#include <windows.h>
#include <iphlpapi.h>

#include <cstdio>
#include <cstring>

#include "scoped_handle.h"

namespace {

constexpr int kAdapterSlots = 16;
constexpr size_t kIdBufferSize = 260;
char g_macText[1024];

const char kNetworkClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}";

// The platform's list of adapters, whole. The first try uses room for 16 records; a longer list
// (virtual switches, VPNs and containers add adapters, and each adapter's addresses are stored
// behind the records) is asked for again at the size the platform names.
std::vector<IP_ADAPTER_INFO> AdapterList() {
  std::vector<IP_ADAPTER_INFO> list(kAdapterSlots);
  for (int attempt = 0; attempt < 3; ++attempt) {  // the list may grow between two calls
    ULONG size = static_cast<ULONG>(list.size() * sizeof(IP_ADAPTER_INFO));
    const DWORD rc = GetAdaptersInfo(list.data(), &size);
    if (rc == ERROR_SUCCESS) return list;
    if (rc != ERROR_BUFFER_OVERFLOW) break;
    list.assign((size + sizeof(IP_ADAPTER_INFO) - 1) / sizeof(IP_ADAPTER_INFO), IP_ADAPTER_INFO{});
  }
  return {};
}

std::vector<AdapterRecord> ListAdapters() {
  std::vector<AdapterRecord> adapters;
  const std::vector<IP_ADAPTER_INFO> list = AdapterList();
  if (list.empty()) return adapters;
  for (const IP_ADAPTER_INFO* a = list.data(); a != nullptr; a = a->Next) {
    AdapterRecord record;
    record.name.assign(a->AdapterName, strnlen(a->AdapterName, sizeof a->AdapterName));
    record.description.assign(a->Description, strnlen(a->Description, sizeof a->Description));
    std::memcpy(record.address, a->Address, sizeof record.address);
    adapters.push_back(record);
  }
  return adapters;
}

}  // namespace

bool IsPciInstanceId(const char* instanceId) {
  const char* slash = std::strchr(instanceId, '\\');
  if (slash == nullptr) return false;
  return slash - instanceId == 3 && std::strncmp(instanceId, "PCI", 3) == 0;
}

std::string FormatMacText(const unsigned char address[6]) {
  char text[13];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", address[0], address[1], address[2], address[3],
                address[4], address[5]);
  return text;
}

bool IsPciAdapter(const char* adapterName) {
  quenvo::ScopedKey network;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kNetworkClassKey, 0, KEY_READ, network.Receive()) != ERROR_SUCCESS) {
    return false;
  }
  char buffer[kIdBufferSize] = {};
  // An identifier too long for the subkey name cannot name a real adapter.
  const int n = std::snprintf(buffer, sizeof buffer, "%s\\Connection", adapterName);
  if (n < 0 || static_cast<size_t>(n) >= sizeof buffer) return false;

  quenvo::ScopedKey connection;
  if (RegOpenKeyExA(network.Get(), buffer, 0, KEY_READ, connection.Receive()) != ERROR_SUCCESS) return false;
  std::memset(buffer, 0, sizeof buffer);
  // One byte fewer than the buffer, so that a stored text without a NUL still ends in one.
  DWORD size = sizeof buffer - 1;
  if (RegQueryValueExA(connection.Get(), "PnpInstanceID", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  return IsPciInstanceId(buffer);
}

const char* GetMacText() {
  std::memset(g_macText, 0, sizeof g_macText);
  const std::vector<AdapterRecord> adapters = ListAdapters();
  const int chosen = ChooseAdapter(adapters, IsPciAdapter);
  if (chosen >= 0) {
    const std::string text = FormatMacText(adapters[static_cast<size_t>(chosen)].address);
    std::memcpy(g_macText, text.c_str(), text.size());
  }
  return g_macText;
}
