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

// How a request ended, as the caller will tell it.
enum class Outcome { kPending, kNoInternet, kFailed, kReading, kRead };

// One request, shared by the caller and the thread that makes it. The thread may outlive the
// caller's wait, so neither owns it alone; what both touch is guarded by `lock_`.
class SharedRequest {
 public:
  SharedRequest(std::wstring address, quenvo::RequestDeadline clock) : url(std::move(address)), deadline(clock) {}

  const std::wstring url;
  const quenvo::RequestDeadline deadline;  // the caller's clock, started before the thread
  const quenvo::ScopedKernelHandle finished{CreateEventW(/*security*/ nullptr, /*manual*/ TRUE, FALSE, nullptr)};

  // The thread's side. Each returns at once: nothing here waits on the network.
  void Set(Outcome outcome) {
    const Locked locked(lock_);
    if (outcome_ == Outcome::kPending || outcome_ == Outcome::kReading) outcome_ = outcome;
    if (outcome != Outcome::kReading) SetEvent(finished.Get());
  }
  // Keeps a chunk; false when no more is wanted: the caller has gone, or the cap is reached.
  bool Keep(const char* data, size_t length) {
    const Locked locked(lock_);
    if (abandoned_) return false;
    try {
      reply_.Append(data, length);
    } catch (...) {
      outcome_ = Outcome::kFailed;  // out of memory: the caller hears the request failed
      return false;
    }
    return !reply_.full();
  }

  // The caller's side, once, when it stops waiting: what came by now is the reply, and the
  // thread keeps nothing more.
  Outcome Collect(ReplyBuffer* reply) {
    const Locked locked(lock_);
    abandoned_ = true;
    std::swap(*reply, reply_);
    return outcome_;
  }

