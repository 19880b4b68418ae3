#include "update_down.h"

#include <commctrl.h>
#include <process.h>
#include <shellapi.h>

#include "client_profile.h"
#include "dpi_scale.h"
#include "gdiplus_include.h"
#include "installer_check.h"
#include "scoped_handle.h"
#include "scoped_select.h"
#include "text_drawing.h"
#include "update_images.h"
#include "update_art.h"
#include "update_strings.h"
#include "window_dpi.h"

namespace {

// Windows 10 1703 asks a per-monitor window for its size at a new DPI before it suggests one; the
// headers declare it only for builds that target that version.
constexpr UINT kGetDpiScaledSize = 0x02E4;  // WM_GETDPISCALEDSIZE

// Sent to itself, so that a screen reader's call returns before the button acts (close and
// install may end the process).
constexpr UINT WM_UPDATE_PRESS = WM_USER + 1025;

void EndProcessNow(UINT exit_code) {
  ::ExitProcess(exit_code);
}

DWORD OpenWithShell(HWND owner, const std::wstring& path) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  // Done before this returns, since the process ends right after; no message box of the shell's:
  // the window says what went wrong. The window owns the elevation prompt.
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.hwnd = owner;
  info.lpVerb = L"open";
  info.lpFile = path.c_str();
  info.nShow = SW_SHOWDEFAULT;
  if (::ShellExecuteExW(&info)) return 0;
  const DWORD error = ::GetLastError();
  return error != 0 ? error : ERROR_GEN_FAILURE;
}

void DeleteTarget(const std::wstring& path) {
  ::DeleteFileW(path.c_str());
}

UpdateWindowActions g_actions = {EndProcessNow, OpenWithShell, DeleteTarget};

Gdiplus::Color ColourOf(COLORREF colour) {
  return Gdiplus::Color(255, GetRValue(colour), GetGValue(colour), GetBValue(colour));
}

POINT PointOf(LPARAM lparam) {
  // Two unsigned 16-bit halves: x low, y high.
  return {static_cast<LONG>(LOWORD(lparam)), static_cast<LONG>(HIWORD(lparam))};
}

Gdiplus::Rect RectOf(const RECT& r) {
  return Gdiplus::Rect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// Art drawn at another size than its own is resampled with the high-quality filter; art at its
// own size is copied pixel for pixel.
class ImageQuality {
 public:
  ImageQuality(Gdiplus::Graphics& graphics, bool scaled) : graphics_(graphics), scaled_(scaled) {
    if (!scaled_) return;
    interpolation_ = graphics_.GetInterpolationMode();
    offset_ = graphics_.GetPixelOffsetMode();
    graphics_.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics_.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  }
  ~ImageQuality() {
    if (!scaled_) return;
    graphics_.SetInterpolationMode(interpolation_);
    graphics_.SetPixelOffsetMode(offset_);
  }
  ImageQuality(const ImageQuality&) = delete;
  ImageQuality& operator=(const ImageQuality&) = delete;

 private:
  Gdiplus::Graphics& graphics_;
  bool scaled_;
  Gdiplus::InterpolationMode interpolation_ = Gdiplus::InterpolationModeDefault;
  Gdiplus::PixelOffsetMode offset_ = Gdiplus::PixelOffsetModeDefault;
};

// A missing image is skipped: nothing in the program guarantees the images are there.
void DrawImageIn(Gdiplus::Graphics& graphics, Gdiplus::Image* image, const RECT& r) {
  if (image == nullptr) return;
  const Gdiplus::Rect to = RectOf(r);
  const ImageQuality quality(
      graphics, image->GetWidth() != static_cast<UINT>(to.Width) || image->GetHeight() != static_cast<UINT>(to.Height));
  graphics.DrawImage(image, to);
}

void DrawButton(Gdiplus::Graphics& graphics, CPngButton& button) {
  Gdiplus::Image* image = button.m_pImage;
  const ImageQuality quality(
      graphics, image != nullptr && image->GetHeight() != static_cast<UINT>(button.m_rect.bottom - button.m_rect.top));
  button.Draw(&graphics);
}

void FillBox(Gdiplus::Graphics& graphics, COLORREF colour, int x, int y, int width, int height) {
  const Gdiplus::SolidBrush brush(ColourOf(colour));
  graphics.FillRectangle(&brush, x, y, width, height);
}

// An outline of `line` pixels inside r: four filled edges, exact at any width.
void Outline(Gdiplus::Graphics& graphics, COLORREF colour, const RECT& r, int line) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  FillBox(graphics, colour, r.left, r.top, w, line);
  FillBox(graphics, colour, r.left, r.bottom - line, w, line);
  FillBox(graphics, colour, r.left, r.top, line, h);
  FillBox(graphics, colour, r.right - line, r.top, line, h);
}

