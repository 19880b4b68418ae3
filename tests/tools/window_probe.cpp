// Test tool: finds another program's top-level window and acts on it as a person would, through
// the screen and real input. Not shipped.
//
//   window_probe.exe REPORT STEP...
//
// Steps, run in order; each writes one JSON line to REPORT (appended, a line at a time), and the
// last line is {"event": "end", "found": true|false}:
//   find:CLASS:MS    waits up to MS for a visible top-level window of CLASS; the later steps act on it
//                    {"event": "find", "found", "count" (windows of the class), "pid", "ms"}
//   info             {"event": "info", "caption", "client": [w, h], "window": [l, t, r, b],
//                     "work": [l, t, r, b] (of its monitor), "caption_bar", "foreground"}
//   shot:PATH        the client area as the screen shows it, as PNG {"event": "shot", "saved"}
//   keys:K+K+...     the window to the front, then each key pressed and released with SendInput:
//                    TAB, SHIFT+TAB, ENTER, SPACE, ESC {"event": "keys", "sent"}
//   gone:MS          waits up to MS for the window to go {"event": "gone", "gone", "ms"}
// The process exits with 0 when every step could be done (a find always can), else 1.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "gdiplus_include.h"
#include "json_line.h"
#include "png_shot.h"
#include "scoped_handle.h"

namespace {

std::wstring g_report;
HWND g_window = nullptr;

void Report(const std::string& line) {
  AppendLine(g_report, line);
}

std::string Box(LONG a, LONG b, LONG c, LONG d) {
  return "[" + std::to_string(a) + ", " + std::to_string(b) + ", " + std::to_string(c) + ", " + std::to_string(d) + "]";
}

struct Search {
  const wchar_t* window_class;
  HWND found = nullptr;
  int count = 0;
};

BOOL CALLBACK Visit(HWND window, LPARAM argument) {
  auto* search = reinterpret_cast<Search*>(argument);
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  if (wcscmp(name, search->window_class) == 0 && IsWindowVisible(window)) {
    ++search->count;
    if (search->found == nullptr) search->found = window;
  }
  return TRUE;
}

bool Find(const std::wstring& window_class, DWORD ms) {
  const ULONGLONG start = GetTickCount64();
  Search search = {window_class.c_str()};
  for (;;) {
    search = {window_class.c_str()};
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr || GetTickCount64() - start >= ms) break;
    Sleep(20);  // polling another process's state: nothing to wait on
  }
  g_window = search.found;
  DWORD pid = 0;
  if (g_window != nullptr) GetWindowThreadProcessId(g_window, &pid);
  Report("{\"event\": \"find\", \"found\": " + std::string(g_window ? "true" : "false") +
         ", \"count\": " + std::to_string(search.count) + ", \"pid\": " + std::to_string(pid) +
         ", \"ms\": " + std::to_string(GetTickCount64() - start) + "}");
  return g_window != nullptr;
}

void Info() {
  wchar_t caption[256] = {};
  GetWindowTextW(g_window, caption, 256);
  RECT client = {}, outer = {};
  GetClientRect(g_window, &client);
  GetWindowRect(g_window, &outer);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(g_window, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  const LONG style = GetWindowLongW(g_window, GWL_STYLE);
  Report("{\"event\": \"info\", \"caption\": " + JsonString(caption) + ", \"client\": [" +
         std::to_string(client.right) + ", " + std::to_string(client.bottom) +
         "], \"window\": " + Box(outer.left, outer.top, outer.right, outer.bottom) +
         ", \"work\": " + Box(work.left, work.top, work.right, work.bottom) +
         ", \"caption_bar\": " + ((style & WS_CAPTION) == WS_CAPTION ? "true" : "false") +
         ", \"foreground\": " + (GetForegroundWindow() == g_window ? "true" : "false") + "}");
}

bool Shot(const std::wstring& path) {
  // Painted now, so that the screen holds what the window shows at this moment.
  RedrawWindow(g_window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  RECT client = {};
  GetClientRect(g_window, &client);
  POINT origin = {0, 0};
  ClientToScreen(g_window, &origin);
  const quenvo::ScopedScreenDc screen(GetDC(nullptr));
  return SavePng(screen.Get(), origin, {client.right, client.bottom}, path);
}

void Key(std::vector<INPUT>& inputs, WORD key, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  inputs.push_back(input);
}

bool Keys(const std::wstring& keys) {
  SetForegroundWindow(g_window);
  std::vector<INPUT> inputs;
  size_t from = 0;
  for (;;) {
    const size_t plus = keys.find(L'+', from);
    std::wstring name = keys.substr(from, plus == std::wstring::npos ? std::wstring::npos : plus - from);
    const bool shift = name.rfind(L"SHIFT-", 0) == 0;  // SHIFT-TAB: held around the key
    if (shift) name = name.substr(6);
    const WORD key = name == L"TAB"     ? VK_TAB
                     : name == L"ENTER" ? VK_RETURN
                     : name == L"SPACE" ? VK_SPACE
                     : name == L"ESC"   ? VK_ESCAPE
                                        : 0;
    if (key == 0) return false;
    if (shift) Key(inputs, VK_SHIFT, false);
    Key(inputs, key, false);
    Key(inputs, key, true);
    if (shift) Key(inputs, VK_SHIFT, true);
    if (plus == std::wstring::npos) break;
    from = plus + 1;
  }
  return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

bool Gone(DWORD ms) {
  const ULONGLONG start = GetTickCount64();
  while (IsWindow(g_window) && GetTickCount64() - start < ms) Sleep(20);
  const bool gone = !IsWindow(g_window);
  Report("{\"event\": \"gone\", \"gone\": " + std::string(gone ? "true" : "false") +
         ", \"ms\": " + std::to_string(GetTickCount64() - start) + "}");
  return gone;
}

bool Step(const std::wstring& step) {
  const size_t colon = step.find(L':');
  const std::wstring verb = step.substr(0, colon);
  const std::wstring arg = colon == std::wstring::npos ? L"" : step.substr(colon + 1);
  if (verb == L"find") {
    const size_t second = arg.rfind(L':');
    Find(arg.substr(0, second), static_cast<DWORD>(_wtoi(arg.substr(second + 1).c_str())));
    return true;  // whether it was found is the report's; the steps after it need it
  }
  if (g_window == nullptr) return false;
  if (verb == L"info") {
    Info();
    return true;
  }
  if (verb == L"shot") {
    const bool saved = Shot(arg);
    Report("{\"event\": \"shot\", \"saved\": " + std::string(saved ? "true" : "false") + "}");
    return saved;
  }
  if (verb == L"keys") {
    const bool sent = Keys(arg);
    Report("{\"event\": \"keys\", \"sent\": " + std::string(sent ? "true" : "false") + "}");
    return sent;
  }
  if (verb == L"gone") return Gone(static_cast<DWORD>(_wtoi(arg.c_str())));
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 1;
  g_report = argv[1];
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return 1;
  bool ok = true;
  for (int i = 2; ok && i < argc; ++i) ok = Step(argv[i]);
  Gdiplus::GdiplusShutdown(token);
  Report("{\"event\": \"end\", \"found\": " + std::string(g_window ? "true" : "false") + "}");
  std::printf("window_probe: %s\n", ok ? "done" : "a step failed");
  return ok ? 0 : 1;
}
