// Test tool: reads a window as a screen reader does, from another process, and writes what it
// read as JSON lines (to standard output, or appended to FILE line by line with --out).
//
//   accessible_tree.exe CLASS [--wait MS] [--focus CHILD] [--do CHILD] [--events MS]
//                       [--until EVENT[:CHILD]] [--again] [--out FILE]
//
// 1. Waits up to --wait ms (default 10000) for a top-level window of class CLASS.
// 2. Takes its client object: AccessibleObjectFromWindow(OBJID_CLIENT, IID_IAccessible).
// 3. Reads it: one line for the client, then one per child id 1..n, each
//      {"read": 1, "child": ID, "role": N, "name": S, "value": S, "state": N, "location": [X, Y, W, H],
//       "action": S}
//    with screen coordinates; a text the object has none of is null. The client's line has no
//    value or action, and adds "children": n, "focus" (the child id with the keyboard focus, 0 for
//    the client itself, null when neither has it), "pid" (the window's process) and "window".
//    A call that fails leaves its field null and adds its HRESULT to "failed": {"name": "0x..."}.
// 4. With --events, hooks the WinEvents of the window's process (out of context) and writes
//    {"recording": true}; from then on every event whose window is CLASS's window is written as
//      {"event": "valuechange", "id": 32782, "object": -4, "child": 3}
//    ("event" is null for events without a name here). Events come in while a call of steps 5
//    and 6 is under way, so an event's line may come before the line of the call that raised it.
//    Under Wine only what a program raises with NotifyWinEvent comes: a window's hide and
//    destroy raise nothing there.
// 5. With --focus, accSelect(SELFLAG_TAKEFOCUS, CHILD): {"focus": CHILD, "hr": "0x..."}.
// 6. With --do, accDoDefaultAction(CHILD): {"do": CHILD, "hr": "0x..."}.
// 7. With --events, keeps recording for MS ms, or until an event named EVENT (a name written in
//    step 4, or its number) for CHILD (any child without one) was written; then unhooks.
// 8. With --again, reads the same object once more as in step 3, with "read": 2.
// 9. Ends with {"end": "found", "events": N, "until": true|false|null} (null: no --until), or
//    {"end": "no-window"} or {"end": "no-object", "hr": "0x..."}.
// Exit code: 0 found and read, 1 no window in time, 2 bad command line, 3 no client object,
// 4 the --until event did not come in time.
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "json_line.h"
#include "scoped_handle.h"

namespace {

using ScopedBstr = quenvo::ScopedHandle<quenvo::NullIsInvalidTraits<BSTR, void, ::SysFreeString>>;

struct Options {
  std::wstring windowClass, out;
  DWORD waitMs = 10000, eventsMs = 0;
  LONG focus = -1, action = -1;
  std::wstring untilEvent;
  LONG untilChild = -1;  // any
  bool again = false;
};

const struct {
  DWORD id;
  const char* name;
} kEventNames[] = {{EVENT_SYSTEM_ALERT, "alert"},
                   {EVENT_SYSTEM_FOREGROUND, "foreground"},
                   {EVENT_OBJECT_CREATE, "create"},
                   {EVENT_OBJECT_DESTROY, "destroy"},
                   {EVENT_OBJECT_SHOW, "show"},
                   {EVENT_OBJECT_HIDE, "hide"},
                   {EVENT_OBJECT_REORDER, "reorder"},
                   {EVENT_OBJECT_FOCUS, "focus"},
                   {EVENT_OBJECT_SELECTION, "selection"},
                   {EVENT_OBJECT_STATECHANGE, "statechange"},
                   {EVENT_OBJECT_LOCATIONCHANGE, "locationchange"},
                   {EVENT_OBJECT_NAMECHANGE, "namechange"},
                   {EVENT_OBJECT_DESCRIPTIONCHANGE, "descriptionchange"},
                   {EVENT_OBJECT_VALUECHANGE, "valuechange"}};

Options g_options;
HWND g_window = nullptr;
int g_events = 0;
bool g_untilSeen = false;

void Emit(const std::string& line) {
  if (!g_options.out.empty()) return AppendLine(g_options.out, line);
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(hr));
  return text;
}

