// Opens the update window as the agent's "/update" does, downloading an offer the harness makes,
// for demos, screenshots and click tests. Not shipped.
//
//   update_harness.exe [--offer-from URL] [--url U] [--size S] [--file PATH] [--t1 T] [--t2 T] [--t3 T]
//                      [--steps S1,S2,...] [--shots FOLDER] [--report FILE] [--exit-after-steps]
//                      [--timeout-ms N]
//
// --offer-from fetches the update server's version reply; --url, --size and --t1..3 make the
// offer directly. Either is recorded as the update check records it (temporary folder + a safe
// file name of the address, an old file there deleted); --file then names another target.
// Without an address the download thread ends at once and the steps drive the window alone.
//
// Steps, run in order once the window is up, each through real messages to the window:
//   progress:N  complete  fail  result:N   the download thread's reports (sent)
//   wmclose                                WM_CLOSE (sent)
//   click:close  click:install             a press and release at the button's centre (posted)
//   wait:finished  wait:failed             pump messages until the checks have passed, a failure
//   wait:refused                           was reported, or the checks refused the file
//   replace:PATH                           copy the file at PATH over the stored installer
//   shot:NAME                              paint, then write the window to FOLDER\NAME.png
//   measure                                each text of the window measured in its box, as drawn
//   dpi:N                                  WM_DPICHANGED for N DPI, with the rectangle the system
//                                          would suggest: its size for N, on the window's monitor
//   contrast                               high contrast on, with the system colours of a dark
//                                          scheme (put back when the harness ends), as Windows
//                                          tells a window: WM_SYSCOLORCHANGE, WM_SETTINGCHANGE
// After the steps the message loop runs until the window is gone (or --timeout-ms), unless
// --exit-after-steps is given. The report gets one JSON line per event; an "end" line means
// the harness itself ended, its absence that the window ended the process.
//
// Like the agent, the harness carries the window's images and texts as resources and is
// per-monitor DPI aware by its manifest.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "client_profile.h"
#include "gdiplus_include.h"
#include "http_get.h"
#include "json_line.h"
#include "png_shot.h"
#include "record_offer.h"
#include "scoped_handle.h"
#include "text_drawing.h"
#include "update_down.h"
#include "update_images.h"
#include "update_layout.h"
#include "update_offer.h"
#include "update_palette.h"
#include "update_view.h"
#include "window_dpi.h"

ClientProfile g_profile(ProfileScope::kCompanion);

namespace {

constexpr UINT WM_HARNESS_SYNC = WM_APP + 17;

struct Options {
  std::wstring offer_from, url, size, file, t1, t2, t3, shots, report;
  std::vector<std::wstring> steps;
  bool exit_after_steps = false;
  int timeout_ms = 60000;
};

std::wstring g_report;

void Report(const std::string& line) {
  if (!g_report.empty()) AppendLine(g_report, line);
}

std::string RectJson(const RECT& r) {
  return "[" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
         std::to_string(r.bottom) + "]";
}

// The parts of `text` between separators, empty ones left out.
std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> parts;
  std::wistringstream in(text);
  for (std::wstring part; std::getline(in, part, separator);) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

Options ParseOptions() {
  Options o;
  using Text = std::pair<const wchar_t*, std::wstring*>;
  using Number = std::pair<const wchar_t*, int*>;

  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; argv != nullptr && i < argc; ++i) {
    const std::wstring name = argv[i];
    if (name == L"--exit-after-steps") {
      o.exit_after_steps = true;
      continue;
    }
    if (i + 1 >= argc) break;
    const wchar_t* value = argv[++i];
    if (name == L"--steps") o.steps = Split(value, L',');
    for (const auto& [option, field] :
         {Text{L"--offer-from", &o.offer_from}, Text{L"--url", &o.url}, Text{L"--size", &o.size},
          Text{L"--file", &o.file}, Text{L"--t1", &o.t1}, Text{L"--t2", &o.t2}, Text{L"--t3", &o.t3},
          Text{L"--shots", &o.shots}, Text{L"--report", &o.report}}) {
      if (name == option) *field = value;
    }
    for (const auto& [option, field] : {Number{L"--timeout-ms", &o.timeout_ms}}) {
      if (name == option) *field = _wtoi(value);
    }
  }
  LocalFree(argv);
  return o;
}

