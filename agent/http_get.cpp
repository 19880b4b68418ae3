#include "http_get.h"

#include <windows.h>
#include <wininet.h>

#include "reply_buffer.h"
#include "scoped_handle.h"

#ifndef QUENVO_NET_TIMEOUT_MS
#define QUENVO_NET_TIMEOUT_MS 30000
#endif

namespace {

using ScopedInternet = quenvo::ScopedHandle<quenvo::NullIsInvalidTraits<HINTERNET, BOOL, ::InternetCloseHandle>>;

// Without these a server that accepts and never answers holds the agent forever. Set on the
// root handle for the platforms that hand them down, and on the request itself for those
// that don't.
void SetTimeouts(HINTERNET handle) {
  DWORD timeout = QUENVO_NET_TIMEOUT_MS;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
    InternetSetOptionW(handle, option, &timeout, sizeof timeout);
  }
}

struct UrlParts {
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring object;  // path and query
  bool secure = false;
};

bool CrackUrl(const std::wstring& url, UrlParts* parts) {
  URL_COMPONENTSW c = {};
  c.dwStructSize = sizeof c;
  c.dwHostNameLength = c.dwUrlPathLength = c.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &c)) return false;
  if ((c.nScheme != INTERNET_SCHEME_HTTP && c.nScheme != INTERNET_SCHEME_HTTPS) || c.dwHostNameLength == 0) {
    return false;
  }
  parts->host.assign(c.lpszHostName, c.dwHostNameLength);
  parts->port = c.nPort;
  parts->object.assign(c.lpszUrlPath, c.dwUrlPathLength);
  parts->object.append(c.lpszExtraInfo, c.dwExtraInfoLength);
  if (parts->object.empty()) parts->object = L"/";
  parts->secure = c.nScheme == INTERNET_SCHEME_HTTPS;
  return true;
}

// Redirects are followed here, not by WinInet, which (under Wine at least) follows a redirect
// loop without end. Ten hops is more than any real server needs.
constexpr int kMaxRedirects = 10;

bool IsRedirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// One exchange: the connection and the request, opened layer by layer as opening the URL in
// one call would do, so that the time-outs can be set on the request before it is sent.
struct Exchange {
  ScopedInternet connection;
  ScopedInternet request;
};

bool Send(HINTERNET internet, const std::wstring& url, Exchange* exchange) {
  exchange->request.Close();  // the request before its connection
  exchange->connection.Close();
  UrlParts parts;
  if (!CrackUrl(url, &parts)) return false;
  exchange->connection.Reset(InternetConnectW(internet, parts.host.c_str(), parts.port, /*user*/ nullptr,
                                              /*password*/ nullptr, INTERNET_SERVICE_HTTP, 0, /*context*/ 0));
  if (!exchange->connection) return false;
  const DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | (parts.secure ? INTERNET_FLAG_SECURE : 0);
  exchange->request.Reset(HttpOpenRequestW(exchange->connection.Get(), L"GET", parts.object.c_str(),
                                           /*version*/ nullptr, /*referrer*/ nullptr, /*accept*/ nullptr, flags,
                                           /*context*/ 0));
  if (!exchange->request) return false;
  SetTimeouts(exchange->request.Get());
  return HttpSendRequestW(exchange->request.Get(), /*headers*/ nullptr, 0, /*body*/ nullptr, 0) != FALSE;
}

DWORD StatusOf(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
  return status;
}

// The redirect's target, resolved against the address that was asked for; "" without one.
std::wstring RedirectTarget(HINTERNET request, const std::wstring& base) {
  wchar_t location[2048] = {};
  DWORD size = sizeof location - sizeof location[0];
  if (!HttpQueryInfoW(request, HTTP_QUERY_LOCATION, location, &size, nullptr)) return std::wstring();
  wchar_t combined[4096] = {};
  DWORD length = 4096;
  if (!InternetCombineUrlW(base.c_str(), location, combined, &length, ICU_NO_ENCODE)) return std::wstring();
  return combined;
}

}  // namespace

std::wstring HttpGet(const std::wstring& url) {
  ScopedInternet internet(InternetOpenW(/*agent*/ L"", INTERNET_OPEN_TYPE_PRECONFIG, /*proxy*/ nullptr,
                                        /*bypass*/ nullptr, 0));
  if (!internet) return std::wstring();
  SetTimeouts(internet.Get());

  Exchange exchange;
  std::wstring address = url;
  for (int hop = 0;; ++hop) {
    if (!Send(internet.Get(), address, &exchange)) return L"error";
    if (hop == kMaxRedirects || !IsRedirect(StatusOf(exchange.request.Get()))) break;
    const std::wstring next = RedirectTarget(exchange.request.Get(), address);
    if (next.empty()) break;
    address = next;
  }

  // The status is not examined: an error page's body is a reply like any other. A read
  // error ends the reply with what came so far.
  ReplyBuffer reply;
  char chunk[4096];
  DWORD read = 0;
  while (InternetReadFile(exchange.request.Get(), chunk, sizeof chunk, &read) && read > 0) {
    reply.Append(chunk, read);
  }
  return reply.Text();
}
