#include "http_get.h"

#include "internet.h"
#include "reply_buffer.h"

namespace {

// The address as given: scheme, host, port and object. Only http and https are fetched.
bool SplitUrl(const std::wstring& url, quenvo::RequestTarget* target) {
  URL_COMPONENTSW c = {};
  c.dwStructSize = sizeof c;
  c.dwHostNameLength = c.dwUrlPathLength = c.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &c)) return false;
  if ((c.nScheme != INTERNET_SCHEME_HTTP && c.nScheme != INTERNET_SCHEME_HTTPS) || c.dwHostNameLength == 0) {
    return false;
  }
  target->host.assign(c.lpszHostName, c.dwHostNameLength);
  target->port = c.nPort;
  target->object.assign(c.lpszUrlPath, c.dwUrlPathLength);
  target->object.append(c.lpszExtraInfo, c.dwExtraInfoLength);
  if (target->object.empty()) target->object = L"/";
  target->secure = c.nScheme == INTERNET_SCHEME_HTTPS;
  return true;
}

// Opening the URL in one call would send "Accept: */*" with the default verb; the request is
// opened layer by layer only so that the time-outs reach it, and it must look the same.
const wchar_t* const kAcceptAnything[] = {L"*/*", nullptr};
const quenvo::RequestStyle kOpenUrlStyle = {/*verb*/ nullptr, kAcceptAnything, /*flags*/ 0, SplitUrl};

}  // namespace

std::wstring HttpGet(const std::wstring& url) {
  const quenvo::ScopedInternet internet = quenvo::OpenInternet(/*agent*/ L"");
  if (!internet) return std::wstring();
  quenvo::HttpExchange exchange;
  if (!quenvo::SendFollowingRedirects(internet.Get(), url, kOpenUrlStyle, &exchange)) return L"error";

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