// BeginPaint and EndPaint as a pair.
class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window), dc_(::BeginPaint(window, &paint_)) {}
  ~PaintScope() { ::EndPaint(window_, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_ = {};
  HDC dc_;
};

FocusTarget TargetOfChild(int child) {
  if (child == kChildClose) return FocusTarget::kClose;
  if (child == kChildInstall) return FocusTarget::kInstall;
  return FocusTarget::kNone;
}

int ChildOfTarget(FocusTarget target) {
  if (target == FocusTarget::kClose) return kChildClose;
  if (target == FocusTarget::kInstall) return kChildInstall;
  return CHILDID_SELF;
}

}  // namespace

std::wstring UpdateText(UINT id) {
  const wchar_t* text = nullptr;
  // With no buffer, LoadStringW hands out the resource's own text, which is not terminated.
  const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
  return length > 0 && text != nullptr ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

unsigned __stdcall DownLoadThreadProc(void* window) {
  try {
    // The handle is taken once, here: the window's thread clears m_hWnd when the window goes.
    const DownloadJob job = {static_cast<CUpdateDown*>(window)->m_hWnd, g_profile.updateUrl, g_profile.updateFilePath,
                             g_profile.updateSize};
    RunDownloadJob(job);
  } catch (...) {
    // Out of memory on the worker: the window simply hears no more.
  }
  return 0;
}

UpdateWindowActions SetUpdateWindowActions(UpdateWindowActions actions) {
  const UpdateWindowActions previous = g_actions;
  g_actions = actions;
  return previous;
}

BOOL CUpdateDown::ProcessWindowMessage(HWND, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                                       DWORD map_id) {
  if (map_id != 0) return FALSE;
  switch (message) {
    case WM_CREATE: result = OnCreate(); return TRUE;
    case WM_PAINT: result = OnPaint(); return TRUE;
    case WM_MOUSEMOVE: result = RouteMouseMove(lparam); return TRUE;
    case WM_LBUTTONDOWN: result = RouteLButtonDown(lparam); return TRUE;
    case WM_RBUTTONDOWN: result = 0; return TRUE;  // swallowed
    case WM_LBUTTONUP: result = RouteLButtonUp(lparam); return TRUE;
    case WM_MOUSELEAVE: result = RouteMouseLeave(); return TRUE;
    case WM_ERASEBKGND: result = 1; return TRUE;  // the paint covers everything
    case WM_DOWNLOAD_RESULT: result = OnDownloadResult(wparam); return TRUE;
    case WM_CLOSE: result = OnClose(); return TRUE;
    case WM_DOWNLOAD_PROGRESS: result = OnDownloadProgress(wparam, lparam); return TRUE;
    case WM_UPDATE_CHECKED: result = OnUpdateChecked(wparam); return TRUE;
    case WM_KEYDOWN: result = OnKeyDown(wparam, (lparam & (1L << 30)) != 0); return TRUE;
    case WM_UPDATE_PRESS: Press(static_cast<FocusTarget>(wparam)); return TRUE;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      Invalidate(FALSE);  // the focus ring shows only while the window has the focus
      if (message == WM_SETFOCUS) UpdateAccessible::Notify(m_hWnd, EVENT_OBJECT_FOCUS, ChildOfTarget(m_focus));
      return FALSE;
    case WM_UPDATE_SHOW:
      if (::IsIconic(m_hWnd)) ::ShowWindow(m_hWnd, SW_RESTORE);
      ::SetForegroundWindow(m_hWnd);
      return TRUE;
    case WM_DPICHANGED: result = OnDpiChanged(wparam, reinterpret_cast<const RECT*>(lparam)); return TRUE;
    case kGetDpiScaledSize: {
      // The client keeps its 96-DPI size scaled exactly, not the window's outer size.
      const int dpi = static_cast<int>(wparam);
      const UpdateLayout next = LayOutUpdateWindow(dpi);
      const RECT outer = WindowRectForClient(next.client, static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE)),
                                             static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_EXSTYLE)), dpi);
      auto* size = reinterpret_cast<SIZE*>(lparam);
      size->cx = outer.right - outer.left;
      size->cy = outer.bottom - outer.top;
      result = TRUE;
      return TRUE;
    }
    case WM_UPDATEUISTATE:
      Invalidate(FALSE);  // focus cues shown or hidden
      return FALSE;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
      m_palette = CurrentPalette();
      Invalidate(TRUE);
      return FALSE;
    case WM_GETOBJECT:
      if (!m_accessible) m_accessible = std::make_unique<UpdateAccessible>(m_hWnd, this);
      result = m_accessible->OnGetObject(wparam, lparam);
      return result != 0;
    case WM_DESTROY:
      m_accessible.reset();  // a screen reader that still holds the object gets failures from now on
      return FALSE;
    default: return FALSE;
  }
}

