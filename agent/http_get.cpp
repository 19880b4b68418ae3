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

}  // namespace

std::wstring HttpGet(const std::wstring& url) {
  ScopedInternet internet(InternetOpenW(/*agent*/ L"", INTERNET_OPEN_TYPE_PRECONFIG, /*proxy*/ nullptr,
                                        /*bypass*/ nullptr, 0));
  if (!internet) return std::wstring();
  SetTimeouts(internet.Get());

  // The request is opened layer by layer, as opening the URL in one call would do, so that
  // the time-outs can be set on the request before it is sent.
  UrlParts parts;
  if (!CrackUrl(url, &parts)) return L"error";
  ScopedInternet connection(InternetConnectW(internet.Get(), parts.host.c_str(), parts.port, /*user*/ nullptr,
                                             /*password*/ nullptr, INTERNET_SERVICE_HTTP, 0, /*context*/ 0));
  if (!connection) return L"error";
  ScopedInternet request(HttpOpenRequestW(connection.Get(), L"GET", parts.object.c_str(), /*version*/ nullptr,
                                          /*referrer*/ nullptr, /*accept*/ nullptr,
                                          parts.secure ? INTERNET_FLAG_SECURE : 0, /*context*/ 0));
  if (!request) return L"error";
  SetTimeouts(request.Get());
  if (!HttpSendRequestW(request.Get(), /*headers*/ nullptr, 0, /*body*/ nullptr, 0)) return L"error";

  // The status is not examined: an error page's body is a reply like any other. A read
  // error ends the reply with what came so far.
  ReplyBuffer reply;
  char chunk[4096];
  DWORD read = 0;
  while (InternetReadFile(request.Get(), chunk, sizeof chunk, &read) && read > 0) {
    reply.Append(chunk, read);
  }
  return reply.Text();
}
