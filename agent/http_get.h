// The agent's one HTTP client: a blocking GET through the system's proxy settings.
#pragma once

#include <string>

// The reply body decoded from the thread's ANSI code page, whatever the status; "error" when
// the URL can't be opened (no network, refused, time-out); "" when WinInet can't start.
std::wstring HttpGet(const std::wstring& url);