// How many of the profile's seven image references point at an image.
int Published(const ClientProfile& profile) {
  int count = 0;
  for (const Gdiplus::Image* image :
       {profile.downloadingImage, profile.closeButtonImage, profile.logoImage, profile.installButtonImage,
        profile.trackImage, profile.fillImage, profile.extraButtonImage}) {
    count += image != nullptr ? 1 : 0;
  }
  return count;
}

// Fills the offer as the update check leaves it; false when there is none to show.
bool FillOffer(const Options& o) {
  UpdateOffer offer;
  if (!o.offer_from.empty()) {
    offer = ParseVersionReply(HttpGet(o.offer_from));
    if (!IsNewerVersion(offer.version)) return false;
  }
  if (!o.url.empty()) offer.url = o.url;
  if (!o.size.empty()) offer.size = o.size;
  if (!o.t1.empty()) offer.text1 = o.t1;
  if (!o.t2.empty()) offer.text2 = o.t2;
  if (!o.t3.empty()) offer.text3 = o.t3;
  const bool prepared = RecordUpdateOffer(g_profile, offer) != 0;
  if (!o.file.empty()) g_profile.updateFilePath = o.file;
  return prepared || !o.file.empty() || offer.url.empty();
}

// The update window with one addition: once it is gone, the harness's message loop ends.
class HarnessWindow : public CUpdateDown {
 public:
  void OnFinalMessage(HWND) override {
    gone_ = true;
    PostQuitMessage(0);
  }
  bool gone() const { return gone_; }

 private:
  bool gone_ = false;
};

// Dispatches messages until `done` holds, the window is gone or the time is up. False on WM_QUIT.
template <typename Done>
bool Pump(HarnessWindow& window, DWORD ms, Done done) {
  const DWORD start = GetTickCount();
  while (!done() && !window.gone()) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return true;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return false;
      if (msg.message == WM_HARNESS_SYNC) return true;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return !window.gone();
}

// Copies the painted window from its own device context and saves it as PNG.
bool SaveScreenshot(HWND window, const std::wstring& path) {
  InvalidateRect(window, nullptr, FALSE);
  UpdateWindow(window);
  RECT client = {};
  GetClientRect(window, &client);
  const HDC window_dc = GetDC(window);
  const bool saved = SavePng(window_dc, {0, 0}, {client.right, client.bottom}, path);
  if (window_dc != nullptr) ReleaseDC(window, window_dc);
  return saved;
}

std::string BoxJson(const LayoutBox& b) {
  return RectJson({b.x, b.y, b.x + b.width, b.y + b.height});
}

// Where the window put things at its DPI, for the pixel checks of its screenshots.
void ReportWindow(const HarnessWindow& window) {
  RECT client = {};
  GetClientRect(window.m_hWnd, &client);
  const UpdateLayout& l = window.layout();
  Report("{\"event\": \"window\", \"dpi\": " + std::to_string(l.dpi) + ", \"client\": " + RectJson(client) +
         ", \"header\": " + std::to_string(l.header) + ", \"title\": " + BoxJson(l.title) +
         ", \"close\": " + RectJson(window.m_btnClose.m_rect) +
         ", \"install\": " + RectJson(window.m_btnInstall.m_rect) + ", \"track\": " + RectJson(l.track) + "}");
}

