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

std::vector<AdapterRecord> ListAdapters() {
  // Room for 16 records of this build's own IP_ADAPTER_INFO size (704 bytes on x86_64).
  std::vector<IP_ADAPTER_INFO> list(kAdapterSlots);
  ULONG size = static_cast<ULONG>(list.size() * sizeof(IP_ADAPTER_INFO));
  std::vector<AdapterRecord> adapters;
  if (GetAdaptersInfo(list.data(), &size) != ERROR_SUCCESS) return adapters;
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
