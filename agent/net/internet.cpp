#include "internet.h"

void quenvo::InternetHandleTraits::Close(Handle h) {
  ::InternetCloseHandle(h);
}

namespace quenvo {

namespace {

// More hops than any real server needs; a redirect loop must not hold the program.
constexpr int kMaxRedirects = 10;

bool IsRedirectStatus(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// A connect tries up to this many of the first hop's addresses (the proxy's, if there is one),
// one attempt each, in the order the name resolved, so that a host whose first address fails
// (an IPv6 address without a working route, ahead of a working IPv4 one; one server of several
// down) is still reached. Each attempt gets this share of the time-out: whether a WinInet
// version counts the connect time-out per address or across the addresses it tries, the
// connect ends within one time-out, which is what the request's clock allows it (counted
// across them, the next address gets what the first one left of that share).
constexpr DWORD kConnectAttempts = 2;

// Without these a server that accepts and never answers holds the program for minutes. Some
// WinInet implementations hand the root handle's limits down to its requests and some don't,
// so they are set on both.
void SetTimeouts(HINTERNET handle) {
  DWORD timeout = QUENVO_NET_TIMEOUT_MS;
  for (DWORD option : {INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                       INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
    InternetSetOptionW(handle, option, &timeout, sizeof timeout);
  }
  DWORD attempt = QUENVO_NET_TIMEOUT_MS / kConnectAttempts;
  InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &attempt, sizeof attempt);
  DWORD attempts = kConnectAttempts;
  InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_RETRIES, &attempts, sizeof attempts);
}

DWORD StatusOf(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, /*index*/ nullptr);
  return status;
}

// The redirect's Location resolved against the address that was asked for; "" without one.
std::wstring RedirectTarget(HINTERNET request, const std::wstring& base) {
  wchar_t location[2048] = {};
  DWORD size = sizeof location - sizeof location[0];
  if (!HttpQueryInfoW(request, HTTP_QUERY_LOCATION, location, &size, /*index*/ nullptr)) return std::wstring();
  wchar_t combined[4096] = {};
  DWORD length = 4096;
  if (!InternetCombineUrlW(base.c_str(), location, combined, &length, ICU_NO_ENCODE)) return std::wstring();
  return combined;
}

// The previous hop's handles must be closed by now.
bool Send(HINTERNET internet, const RequestTarget& target, const RequestStyle& style, HttpExchange* exchange) {
  exchange->target = target;
  exchange->connection.Reset(InternetConnectW(internet, target.host.c_str(), target.port, /*user*/ nullptr,
                                              /*password*/ nullptr, INTERNET_SERVICE_HTTP, 0, /*context*/ 0));
  if (!exchange->connection) return false;
  const DWORD flags = style.flags | INTERNET_FLAG_NO_AUTO_REDIRECT | (target.secure ? INTERNET_FLAG_SECURE : 0);
  exchange->request.Reset(HttpOpenRequestW(exchange->connection.Get(), style.verb, target.object.c_str(),
                                           /*version*/ nullptr, /*referrer*/ nullptr,
                                           const_cast<const wchar_t**>(style.acceptTypes), flags, /*context*/ 0));
  if (!exchange->request) return false;
  SetTimeouts(exchange->request.Get());
  return HttpSendRequestW(exchange->request.Get(), /*headers*/ nullptr, 0, /*body*/ nullptr, 0) != FALSE;
}

// What a request for target asked for: the base that a relative Location is resolved against.
std::wstring AddressOf(const RequestTarget& target) {
  const INTERNET_PORT usual = target.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  std::wstring address = target.secure ? L"https://" : L"http://";
  address += target.host;
  if (target.port != usual) address += L":" + std::to_wstring(target.port);
  return address + target.object;
}

// address is what target was split from.
bool Follow(HINTERNET internet, RequestTarget target, std::wstring address, const RequestStyle& style,
            HttpExchange* exchange, const RequestDeadline* deadline) {
  for (int hop = 0;; ++hop) {
    // Closing the previous hop may read on to the end of its body (Wine's WinInet does, to
    // keep the connection), so the clock is read only once it is closed.
    exchange->request.Close();  // the request before its connection
    exchange->connection.Close();
    if (deadline != nullptr && !deadline->MaySendAt(GetTickCount64())) return false;
    if (!Send(internet, target, style, exchange)) return false;
    if (hop == kMaxRedirects || !IsRedirectStatus(StatusOf(exchange->request.Get()))) return true;
    const std::wstring next = RedirectTarget(exchange->request.Get(), address);
    RequestTarget nextTarget;
    if (next.empty() || !style.split(next, &nextTarget)) return true;
    address = next;
    target = nextTarget;
  }
}

}  // namespace

RequestDeadline StartRequestClock() {
  return RequestDeadline(GetTickCount64(), /*budget*/ 2ULL * QUENVO_NET_TIMEOUT_MS, /*step*/ QUENVO_NET_TIMEOUT_MS);
}

ScopedInternet OpenInternet(const wchar_t* agent) {
  ScopedInternet internet(
      InternetOpenW(agent, INTERNET_OPEN_TYPE_PRECONFIG, /*proxy*/ nullptr, /*bypass*/ nullptr, /*flags*/ 0));
  if (internet) SetTimeouts(internet.Get());
  return internet;
}

bool SendFollowingRedirects(HINTERNET internet, const std::wstring& url, const RequestStyle& style,
                            HttpExchange* exchange, const RequestDeadline* deadline) {
  RequestTarget target;
  if (!style.split(url, &target)) return false;
  return Follow(internet, target, url, style, exchange, deadline);
}

bool SendFollowingRedirects(HINTERNET internet, const RequestTarget& target, const RequestStyle& style,
                            HttpExchange* exchange) {
  return Follow(internet, target, AddressOf(target), style, exchange, /*deadline*/ nullptr);
}

}  // namespace quenvo
