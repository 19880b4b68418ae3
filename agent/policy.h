// The administrators' switches: Group Policy values that turn off the statistics reports and
// the update check. A switch is a REG_DWORD under Software\Policies\quenvo of HKLM (computer
// policy) or HKCU (user policy).
#pragma once

#include <windows.h>

extern const wchar_t kPolicyKey[];  // "Software\Policies\quenvo"

// One switch in one hive, as RegQueryValueExW reported it into a DWORD.
struct PolicyValue {
  bool found = false;  // the query succeeded
  DWORD type = REG_NONE;
  DWORD bytes = 0;
  DWORD data = 0;
};

// Group Policy's precedence: a computer value, when present, decides; otherwise the user's;
// otherwise the switch is off. Only a REG_DWORD of 1 (on) or 0 (off) is present.
bool IsSwitchOn(const PolicyValue& machine, const PolicyValue& user);

struct AgentPolicy {
  bool disableStatistics = false;   // no request to "/stat.php"
  bool disableUpdateCheck = false;  // no query to "/version.php"
};

// Both switches, from both hives.
AgentPolicy ReadAgentPolicy();
