// The hardware address of the first network adapter that sits on the PCI bus.
#pragma once

#include <string>
#include <vector>

struct AdapterRecord {
  std::string name;         // the adapter's identifier, a braced GUID
  std::string description;  // the driver's description
  unsigned char address[6];
};

// Index of the first adapter whose description contains "PCI" or for which isPci(name)
// holds, tried in that order per record; -1 when none qualifies.
template <typename IsPci>
int ChooseAdapter(const std::vector<AdapterRecord>& adapters, IsPci isPci) {
  for (size_t i = 0; i < adapters.size(); ++i) {
    if (adapters[i].description.find("PCI") != std::string::npos) return static_cast<int>(i);
    if (isPci(adapters[i].name.c_str())) return static_cast<int>(i);
  }
  return -1;
}

// True when a PnpInstanceID names the PCI bus: the text before its first backslash is "PCI".
bool IsPciInstanceId(const char* instanceId);

// Six address bytes as 12 upper-case hex digits.
std::string FormatMacText(const unsigned char address[6]);

// True when the platform's record of the adapter says it sits on the PCI bus.
bool IsPciAdapter(const char* adapterName);

// The chosen adapter's address, or "" (a process-wide buffer, refilled by each call).
const char* GetMacText();
