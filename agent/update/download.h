// The installer download: one plain HTTP GET on port 80 into the target file, reported to the
// update window by synchronous messages from a worker thread.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

#include "download_messages.h"

constexpr DWORD kDownloadBlockSize = 8192;

// Progress of a download as the fetcher sees it. Nothing is deleted through this interface.
class IDownLoadCallBack {
 public:
  virtual int OnHttpStatus(int code) = 0;
  virtual int OnContentLength(const wchar_t* url_path, long length) = 0;
  // A result of 1 stops the transfer.
  virtual int OnProgress(BOOL failed, int reserved, DWORD received, DWORD total) = 0;
  virtual int OnDownLoadComplete() = 0;

 protected:
  ~IDownLoadCallBack() = default;
};

// Turns the fetcher's notifications into messages to the update window.
class CDownLoadCallBack : public IDownLoadCallBack {
 public:
  explicit CDownLoadCallBack(HWND window) : m_hWnd(window) {}

  int OnHttpStatus(int code) override;
  int OnContentLength(const wchar_t* url_path, long length) override;
  int OnProgress(BOOL failed, int reserved, DWORD received, DWORD total) override;
  int OnDownLoadComplete() override;

 private:
  HWND m_hWnd;
};

// Result codes: S_OK when every announced byte was stored, 1 when fewer were, E_FAIL otherwise.
class CDownLoad {
 public:
  explicit CDownLoad(IDownLoadCallBack* callback) : m_pCallBack(callback) {}

  long DownLoadFile(const wchar_t* url, const wchar_t* file_path, DWORD disposition);

 private:
  long RequestFile(const wchar_t* host, const wchar_t* url_path, const wchar_t* file_path, DWORD disposition);
  // The length is counted in 64 bits: installers of 2 GiB and more arrive whole.
  BOOL ReceiveToFile(HINTERNET request, const wchar_t* file_path, ULONGLONG length, DWORD disposition);
  long Exchange(HINTERNET internet, const wchar_t* host, const wchar_t* url_path, const wchar_t* file_path,
                DWORD disposition);

  IDownLoadCallBack* m_pCallBack;
};

// One download as the thread runs it: where the reports go, and the offer.
struct DownloadJob {
  HWND window;
  std::wstring url;
  std::wstring target;        // the file to create; an existing one is never overwritten
  std::wstring offered_size;  // decimal bytes, compared as text with the stored file's size
};

// Fetches the offer into its target and reports to the window: progress, then, unless the
// exchange failed, WM_DOWNLOAD_RESULT with whether the stored file is the offered installer
// (IsOfferedInstaller). A file that is not is deleted, so that nothing runs it later.
void RunDownloadJob(const DownloadJob& job);
