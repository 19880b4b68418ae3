#include "download.h"

#include <process.h>

#include <cwchar>
#include <string>

#include "client_profile.h"
#include "update_down.h"
#include "win_handles.h"

#ifndef QUENVO_NET_TIMEOUT_MS
#define QUENVO_NET_TIMEOUT_MS 30000
#endif

namespace {

constexpr wchar_t kUserAgent[] = L"MyDownLoad";
constexpr DWORD kUrlPartLength = 260;
constexpr long kIncomplete = 1;

// Without explicit limits WinInet waits for a silent server for minutes; a stalled
// transfer must end like any failed one. Set on every layer: some WinInet implementations
// hand the Internet handle's limits down to the request, others don't.
void SetTimeouts(HINTERNET internet) {
  DWORD timeout = QUENVO_NET_TIMEOUT_MS;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
    InternetSetOptionW(internet, option, &timeout, sizeof timeout);
  }
}

// One header of the reply as a number; false when the reply has no such header.
bool QueryNumber(HINTERNET request, DWORD info, long* value) {
  wchar_t buffer[257] = {};  // 512 bytes handed out, one unit kept for the terminator
  DWORD size = 512;
  if (!HttpQueryInfoW(request, info, buffer, &size, nullptr)) return false;
  *value = ParseHeaderNumber(buffer);
  return true;
}

}  // namespace

long ParseHeaderNumber(const wchar_t* text) {
  return std::wcstol(text, nullptr, 10);
}

int DownloadPercent(DWORD received, DWORD total) {
  if (total == 0) return 100;
  return static_cast<int>(static_cast<unsigned long long>(received) * 100ULL / total);
}

std::wstring FileSizeText(DWORD size_high, DWORD size_low) {
  const unsigned long long size = (static_cast<unsigned long long>(size_high) << 32) | size_low;
  return std::to_wstring(size);
}

int CDownLoadCallBack::OnHttpStatus(int code) {
  if (code == 500) ::SendMessageW(m_hWnd, WM_DOWNLOAD_PROGRESS, 0, 0);
  return 0;
}

int CDownLoadCallBack::OnContentLength(const wchar_t*, long) {
  return 0;
}

int CDownLoadCallBack::OnProgress(BOOL, int, DWORD received, DWORD total) {
  ::SendMessageW(m_hWnd, WM_DOWNLOAD_PROGRESS, 1, DownloadPercent(received, total));
  return 0;
}

int CDownLoadCallBack::OnDownLoadComplete() {
  ::SendMessageW(m_hWnd, WM_DOWNLOAD_PROGRESS, 0, 1);
  return 0;
}

namespace {

// Only the host name and the URL path are taken, each into a 260-unit buffer.
bool SplitAddress(const wchar_t* url, wchar_t (&host)[kUrlPartLength], wchar_t (&url_path)[kUrlPartLength]) {
  URL_COMPONENTSW parts = {};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = kUrlPartLength;
  parts.lpszUrlPath = url_path;
  parts.dwUrlPathLength = kUrlPartLength;
  return InternetCrackUrlW(url, 0, 0, &parts) != FALSE;
}

}  // namespace

long CDownLoad::DownLoadFile(const wchar_t* url, const wchar_t* file_path, DWORD disposition) {
  wchar_t host[kUrlPartLength] = {};
  wchar_t url_path[kUrlPartLength] = {};
  if (!SplitAddress(url, host, url_path)) return E_FAIL;
  return RequestFile(host, url_path, file_path, disposition);
}

long CDownLoad::RequestFile(const wchar_t* host, const wchar_t* url_path, const wchar_t* file_path, DWORD disposition) {
  long result = E_FAIL;
  {
    quenvo::ScopedInternet internet(
        InternetOpenW(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, /*proxy*/ nullptr, /*bypass*/ nullptr, 0));
    if (internet) result = Exchange(internet.Get(), host, url_path, file_path, disposition);
  }
  if (result != S_OK && m_pCallBack != nullptr) m_pCallBack->OnHttpStatus(500);
  return result;
}

namespace {

// Redirects are followed here rather than by WinInet, which (under Wine at least) follows a
// redirect loop without end. Ten hops is more than any real download needs.
constexpr int kMaxRedirects = 10;

bool IsRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Splits the redirect's target, resolved against where the request went, into host and path.
bool RedirectTarget(HINTERNET request, const std::wstring& host, const std::wstring& url_path, std::wstring* next_host,
                    std::wstring* next_path) {
  wchar_t location[2048] = {};
  DWORD size = sizeof location - sizeof location[0];
  if (!HttpQueryInfoW(request, HTTP_QUERY_LOCATION, location, &size, nullptr)) return false;
  const std::wstring base = L"http://" + host + url_path;
  wchar_t combined[4096] = {};
  DWORD length = 4096;
  if (!InternetCombineUrlW(base.c_str(), location, combined, &length, ICU_NO_ENCODE)) return false;
  wchar_t new_host[kUrlPartLength] = {};
  wchar_t new_path[kUrlPartLength] = {};
  if (!SplitAddress(combined, new_host, new_path)) return false;
  *next_host = new_host;
  *next_path = new_path;
  return true;
}

}  // namespace