 private:
  struct Locked {
    explicit Locked(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~Locked() { ReleaseSRWLockExclusive(&lock_); }
    SRWLOCK& lock_;
  };
  SRWLOCK lock_ = SRWLOCK_INIT;
  Outcome outcome_ = Outcome::kPending;
  bool abandoned_ = false;
  ReplyBuffer reply_;
};

// The handles belong to the caller of Request, so that they close only after the outcome is
// told, whatever ends the request: closing a request that the server has not finished may
// read on to the announced end (Wine's WinInet does, to keep the connection), and a server that
// never stops would hold the close for ever. A reply read to its end leaves nothing to read:
// its handles close first, and `idle` is set before the outcome is told, so that the thread is
// free for the caller's next request. True when that happened.
bool Request(SharedRequest& shared, quenvo::ScopedInternet& internet, quenvo::HttpExchange& exchange, HANDLE idle) {
  internet = quenvo::OpenInternet(/*agent*/ L"");
  if (!internet) {
    shared.Set(Outcome::kNoInternet);
    return false;
  }
  if (!quenvo::SendFollowingRedirects(internet.Get(), shared.url, kOpenUrlStyle, &exchange, &shared.deadline)) {
    shared.Set(Outcome::kFailed);
    return false;
  }

  // The status is not examined: an error page's body is a reply like any other. A read
  // error, the end of what we keep, or the clock ends the reply with what came so far. No
  // read starts once the clock has passed; headers that came only after that are no reply,
  // as they would be after the caller has gone.
  char chunk[4096];
  bool begun = false;
  bool ended = false;
  while (!shared.deadline.Passed()) {
    if (!begun) shared.Set(Outcome::kReading);
    begun = true;
    // Only what has arrived is read, so that no read waits longer than one receive time-out
    // for a reply that trickles in, and the clock is looked at between reads.
    DWORD available = 0;
    if (!InternetQueryDataAvailable(exchange.request.Get(), &available, /*flags*/ 0, /*context*/ 0)) break;
    DWORD read = 0;
    const DWORD asked = available < sizeof chunk ? available : DWORD{sizeof chunk};
    if (available == 0) {
      ended = true;
      break;
    }
    if (!InternetReadFile(exchange.request.Get(), chunk, asked, &read)) break;
    if (read == 0) {
      ended = true;
      break;
    }
    if (!shared.Keep(chunk, read)) break;
  }
  if (ended) {
    exchange.request.Close();  // the request before its connection
    exchange.connection.Close();
    internet.Close();
    SetEvent(idle);
  }
  shared.Set(begun ? Outcome::kRead : Outcome::kFailed);
  return ended;
}

// True when `idle` has been set already.
bool Serve(SharedRequest& shared, HANDLE idle) {
  quenvo::ScopedInternet internet;
  quenvo::HttpExchange exchange;
  try {
    return Request(shared, internet, exchange, idle);
  } catch (...) {
    shared.Set(Outcome::kFailed);  // out of memory mid-request
    return false;
  }
}

// The thread that makes the requests, one after another. Once done with one, handles closed,
// it waits for the next, so that a start with three requests makes one thread, not three. A
// thread still busy with an abandoned request (a close that reads on) is left to it, and the
// next request gets a new one. Never freed: its thread may run until the process ends.
struct Worker {
  const quenvo::ScopedKernelHandle wake{CreateEventW(/*security*/ nullptr, /*manual*/ FALSE, FALSE, nullptr)};
  const quenvo::ScopedKernelHandle idle{CreateEventW(/*security*/ nullptr, /*manual*/ TRUE, FALSE, nullptr)};
  std::shared_ptr<SharedRequest> job;  // handed over while the thread waits on `wake`
};

Worker* g_worker = nullptr;

unsigned __stdcall WorkerThread(void* argument) {
  Worker& worker = *static_cast<Worker*>(argument);
  for (;;) {
    WaitForSingleObject(worker.wake.Get(), INFINITE);
    // Taken out at once: once `idle` is set, the caller hands over the next request.
    const std::shared_ptr<SharedRequest> job = std::move(worker.job);
    if (!Serve(*job, worker.idle.Get())) SetEvent(worker.idle.Get());
  }
}

// Hands the request to a thread; false when none can be had, and then nothing is sent: a
// request on the caller's own thread could not be bounded.
bool StartRequest(const std::shared_ptr<SharedRequest>& shared) {
  if (g_worker == nullptr || WaitForSingleObject(g_worker->idle.Get(), 0) != WAIT_OBJECT_0) {
    auto worker = std::make_unique<Worker>();
    if (!worker->wake || !worker->idle) return false;
    const quenvo::ScopedKernelHandle thread(reinterpret_cast<HANDLE>(
        _beginthreadex(/*security*/ nullptr, /*stack*/ 0, WorkerThread, worker.get(), 0, nullptr)));
    if (!thread) return false;
    g_worker = worker.release();
  }
  ResetEvent(g_worker->idle.Get());
  g_worker->job = shared;
  SetEvent(g_worker->wake.Get());
  return true;
}

}  // namespace

std::wstring HttpGet(const std::wstring& url) {
  // Every request must end, whatever the server does: by the bytes we keep and by a clock of
  // our own. A blocking call can't be cut short, so the request runs on another thread, and
  // the caller waits on the same clock, until the request's last read has had its time-out.
  try {
    const auto shared = std::make_shared<SharedRequest>(url, quenvo::StartRequestClock());
    if (!shared->finished || !StartRequest(shared)) return L"error";
    WaitForSingleObject(shared->finished.Get(), shared->deadline.WaitAt(GetTickCount64()));
    ReplyBuffer reply;
    switch (shared->Collect(&reply)) {
      case Outcome::kNoInternet: return std::wstring();
      case Outcome::kReading:  // the clock ended the wait inside a read: what came so far is the reply
      case Outcome::kRead: return reply.Text();
      case Outcome::kPending:  // the clock ended the wait before a reply came
      case Outcome::kFailed: break;
    }
  } catch (...) {
    // Out of memory: the caller hears the request failed.
  }
  return L"error";
}
