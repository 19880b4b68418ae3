#include "download.h"

#include <climits>

#include "download_progress.h"
#include "installer_check.h"
#include "internet.h"
#include "scoped_handle.h"

namespace {

constexpr wchar_t kUserAgent[] = L"MyDownLoad";
constexpr DWORD kUrlPartLength = 260;
constexpr long kIncomplete = 1;

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

// Port 80 and plain HTTP, whatever the address (or a redirect) says.
quenvo::RequestTarget DownloadTarget(const wchar_t* host, const wchar_t* url_path) {
  return {host, INTERNET_DEFAULT_HTTP_PORT, url_path, /*secure*/ false};
}

bool SplitForDownload(const std::wstring& url, quenvo::RequestTarget* target) {
  wchar_t host[kUrlPartLength] = {};
  wchar_t url_path[kUrlPartLength] = {};
  if (!SplitAddress(url.c_str(), host, url_path)) return false;
  *target = DownloadTarget(host, url_path);
  return true;
}

const quenvo::RequestStyle kDownloadStyle = {/*verb*/ nullptr, /*accept*/ nullptr, INTERNET_FLAG_KEEP_CONNECTION,
                                             SplitForDownload};

// One header of the reply as a number; false when the reply has no such header.
bool QueryNumber(HINTERNET request, DWORD info, long long* value) {
  wchar_t buffer[257] = {};  // 512 bytes handed out, one unit kept for the terminator
  DWORD size = 512;
  if (!HttpQueryInfoW(request, info, buffer, &size, nullptr)) return false;
  *value = ParseHeaderNumber(buffer);
  return true;
}

long ClampToLong(long long value) {
  if (value > LONG_MAX) return LONG_MAX;
  if (value < LONG_MIN) return LONG_MIN;
  return static_cast<long>(value);
}

}  // namespace

int CDownLoadCallBack::OnHttpStatus(int code) {
  if (code == kFetchFailedStatus) ::SendMessageW(m_hWnd, WM_DOWNLOAD_PROGRESS, kDownloadEnded, kEndedFailed);
  return 0;
}

int CDownLoadCallBack::OnContentLength(const wchar_t*, long) {
  return 0;
}

int CDownLoadCallBack::OnProgress(BOOL, int, DWORD received, DWORD total) {
  ::SendMessageW(m_hWnd, WM_DOWNLOAD_PROGRESS, kDownloadAdvanced, DownloadPercent(received, total));
  return 0;
}

int CDownLoadCallBack::OnDownLoadComplete() {
  ::SendMessageW(m_hWnd, WM_DOWNLOAD_PROGRESS, kDownloadEnded, kEndedStored);
  return 0;
}

long CDownLoad::DownLoadFile(const wchar_t* url, const wchar_t* file_path, DWORD disposition) {
  wchar_t host[kUrlPartLength] = {};
  wchar_t url_path[kUrlPartLength] = {};
  if (!SplitAddress(url, host, url_path)) return E_FAIL;
  return RequestFile(host, url_path, file_path, disposition);
}

long CDownLoad::RequestFile(const wchar_t* host, const wchar_t* url_path, const wchar_t* file_path, DWORD disposition) {
  long result = E_FAIL;
  {
    const quenvo::ScopedInternet internet = quenvo::OpenInternet(kUserAgent);
    if (internet) result = Exchange(internet.Get(), host, url_path, file_path, disposition);
  }
  if (result != S_OK && m_pCallBack != nullptr) m_pCallBack->OnHttpStatus(kFetchFailedStatus);
  return result;
}

// Connection and request are closed on return, before the Internet handle.
long CDownLoad::Exchange(HINTERNET internet, const wchar_t* host, const wchar_t* url_path, const wchar_t* file_path,
                         DWORD disposition) {
  quenvo::HttpExchange exchange;
  if (!quenvo::SendFollowingRedirects(internet, DownloadTarget(host, url_path), kDownloadStyle, &exchange)) {
    return E_FAIL;
  }

  // HttpSendRequest succeeds on an HTTP error too, so the status is checked by hand.
  long long status = 0;
  if (!QueryNumber(exchange.request.Get(), HTTP_QUERY_STATUS_CODE, &status)) return E_FAIL;
  if (m_pCallBack != nullptr) m_pCallBack->OnHttpStatus(static_cast<int>(ClampToLong(status)));
  if (status != 200) return E_FAIL;

  long long length = 0;
  if (!QueryNumber(exchange.request.Get(), HTTP_QUERY_CONTENT_LENGTH, &length)) return E_FAIL;
  if (m_pCallBack != nullptr) m_pCallBack->OnContentLength(exchange.target.object.c_str(), ClampToLong(length));
  // A negative length can't be met: it reads as more than any body holds.
  return ReceiveToFile(exchange.request.Get(), file_path, static_cast<ULONGLONG>(length), disposition) ? S_OK
                                                                                                       : kIncomplete;
}

BOOL CDownLoad::ReceiveToFile(HINTERNET request, const wchar_t* file_path, ULONGLONG length, DWORD disposition) {
  ULONGLONG stored = 0;
  {
    // Shared for deletion only, so that a window closed mid-download can delete what nobody will
    // run: the file goes once this handle closes, with the process.
    const quenvo::ScopedFile file(CreateFileW(file_path, GENERIC_WRITE, FILE_SHARE_DELETE, /*security*/ nullptr,
                                              disposition, FILE_ATTRIBUTE_NORMAL, /*template*/ nullptr));
    BYTE block[kDownloadBlockSize];
    while (file && stored < length) {
      // Never past the announced length: a server that sends more must not grow the file
      // beyond it, nor push the progress past 100.
      const DWORD asked = length - stored < sizeof block ? static_cast<DWORD>(length - stored) : DWORD{sizeof block};
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
      DWORD received = 0, total = 0;
      ScaleProgress(stored, length, &received, &total);
      if (m_pCallBack != nullptr && m_pCallBack->OnProgress(failed, 0, received, total) == 1) break;
      if (failed) break;
    }
  }
  if (stored != length) return FALSE;
  if (m_pCallBack != nullptr) m_pCallBack->OnDownLoadComplete();
  return TRUE;
}

void RunDownloadJob(const DownloadJob& job) {
  CDownLoadCallBack callback(job.window);
  CDownLoad download(&callback);
  const long result = download.DownLoadFile(job.url.c_str(), job.target.c_str(), CREATE_NEW);
  if (result < 0) return;  // already reported as a failure, if the address could be split at all

  // Only the offered installer passes: a file of the offered size (no file, or a folder, never
  // does, even for an offered size of 0) with the publisher's signature.
  const bool offered = IsOfferedInstaller(job.target, job.offered_size);
  if (!offered) DeleteFileW(job.target.c_str());
  ::SendMessageW(job.window, WM_DOWNLOAD_RESULT, offered ? kStoredIsOffered : kStoredIsNotOffered, 0);
}
