#include "http_get.h"

#include <process.h>

#include <memory>
#include <utility>

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

// One request, shared by the caller and the thread that makes it. The thread may outlive the
// caller's wait, so neither owns it alone.
struct PendingReply {
  explicit PendingReply(std::wstring address) : url(std::move(address)) {}
  const std::wstring url;
  std::wstring text;  // written once, before `ready` is set, and never after
  const quenvo::ScopedKernelHandle ready{CreateEventW(/*security*/ nullptr, /*manual*/ TRUE, FALSE, nullptr)};
};

void Publish(PendingReply& pending, std::wstring text) {
  pending.text = std::move(text);
  SetEvent(pending.ready.Get());
}

void Request(PendingReply& pending) {
  const quenvo::RequestDeadline deadline(GetTickCount64(), quenvo::RequestBudgetMs());
  const quenvo::ScopedInternet internet = quenvo::OpenInternet(/*agent*/ L"");
  if (!internet) return Publish(pending, std::wstring());
  quenvo::HttpExchange exchange;
  if (!quenvo::SendFollowingRedirects(internet.Get(), pending.url, kOpenUrlStyle, &exchange, &deadline)) {
    return Publish(pending, L"error");
  }

  // The status is not examined: an error page's body is a reply like any other. A read
  // error, the end of what we keep, or the deadline ends the reply with what came so far.
  ReplyBuffer reply;
  char chunk[4096];
  while (!reply.full() && !deadline.Passed()) {
    // Only what has arrived is read, so that no read waits longer than one receive time-out
    // for a reply that trickles in, and the clock is looked at between reads.
    DWORD available = 0;
    if (!InternetQueryDataAvailable(exchange.request.Get(), &available, /*flags*/ 0, /*context*/ 0) || available == 0) {
      break;
    }
    DWORD read = 0;
    const DWORD asked = available < sizeof chunk ? available : DWORD{sizeof chunk};
    if (!InternetReadFile(exchange.request.Get(), chunk, asked, &read) || read == 0) break;
    reply.Append(chunk, read);
  }
  Publish(pending, reply.Text());
  // The handles close only now, after the reply is handed over: closing a request that the
  // server has not finished may read on to the announced end (Wine's WinInet does, to keep
  // the connection), and a server that never stops would hold the close for ever.
}

unsigned __stdcall RequestThread(void* argument) {
  const std::unique_ptr<std::shared_ptr<PendingReply>> pending(static_cast<std::shared_ptr<PendingReply>*>(argument));
  try {
    Request(**pending);
  } catch (...) {
    // Out of memory mid-request: the caller hears the request failed.
    SetEvent((*pending)->ready.Get());
  }
  return 0;
}

}  // namespace

std::wstring HttpGet(const std::wstring& url) {
  // The installer waits for some of these requests, so every one must end, whatever the server
  // does: by the bytes we keep and by a clock of our own. The request runs on a thread of its
  // own, and the wait for it is bounded by that clock and one read's time-out.
  const auto pending = std::make_shared<PendingReply>(url);
  auto* argument = new std::shared_ptr<PendingReply>(pending);
  const quenvo::ScopedKernelHandle thread(reinterpret_cast<HANDLE>(
      pending->ready ? _beginthreadex(/*security*/ nullptr, /*stack*/ 0, RequestThread, argument, 0, nullptr) : 0));
  if (!thread) {
    delete argument;
    Request(*pending);  // no thread to be had: the request is made here, bounded as far as it can be
    return pending->text;
  }
  const ULONGLONG wait = quenvo::RequestBudgetMs() + quenvo::NetTimeoutMs();
  if (WaitForSingleObject(pending->ready.Get(), static_cast<DWORD>(wait)) != WAIT_OBJECT_0) return L"error";
  return pending->text;
}