void CUpdateDown::LayOut(int dpi) {
  m_layout = LayOutUpdateWindow(dpi);
  if (m_pArt != nullptr) m_pArt->Publish(g_profile, dpi);

  // The buttons take the layout's size at this DPI, drawn from art of whichever scale fits it.
  const auto place = [this](CPngButton& button, const RECT& rect, Gdiplus::Image* image) {
    button.Attach(m_hWnd, &rect, 0);
    button.SetImage(image, 3, FALSE);
    button.SetFrames(0, 2, 1, -1);
    button.m_rect = rect;
  };
  place(m_btnClose, m_layout.close, g_profile.closeButtonImage);
  place(m_btnExtra, m_layout.extra, g_profile.extraButtonImage);
  place(m_btnInstall, m_layout.install, g_profile.installButtonImage);
}

bool CUpdateDown::OpenForPerson() {
  const HMONITOR monitor = MonitorOfPointer();
  const int dpi = DpiForMonitor(monitor);
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  const RECT outer = WindowRectForClient(LayOutUpdateWindow(dpi).client, style, /*ex_style*/ 0, dpi);
  const RECT placed = CentreIn(WorkAreaOf(monitor), {outer.right - outer.left, outer.bottom - outer.top});
  m_bEndLoopWhenGone = true;
  if (Create(/*parent*/ nullptr, placed, UpdateText(IDS_UPDATE_CAPTION).c_str(), style) == nullptr) return false;
  // The person asked for this window: it comes to the front with the keyboard's focus.
  ::ShowWindow(m_hWnd, SW_SHOW);
  ::SetForegroundWindow(m_hWnd);
  ::SetFocus(m_hWnd);
  ::UpdateWindow(m_hWnd);
  return true;
}

void CUpdateDown::OnFinalMessage(HWND) {
  if (m_bEndLoopWhenGone) ::PostQuitMessage(0);
}

void CUpdateDown::SetIcons(int dpi) {
  // The suite's icon at the sizes this DPI asks for: the title bar's, and the task bar's and Alt+Tab's.
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  const auto load = [&](int size) {
    return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_SUITE), IMAGE_ICON, size, size, 0));
  };
  quenvo::ScopedIcon small(load(ScaleLength(16, dpi)));
  quenvo::ScopedIcon big(load(ScaleLength(32, dpi)));
  if (!small || !big) return;
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.Get()));
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.Get()));
  m_iconSmall = std::move(small);  // the ones set before are no longer the window's
  m_iconBig = std::move(big);
}

