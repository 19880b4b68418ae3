// Test tool: shows the sample window of tests/support/accessible_sample.h, for another process to
// read through its accessible object.
//
//   accessible_window.exe MARKER X Y
//
// Creates the window at (X, Y), then writes the file MARKER. Install's default action moves the
// progress to 60% (a VALUECHANGE of child 3); Close's destroys the window, which disconnects its
// object at WM_DESTROY. The program pumps messages until MARKER is gone (at most 60 s), with or
// without its window, so that a client still holding the object after Close meets a disconnected
// server, not a gone process. Exit code: 0, or 1 when the window could not be made.
#include <windows.h>

#include <cwchar>

#include "../support/accessible_sample.h"

namespace {

int Run(const wchar_t* marker, int x, int y) {
  AccessibleSample sample;
  if (sample.Open(x, y, /*visible*/ true) == nullptr) return 1;
  quenvo::ScopedFile(CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)).Close();
  const ULONGLONG end = GetTickCount64() + 60000;
  while (GetFileAttributesW(marker) != INVALID_FILE_ATTRIBUTES && GetTickCount64() < end) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);  // the marker's removal is polled
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int code = 1;
  try {
    code = Run(argv[1], std::wcstol(argv[2], nullptr, 10), std::wcstol(argv[3], nullptr, 10));
  } catch (...) {
    // Out of memory: no window.
  }
  CoUninitialize();
  return code;
}
