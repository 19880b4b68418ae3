#include "window_dpi.h"

#include <algorithm>

#include "dpi_scale.h"
#include "scoped_handle.h"

namespace {

// A function of user32 that older systems lack, or null there.
template <typename Function>
Function User32Function(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// The screen's DPI: the system DPI that the process was started with.
int ScreenDpi() {
  const quenvo::ScopedScreenDc screen(GetDC(nullptr));
  const int dpi = screen ? GetDeviceCaps(screen.Get(), LOGPIXELSX) : 0;
  return dpi > 0 ? dpi : kBaseDpi;
}

}  // namespace

int DpiForWindow(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto get_dpi = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  const UINT dpi = get_dpi != nullptr ? get_dpi(window) : 0;  // 0 for a handle that is no window
  if (dpi > 0) return static_cast<int>(dpi);
  return DpiForMonitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
}

int DpiForMonitor(HMONITOR monitor) {
  // From the system folder only, never from beside the program; Windows 7 without the loader
  // update refuses the flag, and has no shcore.dll either.
  const quenvo::ScopedLibrary shcore(LoadLibraryExW(L"shcore.dll", /*file*/ nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  const auto get_dpi = shcore ? reinterpret_cast<GetDpiForMonitorFn>(
                                    reinterpret_cast<void*>(GetProcAddress(shcore.Get(), "GetDpiForMonitor")))
                              : nullptr;
  UINT dpi_x = 0, dpi_y = 0;
  if (get_dpi != nullptr && monitor != nullptr &&
      SUCCEEDED(get_dpi(monitor, /*MDT_EFFECTIVE_DPI*/ 0, &dpi_x, &dpi_y)) && dpi_x > 0) {
    return static_cast<int>(dpi_x);
  }
  return ScreenDpi();
}

HMONITOR MonitorOfPointer() {
  POINT at = {};  // without a pointer position: 0,0, on the primary monitor
  GetCursorPos(&at);
  return MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST);
}

RECT WorkAreaOf(HMONITOR monitor) {
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  if (monitor != nullptr && GetMonitorInfoW(monitor, &info)) return info.rcWork;
  RECT primary = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &primary, 0);
  return primary;
}

RECT WindowRectForClient(SIZE client, DWORD style, DWORD ex_style, int dpi) {
  using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjust_for_dpi = User32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  RECT rect = {0, 0, client.cx, client.cy};
  if (adjust_for_dpi != nullptr && adjust_for_dpi(&rect, style, /*menu*/ FALSE, ex_style, static_cast<UINT>(dpi))) {
    return rect;
  }
  // Before 1607 the frame is measured at the system DPI: every window's own before 8.1.
  rect = {0, 0, client.cx, client.cy};
  AdjustWindowRectEx(&rect, style, /*menu*/ FALSE, ex_style);
  return rect;
}

RECT CentreIn(const RECT& work_area, SIZE window) {
  const LONG left = work_area.left + std::max<LONG>(0, (work_area.right - work_area.left - window.cx) / 2);
  const LONG top = work_area.top + std::max<LONG>(0, (work_area.bottom - work_area.top - window.cy) / 2);
  return {left, top, left + window.cx, top + window.cy};
}