// Connection and request are closed on return, before the Internet handle.
long CDownLoad::Exchange(HINTERNET internet, const wchar_t* host, const wchar_t* url_path, const wchar_t* file_path,
                         DWORD disposition) {
  SetTimeouts(internet);
  std::wstring current_host = host;
  std::wstring current_path = url_path;
  for (int hop = 0;; ++hop) {
    // Port 80 and plain HTTP whatever the address says.
    quenvo::ScopedInternet connection(InternetConnectW(internet, current_host.c_str(), INTERNET_DEFAULT_HTTP_PORT,
                                                       /*user*/ nullptr, /*password*/ nullptr, INTERNET_SERVICE_HTTP, 0,
                                                       0));
    if (!connection) return E_FAIL;
    quenvo::ScopedInternet request(HttpOpenRequestW(connection.Get(), /*verb*/ nullptr, current_path.c_str(),
                                                    /*version*/ nullptr, /*referrer*/ nullptr, /*accept*/ nullptr,
                                                    INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_AUTO_REDIRECT, 0));
    if (!request) return E_FAIL;
    SetTimeouts(request.Get());
    if (!HttpSendRequestW(request.Get(), /*headers*/ nullptr, 0, /*body*/ nullptr, 0)) return E_FAIL;

    // HttpSendRequest succeeds on an HTTP error too, so the status is checked by hand.
    long status = 0;
    if (!QueryNumber(request.Get(), HTTP_QUERY_STATUS_CODE, &status)) return E_FAIL;
    if (IsRedirect(status) && hop < kMaxRedirects &&
        RedirectTarget(request.Get(), current_host, current_path, &current_host, &current_path)) {
      continue;
    }
    if (m_pCallBack != nullptr) m_pCallBack->OnHttpStatus(static_cast<int>(status));
    if (status != 200) return E_FAIL;

    long length = 0;
    if (!QueryNumber(request.Get(), HTTP_QUERY_CONTENT_LENGTH, &length)) return E_FAIL;
    if (m_pCallBack != nullptr) m_pCallBack->OnContentLength(current_path.c_str(), length);

    return ReceiveToFile(request.Get(), file_path, length, disposition) ? S_OK : kIncomplete;
  }
}

BOOL CDownLoad::ReceiveToFile(HINTERNET request, const wchar_t* file_path, long length, DWORD disposition) {
  const DWORD wanted = static_cast<DWORD>(length);
  DWORD stored = 0;
  {
    quenvo::ScopedFile file(CreateFileW(file_path, GENERIC_WRITE, /*share*/ 0, /*security*/ nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL, /*template*/ nullptr));
    BYTE block[kDownloadBlockSize];
    while (file && stored < wanted) {
      // Never past the announced length: a server that sends more must not grow the file
      // beyond it, nor push the progress past 100.
      const DWORD asked = wanted - stored < sizeof block ? wanted - stored : static_cast<DWORD>(sizeof block);
      DWORD read = 0;
      const BOOL read_ok = InternetReadFile(request, block, asked, &read);
      BOOL write_ok = FALSE;
      if (read_ok) {
        DWORD written = 0;
        write_ok = WriteFile(file.Get(), block, read, &written, /*overlapped*/ nullptr);
        if (write_ok) stored += written;
      }
      // A successful read of nothing before the announced length means the body ended early.
      const BOOL failed = !read_ok || !write_ok || read == 0;
      if (m_pCallBack != nullptr && m_pCallBack->OnProgress(failed, 0, stored, wanted) == 1) break;
      if (failed) break;
    }
  }
  if (stored != wanted) return FALSE;
  if (m_pCallBack != nullptr) m_pCallBack->OnDownLoadComplete();
  return TRUE;
}

namespace {

void RunDownload(CUpdateDown* window) {
  CDownLoadCallBack callback(window->m_hWnd);
  CDownLoad download(&callback);
  const long result = download.DownLoadFile(g_profile.updateUrl.c_str(), g_profile.updateFilePath.c_str(), CREATE_NEW);
  if (result < 0) return;  // already reported as a failure, if the address could be split at all

  WIN32_FIND_DATAW found = {};
  // Only a file can pass: with no file, or a folder, at the target there is nothing to install,
  // even when the offer announced a size of 0.
  std::wstring size;
  {
    quenvo::ScopedFindHandle find(FindFirstFileW(g_profile.updateFilePath.c_str(), &found));
    if (find && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      size = FileSizeText(found.nFileSizeHigh, found.nFileSizeLow);
    }
  }
  // Compared as text: a leading zero, a sign or a blank in the offer never matches.
  const WPARAM matches = !size.empty() && size == g_profile.updateSize ? 1 : 0;
  ::SendMessageW(window->m_hWnd, WM_DOWNLOAD_RESULT, matches, 0);
}

}  // namespace

unsigned __stdcall DownLoadThreadProc(void* window) {
  try {
    RunDownload(static_cast<CUpdateDown*>(window));
  } catch (...) {
    // Out of memory on the worker: the window simply hears no more.
  }
  return 0;
}
