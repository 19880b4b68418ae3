// The agent's one WinInet client policy, shared by the reports and the installer download:
// time-outs, redirects followed by hand, and the request opened layer by layer.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

#include "scoped_handle.h"

namespace quenvo {

// Where one request goes.
struct RequestTarget {
  std::wstring host;
  INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
  std::wstring object;  // path and query, as the request line carries them
  bool secure = false;
};

// Turns an address into a target; false when it can't be used.
using AddressSplitter = bool (*)(const std::wstring& url, RequestTarget* target);

// How a caller's requests look on the wire.
struct RequestStyle {
  const wchar_t* verb;                // null: GET
  const wchar_t* const* acceptTypes;  // null: no Accept header
  DWORD flags;                        // redirects are never left to WinInet
  AddressSplitter split;
};

// A sent request and its connection; the request closes first.
struct HttpExchange {
  ScopedInternet connection;
  ScopedInternet request;
  RequestTarget target;  // where the last request went
};

// A clock for one whole request. The time-outs bound each connect, send and read, but a server
// that keeps sending, or sends a byte now and then, never lets one of them expire.
class RequestDeadline {
 public:
  RequestDeadline(ULONGLONG start_ms, ULONGLONG budget_ms) : end_ms_(start_ms + budget_ms) {}
  bool PassedAt(ULONGLONG now_ms) const { return now_ms >= end_ms_; }
  bool Passed() const { return PassedAt(GetTickCount64()); }

 private:
  ULONGLONG end_ms_;
};

// What one request may take in all, from its first connection to its last read: twice the
// time-out, so a slow but steady reply still gets through.
ULONGLONG RequestBudgetMs();
// The connect, send and receive time-out of every request.
DWORD NetTimeoutMs();

// The root handle, with the system's proxy settings and the time-outs set.
ScopedInternet OpenInternet(const wchar_t* agent);

// Sends a GET for url and follows redirects itself, up to a fixed number of hops; a redirect
// whose target can't be resolved or split is not followed. False when url can't be split or a
// connection or request can't be made or sent, or when the deadline (if any) passes between
// hops. The status is the caller's to read.
bool SendFollowingRedirects(HINTERNET internet, const std::wstring& url, const RequestStyle& style,
                            HttpExchange* exchange, const RequestDeadline* deadline = nullptr);
// The same for a caller that has split its address already.
bool SendFollowingRedirects(HINTERNET internet, const RequestTarget& target, const RequestStyle& style,
                            HttpExchange* exchange);

}  // namespace quenvo