LRESULT CUpdateDown::OnCreate() {
  SetWindowPos(HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  m_palette = CurrentPalette();
  LayOut(DpiForWindow(m_hWnd));
  SetIcons(m_layout.dpi);
  SetView(m_view);
  if (m_view == UpdateView::kDownloading) StartDownload();
  return 0;
}

void CUpdateDown::StartDownload() {
  if (m_bDownloadStarted) return;
  m_bDownloadStarted = true;
  const uintptr_t thread = _beginthreadex(/*security*/ nullptr, /*stack*/ 0, DownLoadThreadProc, this, 0, nullptr);
  if (thread != 0) {
    ::CloseHandle(reinterpret_cast<HANDLE>(thread));
  } else {
    SetView(UpdateView::kDownloadFailed);  // no report would ever come
  }
}

UpdateScene CUpdateDown::Scene() const {
  return ComposeScene(m_layout, m_view, m_nPercent, UpdateText);
}

LRESULT CUpdateDown::OnPaint() {
  const PaintScope paint(m_hWnd);
  RECT client = {};
  GetClientRect(&client);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;

  // Drawn off-screen in full and copied in one go, so nothing flickers.
  const quenvo::ScopedDc memory(::CreateCompatibleDC(paint.dc()));
  const quenvo::ScopedGdiObject bitmap(::CreateCompatibleBitmap(paint.dc(), width, height));
  if (!memory || !bitmap) return 0;
  const quenvo::ScopedSelect select(memory.Get(), bitmap.Get());
  ::SetViewportOrgEx(memory.Get(), -client.left, -client.top, nullptr);
  PaintContent(memory.Get(), width, height);
  ::BitBlt(paint.dc(), client.left, client.top, width, height, memory.Get(), client.left, client.top, SRCCOPY);
  return 0;
}

void CUpdateDown::PaintContent(HDC dc, int width, int height) {
  const UpdatePalette& colours = m_palette;
  const UpdateLayout& l = m_layout;
  Gdiplus::Graphics graphics(dc);
  FillBox(graphics, colours.background, 0, 0, width, height);
  Outline(graphics, colours.border, {0, 0, width, height}, l.line);
  FillBox(graphics, colours.header, 0, 0, width, l.header);
  DrawImageIn(graphics, g_profile.logoImage, l.logo);

  if (colours.high_contrast) {
    // The cross and its outline in the band's text colour, not the art's fixed white.
    const RECT& r = m_btnClose.m_rect;
    Outline(graphics, colours.title, r, l.line);
    const Gdiplus::Pen pen(ColourOf(colours.title), static_cast<Gdiplus::REAL>(2 * l.line));
    const INT inset = (r.right - r.left) / 3, left = r.left + inset, right = r.right - inset;
    const INT top = r.top + inset, bottom = r.bottom - inset;
    graphics.DrawLine(&pen, left, top, right, bottom);
    graphics.DrawLine(&pen, left, bottom, right, top);
  } else {
    DrawButton(graphics, m_btnClose);
  }

  const UpdateScene scene = Scene();
  DrawSceneText(graphics, scene.texts[0], ColourOf(colours.title));
  if (scene.progress) {
    DrawImageIn(graphics, g_profile.downloadingImage, l.downloadingImage);
    DrawSceneText(graphics, scene.texts[1], ColourOf(colours.text));
    const RECT& t = l.track;
    if (colours.high_contrast) {
      FillBox(graphics, colours.track, t.left, t.top, t.right - t.left, t.bottom - t.top);
      FillBox(graphics, colours.fill, scene.fill.x, scene.fill.y, scene.fill.width, scene.fill.height);
      Outline(graphics, colours.text, t, l.line);
    } else {
      DrawImageIn(graphics, g_profile.trackImage, t);
      if (Gdiplus::Image* fill = g_profile.fillImage; fill != nullptr) {
        // The art's last column is left out, so that the filter never blends in what lies beyond it.
        const ImageQuality quality(graphics, fill->GetHeight() != static_cast<UINT>(scene.fill.height));
        graphics.DrawImage(fill, Gdiplus::Rect(scene.fill.x, scene.fill.y, scene.fill.width, scene.fill.height), 0, 0,
                           static_cast<INT>(fill->GetWidth()) - 1, static_cast<INT>(fill->GetHeight()),
                           Gdiplus::UnitPixel);
      }
    }
    DrawSceneText(graphics, scene.texts[2], ColourOf(colours.text));
  } else {
    DrawSceneText(graphics, scene.texts[1], ColourOf(colours.text));
  }
  if (scene.install) {
    if (colours.high_contrast) {
      const RECT& r = m_btnInstall.m_rect;
      FillBox(graphics, colours.buttonFace, r.left, r.top, r.right - r.left, r.bottom - r.top);
      Outline(graphics, colours.text, r, l.line);
    } else {
      DrawButton(graphics, m_btnInstall);
    }
    DrawSceneText(graphics, scene.texts.back(), ColourOf(colours.word));
  }

  // The focus ring, while the window has the focus. The system keeps whether focus cues show, as
  // for a dialog's controls: hidden after the mouse opened a window, shown once the keyboard is
  // used or where the person asked for them always.
  const FocusTarget focus = KeepFocus(m_focus, scene.install);
  const bool cues = (SendMessageW(m_hWnd, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) == 0;
  if (cues && focus != FocusTarget::kNone && ::GetFocus() == m_hWnd) {
    RECT ring = focus == FocusTarget::kClose ? m_btnClose.m_rect : m_btnInstall.m_rect;
    ::InflateRect(&ring, l.line, l.line);
    const bool on_band = focus == FocusTarget::kClose;
    Outline(graphics, on_band && colours.high_contrast ? colours.title : colours.focus, ring, 2 * l.line);
  }
}

void CUpdateDown::SetView(UpdateView view) {
  const ViewContent before = ContentOf(m_view);
  m_view = view;
  const ViewContent content = ContentOf(view);
  if (view == UpdateView::kDownloadFailed) m_nPercent = -1;
  m_bFinished = content.install ? 1 : 0;
  const FocusTarget focus = KeepFocus(m_focus, content.install);
  // Once the installer has passed, install is the default: it takes the focus, unless a button has it.
  SetFocusTo(content.install && !before.install && focus == FocusTarget::kNone ? FocusTarget::kInstall : focus, false);
  Invalidate(TRUE);
  if (m_hWnd == nullptr) return;
  UpdateAccessible::Notify(m_hWnd, EVENT_OBJECT_NAMECHANGE, CHILDID_SELF);
  UpdateAccessible::Notify(m_hWnd, EVENT_OBJECT_NAMECHANGE, kChildText);
  if (before.install != content.install) UpdateAccessible::Notify(m_hWnd, EVENT_OBJECT_STATECHANGE, kChildInstall);
  if (before.progress != content.progress) UpdateAccessible::Notify(m_hWnd, EVENT_OBJECT_STATECHANGE, kChildProgress);
}

void CUpdateDown::SetFocusTo(FocusTarget target, bool by_keyboard) {
  if (by_keyboard) SendMessageW(m_hWnd, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
  if (target == m_focus) return;
  m_focus = target;
  Invalidate(FALSE);
  if (m_hWnd != nullptr && ::GetFocus() == m_hWnd) {
    UpdateAccessible::Notify(m_hWnd, EVENT_OBJECT_FOCUS, ChildOfTarget(target));
  }
}

LRESULT CUpdateDown::OnKeyDown(WPARAM key, bool repeated) {
  const bool install_shown = ContentOf(m_view).install;
  const KeyAction action = ActionForKey(static_cast<UINT>(key), ::GetKeyState(VK_SHIFT) < 0);
  // A key held down repeats: the focus moves on, but a button is pressed once.
  if (repeated && action != KeyAction::kFocusNext && action != KeyAction::kFocusPrevious) return 0;
  switch (action) {
    case KeyAction::kFocusNext: SetFocusTo(MoveFocus(m_focus, install_shown, false), true); break;
    case KeyAction::kFocusPrevious: SetFocusTo(MoveFocus(m_focus, install_shown, true), true); break;
    case KeyAction::kPressFocused: Press(KeepFocus(m_focus, install_shown)); break;
    case KeyAction::kPressDefault: Press(EnterTarget(m_focus, install_shown)); break;
    case KeyAction::kClose: CloseWindow(); break;
    case KeyAction::kNone: break;
  }
  return 0;
}

void CUpdateDown::Press(FocusTarget target) {
  if (target == FocusTarget::kClose) CloseWindow();
  if (target == FocusTarget::kInstall && ContentOf(m_view).install) Install();
}

void CUpdateDown::Install() {
  const std::wstring& path = g_profile.updateFilePath;
  // The file opened must be the file that was checked, so it is checked again right before.
  if (!IsOfferedInstaller(path, g_profile.updateSize)) {
    g_actions.discardFile(path);
    SetView(UpdateView::kRefused);
    return;
  }
  // The shell may run messages while it asks for elevation: a second press then opens nothing.
  if (m_bOpening) return;
  m_bOpening = true;
  const DWORD error = g_actions.openFile(m_hWnd, path);
  m_bOpening = false;
  if (error == 0) {
    g_actions.endProcess(0);
    return;
  }
  SetView(AfterInstallRefused(error));
}

void CUpdateDown::CloseWindow() {
  // A download that nobody will run is not left in the temporary folder: one under way (the file
  // goes once the download's handle closes with the process), or a checked installer not started.
  const UpdateView view = m_view;
  if (m_bDownloadStarted && (view == UpdateView::kDownloading || ContentOf(view).install)) {
    g_actions.discardFile(g_profile.updateFilePath);
  }
  g_actions.endProcess(0);
}

LRESULT CUpdateDown::OnClose() {
  CloseWindow();
  return 0;
}

LRESULT CUpdateDown::OnUpdateChecked(WPARAM outcome) {
  if (m_view != UpdateView::kChecking) return 0;
  const UpdateView next = AfterCheck(static_cast<CheckOutcome>(outcome));
  m_nPercent = 0;
  SetView(next);
  if (next == UpdateView::kDownloading) StartDownload();
  return 0;
}

LRESULT CUpdateDown::OnDownloadProgress(WPARAM wparam, LPARAM lparam) {
  const int before = m_nPercent;
  if (wparam == kDownloadAdvanced) {
    m_nPercent = static_cast<int>(lparam);
  } else if (wparam == kDownloadEnded && lparam == kEndedStored) {
    SetWindowPos(HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  } else if (wparam == kDownloadEnded) {
    m_nPercent = -1;
  }
  const UpdateView next = AfterDownloadProgress(m_view, wparam, lparam);
  if (next != m_view) SetView(next);
  Invalidate(TRUE);
  if (m_nPercent != before && m_nPercent >= 0) {
    UpdateAccessible::Notify(m_hWnd, EVENT_OBJECT_VALUECHANGE, kChildProgress);
  }
  return 0;
}

LRESULT CUpdateDown::OnDownloadResult(WPARAM wparam) {
  SetView(AfterDownloadResult(m_view, wparam));
  return 1;
}

LRESULT CUpdateDown::OnDpiChanged(WPARAM wparam, const RECT* suggested) {
  LayOut(LOWORD(wparam));
  SetIcons(m_layout.dpi);
  if (suggested != nullptr) {
    SetWindowPos(nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // Where the frame does not follow the new DPI (per-monitor awareness of Windows 8.1 scales no
  // title bar), the suggested size leaves the client off by the frame's difference: put it right.
  RECT client = {}, outer = {};
  GetClientRect(&client);
  ::GetWindowRect(m_hWnd, &outer);
  const int dx = m_layout.client.cx - client.right, dy = m_layout.client.cy - client.bottom;
  if (dx != 0 || dy != 0) {
    SetWindowPos(nullptr, 0, 0, outer.right - outer.left + dx, outer.bottom - outer.top + dy,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  }
  Invalidate(TRUE);
  return 0;
}

LRESULT CUpdateDown::RouteMouseMove(LPARAM lparam) {
  if (!m_bTracking) {
    TRACKMOUSEEVENT track = {};
    track.cbSize = sizeof track;
    track.dwFlags = TME_HOVER | TME_LEAVE;
    track.hwndTrack = m_hWnd;
    track.dwHoverTime = 1;
    m_bTracking = _TrackMouseEvent(&track);
  }
  const POINT point = PointOf(lparam);
  m_btnClose.OnMouseMove(0, &point);
  (m_bFinished ? m_btnInstall : m_btnExtra).OnMouseMove(0, &point);
  return 0;
}

LRESULT CUpdateDown::RouteLButtonDown(LPARAM lparam) {
  const POINT point = PointOf(lparam);
  m_btnExtra.OnLButtonDown(0, &point);
  m_btnClose.OnLButtonDown(0, &point);
  m_btnInstall.OnLButtonDown(0, &point);
  return 0;
}

LRESULT CUpdateDown::RouteLButtonUp(LPARAM lparam) {
  const POINT point = PointOf(lparam);
  if (m_btnClose.OnLButtonUp(0, &point, TRUE)) {
    CloseWindow();
    return 0;
  }
  // Until the checks have passed the file is unverified: the release only clears the press.
  if (m_btnInstall.OnLButtonUp(0, &point, TRUE) && ContentOf(m_view).install) Install();
  return 0;
}

LRESULT CUpdateDown::RouteMouseLeave() {
  if (!m_bTracking) return 0;
  m_bTracking = 0;
  m_btnExtra.OnMouseLeave();
  m_btnClose.OnMouseLeave();
  m_btnInstall.OnMouseLeave();
  return 0;
}

std::wstring CUpdateDown::AccessibleName() {
  return UpdateText(ContentOf(m_view).title);
}

std::vector<AccessibleElement> CUpdateDown::AccessibleElements() {
  const UpdateScene scene = Scene();
  // FOCUSED is the accessible object's to add, from AccessibleFocus.
  const auto button = [&](UINT name, const RECT& bounds, FocusTarget target, bool shown) {
    AccessibleElement e;
    e.role = ROLE_SYSTEM_PUSHBUTTON;
    e.name = UpdateText(name);
    e.defaultAction = UpdateText(IDS_UPDATE_PRESS);
    e.bounds = bounds;
    e.state = shown ? STATE_SYSTEM_FOCUSABLE : STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_UNAVAILABLE;
    if (shown && target == EnterTarget(FocusTarget::kNone, scene.install)) e.state |= STATE_SYSTEM_DEFAULT;
    return e;
  };
  std::vector<AccessibleElement> elements;
  elements.push_back(button(IDS_UPDATE_CLOSE, m_btnClose.m_rect, FocusTarget::kClose, true));
  elements.push_back(button(IDS_UPDATE_INSTALL, m_btnInstall.m_rect, FocusTarget::kInstall, scene.install));

  AccessibleElement progress;
  progress.role = ROLE_SYSTEM_PROGRESSBAR;
  progress.name = UpdateText(IDS_UPDATE_PROGRESS);
  progress.bounds = m_layout.track;
  progress.state = STATE_SYSTEM_READONLY | (scene.progress ? 0 : STATE_SYSTEM_INVISIBLE);
  if (scene.progress) progress.value = std::to_wstring(m_nPercent < 0 ? 0 : m_nPercent) + L"%";
  elements.push_back(progress);

  // The body's sentence: what the window says of the state it is in.
  const SceneText& sentence = scene.texts[1];
  AccessibleElement text;
  text.role = ROLE_SYSTEM_STATICTEXT;
  text.name = sentence.text;
  text.bounds = {sentence.box.x, sentence.box.y, sentence.box.x + sentence.box.width,
                 sentence.box.y + sentence.box.height};
  text.state = STATE_SYSTEM_READONLY;
  elements.push_back(text);
  return elements;
}

int CUpdateDown::AccessibleFocus() {
  return ChildOfTarget(KeepFocus(m_focus, ContentOf(m_view).install));
}

bool CUpdateDown::AccessibleDoDefaultAction(int child) {
  const FocusTarget target = TargetOfChild(child);
  if (target == FocusTarget::kNone) return false;
  if (target == FocusTarget::kInstall && !ContentOf(m_view).install) return false;
  PostMessageW(m_hWnd, WM_UPDATE_PRESS, static_cast<WPARAM>(target), 0);
  return true;
}

bool CUpdateDown::AccessibleTakeFocus(int child) {
  const FocusTarget target = TargetOfChild(child);
  if (target == FocusTarget::kNone && child != CHILDID_SELF) return false;
  if (target == FocusTarget::kInstall && !ContentOf(m_view).install) return false;
  ::SetFocus(m_hWnd);
  SetFocusTo(target, false);
  return true;
}
