// Where a window is and at what density: the DPI of a window or a monitor, a monitor's work area,
// and the window rectangle for a client size. Each asks the newest call that the running Windows
// has and falls back to the older ones; the centring is pure arithmetic.
#pragma once

#include <windows.h>

// The DPI that `window` is drawn at: GetDpiForWindow where the system has it (Windows 10 1607
// and later), else its monitor's (DpiForMonitor).
int DpiForWindow(HWND window);
// A monitor's effective DPI: GetDpiForMonitor (shcore.dll, Windows 8.1 and later), else the
// screen's LOGPIXELSX, the one DPI that every monitor shares before 8.1.
int DpiForMonitor(HMONITOR monitor);
// The monitor that the pointer is on, or the nearest one.
HMONITOR MonitorOfPointer();
// A monitor's work area: the screen without the task bar and docked bars.
RECT WorkAreaOf(HMONITOR monitor);
// The window rectangle around a client area of `client` pixels at dpi, relative to the client's
// top-left corner (AdjustWindowRectExForDpi where present, else AdjustWindowRectEx). No menu.
RECT WindowRectForClient(SIZE client, DWORD style, DWORD ex_style, int dpi);
// A window of size `window` centred in work_area. Along an axis where it is larger than the area,
// it starts at the area's start, so that its top-left corner (title, close button) stays inside.
RECT CentreIn(const RECT& work_area, SIZE window);