// Each text of what the window shows now, measured with its font in its box as it is drawn.
void Measure(const HarnessWindow& window) {
  const HDC dc = GetDC(window.m_hWnd);
  if (dc == nullptr) return;
  {
    Gdiplus::Graphics graphics(dc);
    for (const SceneText& text : window.Scene().texts) {
      const TextFit fit = MeasureSceneText(graphics, text);
      Report("{\"event\": \"text\", \"text\": " + JsonString(text.text) + ", \"box\": " + BoxJson(text.box) +
             ", \"whole\": " + (fit.Whole() ? "true" : "false") + ", \"bounds\": [" + std::to_string(fit.bounds.X) +
             ", " + std::to_string(fit.bounds.Y) + ", " + std::to_string(fit.bounds.Width) + ", " +
             std::to_string(fit.bounds.Height) + "]}");
    }
  }
  ReleaseDC(window.m_hWnd, dc);
}

// What the system sends when the window moves to a monitor of another DPI: the new DPI, and a
// rectangle of the size the window has at it, on that monitor (here, centred on the same one).
void ChangeDpi(HarnessWindow& window, int dpi) {
  const RECT size =
      WindowRectForClient(LayOutUpdateWindow(dpi).client, static_cast<DWORD>(GetWindowLongW(window.m_hWnd, GWL_STYLE)),
                          static_cast<DWORD>(GetWindowLongW(window.m_hWnd, GWL_EXSTYLE)), dpi);
  RECT suggested = CentreIn(WorkAreaOf(MonitorFromWindow(window.m_hWnd, MONITOR_DEFAULTTONEAREST)),
                            {size.right - size.left, size.bottom - size.top});
  RECT now = {};
  SendMessageW(window.m_hWnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  GetWindowRect(window.m_hWnd, &now);
  Report("{\"event\": \"dpi\", \"suggested\": " + RectJson(suggested) + ", \"window\": " + RectJson(now) + "}");
  ReportWindow(window);
}

// Wine keeps no high-contrast switch, so the harness answers for the system: on, with the colours
// of a dark scheme, which the window must take from the system.
struct SchemeColours {
  int elements[4] = {COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT};
  COLORREF before[4] = {};
  bool set = false;
  ~SchemeColours() {
    if (set) SetSysColors(4, elements, before);
  }
} g_scheme;

void TurnOnHighContrast(HarnessWindow& window) {
  const COLORREF dark[4] = {RGB(0, 0, 0), RGB(255, 255, 0), RGB(0, 255, 255), RGB(0, 0, 0)};
  for (int i = 0; i < 4; ++i) g_scheme.before[i] = GetSysColor(g_scheme.elements[i]);
  g_scheme.set = SetSysColors(4, g_scheme.elements, dark) != FALSE;
  SetHighContrastReader([] { return true; });
  SendMessageW(window.m_hWnd, WM_SYSCOLORCHANGE, 0, 0);
  SendMessageW(window.m_hWnd, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
  Report("{\"event\": \"contrast\", \"set\": " + std::string(g_scheme.set ? "true" : "false") + "}");
}

// Runs one step; false when the window is gone and nothing more can be done.
bool RunStep(HarnessWindow& window, const Options& o, const std::wstring& step) {
  Report("{\"event\": \"step\", \"step\": " + JsonString(step) + "}");
  const size_t colon = step.find(L':');
  const std::wstring verb = step.substr(0, colon);
  const std::wstring arg = colon == std::wstring::npos ? L"" : step.substr(colon + 1);
  const HWND hwnd = window.m_hWnd;
  if (verb == L"progress") SendMessageW(hwnd, WM_DOWNLOAD_PROGRESS, kDownloadAdvanced, _wtoi(arg.c_str()));
  if (verb == L"complete") SendMessageW(hwnd, WM_DOWNLOAD_PROGRESS, kDownloadEnded, kEndedStored);
  if (verb == L"fail") SendMessageW(hwnd, WM_DOWNLOAD_PROGRESS, kDownloadEnded, kEndedFailed);
  if (verb == L"result") SendMessageW(hwnd, WM_DOWNLOAD_RESULT, _wtoi(arg.c_str()), 0);
  if (verb == L"wmclose") SendMessageW(hwnd, WM_CLOSE, 0, 0);
  if (verb == L"click") {
    const RECT r = arg == L"install" ? window.m_btnInstall.m_rect : window.m_btnClose.m_rect;
    const POINT at = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};  // the centre
    PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    PostMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    PostMessageW(hwnd, WM_HARNESS_SYNC, 0, 0);  // both are handled once this one comes round
    return Pump(window, 5000, [] { return false; });
  }
  if (verb == L"wait") {
    const UpdateView view = arg == L"failed"    ? UpdateView::kDownloadFailed
                            : arg == L"refused" ? UpdateView::kRefused
                                                : UpdateView::kFinished;
    return Pump(window, o.timeout_ms, [&] { return window.view() == view; });
  }
  if (verb == L"replace") {
    const bool copied = CopyFileW(arg.c_str(), g_profile.updateFilePath.c_str(), /*fail if exists*/ FALSE) != 0;
    Report("{\"event\": \"replaced\", \"copied\": " + std::string(copied ? "true" : "false") + "}");
  }
  if (verb == L"measure") Measure(window);
  if (verb == L"dpi") ChangeDpi(window, _wtoi(arg.c_str()));
  if (verb == L"contrast") TurnOnHighContrast(window);
  if (verb == L"shot") {
    const bool saved = SaveScreenshot(hwnd, o.shots + L"\\" + arg + L".png");
    Report("{\"event\": \"shot\", \"name\": " + JsonString(arg) + ", \"saved\": " + (saved ? "true" : "false") +
           ", \"percent\": " + std::to_string(window.m_nPercent) +
           ", \"finished\": " + std::to_string(window.m_bFinished) + "}");
  }
  return !window.gone();
}

int Run() {
  const Options o = ParseOptions();
  g_report = o.report;
  if (!g_report.empty()) DeleteFileW(g_report.c_str());

  const GdiplusSession gdiplus;
  UpdateImages images;
  const int loaded = images.Load(GetModuleHandleW(nullptr));
  const bool offered = FillOffer(o);

  HarnessWindow window;
  window.SetArt(&images);
  window.SetFirstView(UpdateView::kDownloading);
  const bool opened = offered && window.OpenForPerson();
  Report("{\"event\": \"start\", \"gdiplus\": " + std::string(gdiplus.ok() ? "true" : "false") +
         ", \"images\": " + std::to_string(Published(g_profile)) + ", \"loaded\": " + std::to_string(loaded) +
         ", \"dpi\": " + std::to_string(window.layout().dpi) + ", \"offer\": " + (offered ? "true" : "false") +
         ", \"url\": " + JsonString(g_profile.updateUrl) + ", \"size\": " + JsonString(g_profile.updateSize) +
         ", \"file\": " + JsonString(g_profile.updateFilePath) +
         ", \"yahei\": " + (FontFamilyAvailable(kYaHeiFamily) ? "true" : "false") +
         ", \"song\": " + (FontFamilyAvailable(kSongFamily) ? "true" : "false") + "}");
  if (!opened) {
    Report(std::string("{\"event\": \"end\", \"why\": \"") + (offered ? "no-window" : "no-offer") + "\"}");
    return 0;
  }
  ReportWindow(window);

  bool alive = true;
  for (size_t i = 0; alive && i < o.steps.size(); ++i) alive = RunStep(window, o, o.steps[i]);
  const char* why = alive ? "steps-done" : "window-gone";
  if (alive && !o.exit_after_steps) {
    why = Pump(window, o.timeout_ms, [] { return false; }) && !window.gone() ? "timeout" : "window-gone";
  }
  Report(std::string("{\"event\": \"end\", \"why\": \"") + why + "\"}");
  if (window.m_hWnd != nullptr) window.DestroyWindow();
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  try {
    return Run();
  } catch (...) {
    return 0;
  }
}