const char* EventName(DWORD id) {
  for (const auto& known : kEventNames)
    if (known.id == id) return known.name;
  return nullptr;
}

DWORD EventId(const std::wstring& text) {
  for (const auto& known : kEventNames)
    if (text == std::wstring(known.name, known.name + std::strlen(known.name))) return known.id;
  return std::wcstoul(text.c_str(), nullptr, 0);
}

VARIANT Child(LONG id) {
  VARIANT v = {};
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

// The fields of one line of step 3, and the calls that failed.
class Line {
 public:
  void Add(const char* name, const std::string& json) { fields_ += std::string(", \"") + name + "\": " + json; }
  void Check(const char* name, HRESULT hr) {
    if (FAILED(hr)) failed_ += std::string(failed_.empty() ? "" : ", ") + "\"" + name + "\": \"" + Hex(hr) + "\"";
  }
  std::string Text() const {
    return "{" + fields_.substr(2) + (failed_.empty() ? "" : ", \"failed\": {" + failed_ + "}") + "}";
  }

 private:
  std::string fields_, failed_;
};

void AddText(Line& line, const char* name, IAccessible* object,
             HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), LONG child) {
  ScopedBstr text;
  const HRESULT hr = (object->*get)(Child(child), text.Receive());
  line.Check(name, hr);
  line.Add(name, hr == S_OK && text ? JsonString(text.Get()) : "null");
}

void AddInteger(Line& line, const char* name, IAccessible* object,
                HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), LONG child) {
  VARIANT value;
  VariantInit(&value);
  const HRESULT hr = (object->*get)(Child(child), &value);
  line.Check(name, hr);
  line.Add(name, hr == S_OK && value.vt == VT_I4 ? std::to_string(value.lVal) : "null");
  VariantClear(&value);
}

void ReadTree(IAccessible* object, int read) {
  long count = 0;
  const HRESULT countHr = object->get_accChildCount(&count);
  for (LONG child = 0; child <= (SUCCEEDED(countHr) ? count : 0); ++child) {
    Line line;
    line.Add("read", std::to_string(read));
    line.Add("child", std::to_string(child));
    AddInteger(line, "role", object, &IAccessible::get_accRole, child);
    AddText(line, "name", object, &IAccessible::get_accName, child);
    if (child != CHILDID_SELF) AddText(line, "value", object, &IAccessible::get_accValue, child);
    AddInteger(line, "state", object, &IAccessible::get_accState, child);
    long x = 0, y = 0, w = 0, h = 0;
    const HRESULT where = object->accLocation(&x, &y, &w, &h, Child(child));
    line.Check("location", where);
    line.Add("location", SUCCEEDED(where) ? "[" + std::to_string(x) + ", " + std::to_string(y) + ", " +
                                                std::to_string(w) + ", " + std::to_string(h) + "]"
                                          : "null");
    if (child != CHILDID_SELF) AddText(line, "action", object, &IAccessible::get_accDefaultAction, child);
    if (child == CHILDID_SELF) {
      line.Check("children", countHr);
      line.Add("children", SUCCEEDED(countHr) ? std::to_string(count) : "null");
      VARIANT focus;
      VariantInit(&focus);
      const HRESULT focusHr = object->get_accFocus(&focus);
      line.Check("focus", focusHr);
      line.Add("focus", focusHr == S_OK && focus.vt == VT_I4 ? std::to_string(focus.lVal) : "null");
      VariantClear(&focus);
      DWORD pid = 0;
      GetWindowThreadProcessId(g_window, &pid);
      line.Add("pid", std::to_string(pid));
      line.Add("window", std::to_string(reinterpret_cast<UINT_PTR>(g_window)));
    }
    Emit(line.Text());
  }
}

void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
  if (window != g_window) return;
  const char* name = EventName(event);
  Emit(std::string("{\"event\": ") + (name ? "\"" + std::string(name) + "\"" : "null") +
       ", \"id\": " + std::to_string(event) + ", \"object\": " + std::to_string(object) +
       ", \"child\": " + std::to_string(child) + "}");
  ++g_events;
  if (!g_options.untilEvent.empty() && event == EventId(g_options.untilEvent) &&
      (g_options.untilChild < 0 || g_options.untilChild == child))
    g_untilSeen = true;
}

