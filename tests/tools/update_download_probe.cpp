// Runs the download thread's work on a thread of its own against a hidden recorder window and
// writes every message the window received as one JSON line, then the state of the target file.
// What it shows is the transfer and the size check: it takes every stored file for one signed by
// the publisher (the update window's tests check real signatures).
//
//   update_download_probe.exe URL FILE SIZE OUT.jsonl
#include <windows.h>
#include <process.h>

#include <string>
#include <vector>

#include "download.h"
#include "installer_check.h"
#include "json_line.h"
#include "../unit/sound_signature.h"

namespace {

struct Received {
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
  bool on_window_thread;
};
std::vector<Received> g_received;
DWORD g_window_thread = 0;

LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DOWNLOAD_PROGRESS || message == WM_DOWNLOAD_RESULT) {
    g_received.push_back({message, wparam, lparam, GetCurrentThreadId() == g_window_thread});
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

unsigned __stdcall RunJob(void* job) {
  RunDownloadJob(*static_cast<const DownloadJob*>(job));
  return 0;
}

std::string Line(const Received& r) {
  const char* name = r.message == WM_DOWNLOAD_PROGRESS ? "progress" : "result";
  return std::string("{\"msg\": \"") + name + "\", \"id\": " + std::to_string(r.message) +
         ", \"w\": " + std::to_string(r.wparam) + ", \"l\": " + std::to_string(r.lparam) +
         ", \"window_thread\": " + (r.on_window_thread ? "true" : "false") + "}";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) return 2;
  const std::wstring out = argv[4];
  DeleteFileW(out.c_str());
  g_window_thread = GetCurrentThreadId();

  WNDCLASSW wc = {};
  wc.lpfnWndProc = RecorderProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"UpdateDownloadRecorder";
  RegisterClassW(&wc);
  const HWND recorder =
      CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  if (recorder == nullptr) return 3;

  SetSignatureReader([](const wchar_t*) { return SoundSignatureBy(kPublisher); });  // any stored file passes
  const DownloadJob job = {recorder, argv[1], argv[2], argv[3]};
  const DWORD started = GetTickCount();
  const HANDLE thread =
      reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, RunJob, const_cast<DownloadJob*>(&job), 0, nullptr));
  if (thread == nullptr) return 4;
  for (;;) {
    const DWORD wait = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (wait == WAIT_OBJECT_0) break;
  }
  const DWORD elapsed = GetTickCount() - started;
  CloseHandle(thread);
  DestroyWindow(recorder);

  // One write for all records: a 256 MiB download sends tens of thousands of them.
  std::string records;
  for (const Received& r : g_received) records += Line(r) + "\n";
  if (!records.empty()) {
    records.pop_back();
    AppendLine(out, records);
  }
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  const bool exists = GetFileAttributesExW(argv[2], GetFileExInfoStandard, &data) != 0;
  const unsigned long long size =
      exists ? (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow : 0;
  AppendLine(out, "{\"msg\": \"done\", \"file_exists\": " + std::string(exists ? "true" : "false") +
                      ", \"file_size\": " + std::to_string(size) + ", \"ms\": " + std::to_string(elapsed) + "}");
  return 0;
}
