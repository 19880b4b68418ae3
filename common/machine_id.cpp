#include "machine_id.h"

#include "adapter_probe.h"
#include "md5.h"
#include "text.h"

std::wstring MachineIdFrom(const char* macText, const std::wstring& osName) {
  const std::string text = ToAnsi(FromAnsi(macText) + osName);
  char hex[64] = {};
  Md5Hex(text.c_str(), hex, sizeof hex);
  return FromAnsi(hex);
}

std::wstring MakeMachineId(const std::wstring& osName) {
  return MachineIdFrom(GetMacText(), osName);
}