// Pumps messages (the hook's callbacks come as messages) for ms, or until the --until event came.
void Record(DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  while (!g_untilSeen) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
}

bool ParseOptions(int argc, wchar_t** argv, Options* options) {
  if (argc < 2) return false;
  options->windowClass = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::wstring name = argv[i];
    if (name == L"--again") {
      options->again = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const wchar_t* value = argv[++i];
    if (name == L"--wait") {
      options->waitMs = std::wcstoul(value, nullptr, 10);
    } else if (name == L"--events") {
      options->eventsMs = std::wcstoul(value, nullptr, 10);
    } else if (name == L"--focus") {
      options->focus = std::wcstol(value, nullptr, 10);
    } else if (name == L"--do") {
      options->action = std::wcstol(value, nullptr, 10);
    } else if (name == L"--out") {
      options->out = value;
    } else if (name == L"--until") {
      const std::wstring until = value;
      const size_t colon = until.find(L':');
      options->untilEvent = until.substr(0, colon);
      if (colon != std::wstring::npos) options->untilChild = std::wcstol(until.c_str() + colon + 1, nullptr, 10);
    } else {
      return false;
    }
  }
  return options->untilEvent.empty() || options->eventsMs > 0;
}

HWND WaitForWindow(const std::wstring& window_class, DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  for (;;) {
    if (const HWND window = FindWindowW(window_class.c_str(), nullptr)) return window;
    if (GetTickCount64() >= end) return nullptr;
    Sleep(20);  // polled: the window is another process's, made whenever it gets there
  }
}

int Run() {
  g_window = WaitForWindow(g_options.windowClass, g_options.waitMs);
  if (g_window == nullptr) {
    Emit("{\"end\": \"no-window\"}");
    return 1;
  }
  quenvo::ScopedCom<IAccessible> object;
  const HRESULT hr = AccessibleObjectFromWindow(g_window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                                reinterpret_cast<void**>(object.Receive()));
  if (FAILED(hr) || !object) {
    Emit("{\"end\": \"no-object\", \"hr\": \"" + Hex(hr) + "\"}");
    return 3;
  }
  ReadTree(object.Get(), 1);

  HWINEVENTHOOK hook = nullptr;
  if (g_options.eventsMs > 0) {
    DWORD pid = 0;
    GetWindowThreadProcessId(g_window, &pid);
    hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, /*module*/ nullptr, OnEvent, pid, /*thread*/ 0, WINEVENT_OUTOFCONTEXT);
    Emit(hook != nullptr ? "{\"recording\": true}" : "{\"recording\": false}");
  }
  if (g_options.focus >= 0) {
    Emit("{\"focus\": " + std::to_string(g_options.focus) + ", \"hr\": \"" +
         Hex(object.Get()->accSelect(SELFLAG_TAKEFOCUS, Child(g_options.focus))) + "\"}");
  }
  if (g_options.action >= 0) {
    Emit("{\"do\": " + std::to_string(g_options.action) + ", \"hr\": \"" +
         Hex(object.Get()->accDoDefaultAction(Child(g_options.action))) + "\"}");
  }
  if (hook != nullptr) {
    Record(g_options.eventsMs);
    UnhookWinEvent(hook);
  }
  if (g_options.again) ReadTree(object.Get(), 2);

  const bool until = !g_options.untilEvent.empty();
  Emit("{\"end\": \"found\", \"events\": " + std::to_string(g_events) +
       ", \"until\": " + (until ? (g_untilSeen ? "true" : "false") : "null") + "}");
  return until && !g_untilSeen ? 4 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (!ParseOptions(argc, argv, &g_options)) {
    std::fputs("{\"end\": \"usage\"}\n", stdout);
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  int code = 2;
  try {
    code = Run();
  } catch (...) {
    // Out of memory: the report stops short, without its end line.
  }
  CoUninitialize();
  return code;
}
