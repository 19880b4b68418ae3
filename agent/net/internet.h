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

// The clock of one whole request, which the caller and the thread that makes the request both
// read, so that they agree on every moment. The time-outs bound each connect, send and read
// (`step_ms`), but a server that keeps sending, or sends a byte now and then, never lets one of
// them expire; the budget ends such a reply with what came by then.
class RequestDeadline {
 public:
  RequestDeadline(ULONGLONG start_ms, ULONGLONG budget_ms, ULONGLONG step_ms)
      : reading_ends_ms_(start_ms + budget_ms), give_up_ms_(reading_ends_ms_ + step_ms), step_ms_(step_ms) {}
  // No read starts once this has passed.
  bool PassedAt(ULONGLONG now_ms) const { return now_ms >= reading_ends_ms_; }
  bool Passed() const { return PassedAt(GetTickCount64()); }
  // A request may be sent (connect, then send, each within one step; a connect's attempts at
  // two addresses get half a step each) only if it is surely out before the caller gives up:
  // nothing of an abandoned exchange may reach the server later.
  bool MaySendAt(ULONGLONG now_ms) const { return now_ms + 2 * step_ms_ <= give_up_ms_; }
  // How long the caller still waits at now_ms: until the last read, started just before the
  // budget ran out, has had its step.
  DWORD WaitAt(ULONGLONG now_ms) const { return now_ms < give_up_ms_ ? static_cast<DWORD>(give_up_ms_ - now_ms) : 0; }

 private:
  ULONGLONG reading_ends_ms_;
  ULONGLONG give_up_ms_;
  ULONGLONG step_ms_;
};

// A request's clock, started now: its reading may take twice the time-out in all, from the
// first connection to the last read, so a slow but steady reply still gets through.
RequestDeadline StartRequestClock();

// The root handle, with the system's proxy settings and the time-outs set.
ScopedInternet OpenInternet(const wchar_t* agent);

// Sends a GET for url and follows redirects itself, up to a fixed number of hops; a redirect
// whose target can't be resolved or split is not followed. False when url can't be split or a
// connection or request can't be made or sent, or when the deadline (if any) no longer lets a
// request be sent. The status is the caller's to read.
bool SendFollowingRedirects(HINTERNET internet, const std::wstring& url, const RequestStyle& style,
                            HttpExchange* exchange, const RequestDeadline* deadline = nullptr);
// The same for a caller that has split its address already.
bool SendFollowingRedirects(HINTERNET internet, const RequestTarget& target, const RequestStyle& style,
                            HttpExchange* exchange);

}  // namespace quenvo
