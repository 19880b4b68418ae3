#include "policy.h"

#include "scoped_handle.h"

// Group Policy's own place; a 32-bit agent on 64-bit Windows sees it unredirected, shared
// with the 64-bit view that the policy editor writes.
const wchar_t kPolicyKey[] = L"Software\\Policies\\quenvo";

namespace {

bool IsPresent(const PolicyValue& value) {
  return value.found && value.type == REG_DWORD && value.bytes == sizeof(DWORD) && value.data <= 1;
}

struct HiveSwitches {
  PolicyValue statistics;
  PolicyValue updateCheck;
};

PolicyValue Query(HKEY key, const wchar_t* name) {
  PolicyValue value;
  value.bytes = sizeof value.data;
  // A longer value (a text, a QWORD) does not fit and is not found.
  value.found = RegQueryValueExW(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(&value.data), &value.bytes) ==
                ERROR_SUCCESS;
  return value;
}

HiveSwitches ReadHive(HKEY root) {
  HiveSwitches hive;
  quenvo::ScopedKey key;
  if (RegOpenKeyExW(root, kPolicyKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) return hive;
  hive.statistics = Query(key.Get(), L"DisableStatistics");
  hive.updateCheck = Query(key.Get(), L"DisableUpdateCheck");
  return hive;
}

}  // namespace

bool IsSwitchOn(const PolicyValue& machine, const PolicyValue& user) {
  if (IsPresent(machine)) return machine.data == 1;
  return IsPresent(user) && user.data == 1;
}

AgentPolicy ReadAgentPolicy() {
  const HiveSwitches machine = ReadHive(HKEY_LOCAL_MACHINE);
  const HiveSwitches user = ReadHive(HKEY_CURRENT_USER);
  AgentPolicy policy;
  policy.disableStatistics = IsSwitchOn(machine.statistics, user.statistics);
  policy.disableUpdateCheck = IsSwitchOn(machine.updateCheck, user.updateCheck);
  return policy;
}
