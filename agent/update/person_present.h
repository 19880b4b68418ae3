// Whether a person can see a window that this process opens: not LocalSystem, not session 0
// (services', which no person sees since Windows Vista), and a window station that shows
// (a service's own station does not).
#pragma once

#include <windows.h>

struct SessionFacts {
  bool local_system = false;
  DWORD session_id = 0;
  bool visible_station = false;
};

bool IsPersonPresent(const SessionFacts& facts);

// This process's facts. What can't be read counts against a person: no window is opened then.
SessionFacts ReadSessionFacts();
