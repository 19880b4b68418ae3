#include "update_down.h"

#include <commctrl.h>
#include <process.h>
#include <shellapi.h>

#include "client_profile.h"
#include "gdiplus_include.h"
#include "installer_check.h"
#include "scoped_handle.h"
#include "scoped_select.h"
#include "text_drawing.h"
#include "update_layout.h"
#include "update_texts.h"

namespace {

void EndProcessNow(UINT exit_code) {
  ::ExitProcess(exit_code);
}

void OpenWithShell(const std::wstring& path) {
  // The process ends right after, whether or not the installer started.
  ::ShellExecuteW(/*owner*/ nullptr, L"open", path.c_str(), /*parameters*/ nullptr, /*directory*/ nullptr,
                  SW_SHOWDEFAULT);
}

UpdateWindowActions g_actions = {EndProcessNow, OpenWithShell};

const Gdiplus::Color kHeaderColour(255, 229, 207, 162);
const Gdiplus::Color kTextColour(255, 136, 136, 137);
const Gdiplus::Color kTitleColour(255, 255, 255, 255);

POINT PointOf(LPARAM lparam) {
  // Two unsigned 16-bit halves: x low, y high.
  return {static_cast<LONG>(LOWORD(lparam)), static_cast<LONG>(HIWORD(lparam))};
}

UINT WidthOf(Gdiplus::Image* image) {
  return image != nullptr ? image->GetWidth() : 0;
}

UINT HeightOf(Gdiplus::Image* image) {
  return image != nullptr ? image->GetHeight() : 0;
}

// A missing image is skipped: nothing in the program guarantees the images are there.
void DrawImageAt(Gdiplus::Graphics& graphics, Gdiplus::Image* image, int x, int y) {
  if (image == nullptr) return;
  graphics.DrawImage(image, x, y, static_cast<INT>(image->GetWidth()), static_cast<INT>(image->GetHeight()));
}

void DrawFill(Gdiplus::Graphics& graphics, Gdiplus::Image* image, const LayoutBox& box) {
  if (image == nullptr) return;
  graphics.DrawImage(image, Gdiplus::Rect(box.x, box.y, box.width, box.height), 0, 0,
                     static_cast<INT>(image->GetWidth()) - 1, static_cast<INT>(image->GetHeight()), Gdiplus::UnitPixel);
}

void DrawTitle(Gdiplus::Graphics& graphics, const wchar_t* title, int sx, int sy) {
  Gdiplus::StringFormat format;
  format.SetTrimming(Gdiplus::StringTrimmingEllipsisWord);
  format.SetAlignment(Gdiplus::StringAlignmentNear);
  format.SetLineAlignment(Gdiplus::StringAlignmentNear);
  const auto font = MakeFontOrFallback(kYaHeiFamily, TitleFontPoints(sy), Gdiplus::FontStyleRegular);
  if (!font) return;
  const Gdiplus::SolidBrush brush(kTitleColour);
  const LayoutBox box = TitleBox(sx, sy);
  graphics.DrawString(title, -1, font.get(),
                      Gdiplus::RectF(static_cast<Gdiplus::REAL>(box.x), static_cast<Gdiplus::REAL>(box.y),
                                     static_cast<Gdiplus::REAL>(box.width), static_cast<Gdiplus::REAL>(box.height)),
                      &format, &brush);
}

void DrawLabel(Gdiplus::Graphics& graphics, const wchar_t* text, const wchar_t* family, float points,
               const LayoutBox& box) {
  DrawTextAt(&graphics, text, family, points, box.x, box.y, box.width, box.height, kTextColour,
             Gdiplus::StringAlignmentNear, Gdiplus::StringAlignmentCenter, FALSE, FALSE, FALSE);
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

}  // namespace

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
    default: return FALSE;
  }
}

LRESULT CUpdateDown::OnCreate() {
  SetWindowPos(HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  RECT client = {};
  GetClientRect(&client);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  const int sx = g_profile.scaleX;
  const int sy = g_profile.scaleY;

  // SetImage resizes each rectangle to one frame; the given size stays only without an image.
  RECT rect = CloseButtonRect(width, sx, sy);
  m_btnClose.Attach(m_hWnd, &rect, 0);
  m_btnClose.SetImage(g_profile.closeButtonImage, 3, FALSE);
  m_btnClose.SetFrames(0, 2, 1, -1);

  rect = ExtraButtonRect(width, sx, sy);
  m_btnExtra.Attach(m_hWnd, &rect, 0);
  m_btnExtra.SetImage(g_profile.extraButtonImage, 3, FALSE);
  m_btnExtra.SetFrames(0, 2, 1, -1);

  Gdiplus::Image* install = g_profile.installButtonImage;
  rect = InstallButtonRect(width, height, sx, sy, WidthOf(install), HeightOf(install));
  m_btnInstall.Attach(m_hWnd, &rect, 0);
  m_btnInstall.SetImage(install, 3, FALSE);
  m_btnInstall.SetFrames(0, 2, 1, -1);

  const uintptr_t thread = _beginthreadex(/*security*/ nullptr, /*stack*/ 0, DownLoadThreadProc, this, 0, nullptr);
  if (thread != 0) ::CloseHandle(reinterpret_cast<HANDLE>(thread));
  return 0;
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
  const RECT client = {0, 0, width, height};
  ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));

  Gdiplus::Graphics graphics(dc);
  const Gdiplus::Pen border(kHeaderColour, 1.0f);
  graphics.DrawRectangle(&border, 0, 0, width - 1, height - 1);
  const Gdiplus::SolidBrush header(kHeaderColour);
  graphics.FillRectangle(&header, 0, 0, width, kHeaderHeight);
  DrawImageAt(graphics, g_profile.logoImage, 8, 10);

  const int sx = g_profile.scaleX;
  const int sy = g_profile.scaleY;
  m_btnClose.Draw(&graphics);

  if (m_bFinished) {
    DrawTitle(graphics, kTitleFinished, sx, sy);
    DrawLabel(graphics, kFinishedText, kYaHeiFamily, 10.0f, FinishedTextBox(sx, sy));
    m_btnInstall.Draw(&graphics);
    return;
  }
  DrawTitle(graphics, kTitleDownloading, sx, sy);
  if (m_nPercent == -1) return;

  DrawImageAt(graphics, g_profile.downloadingImage, 58, 70);
  DrawLabel(graphics, kDownloadingText, kYaHeiFamily, 9.0f, DownloadingTextBox(sx, sy));
  const POINT track = TrackOrigin(sx, sy);
  DrawImageAt(graphics, g_profile.trackImage, track.x, track.y);
  DrawFill(graphics, g_profile.fillImage, ProgressFillBox(m_nPercent, sx, sy));
  const PercentLabel label = PercentLabelFor(m_nPercent, sx, sy);
  DrawLabel(graphics, label.text.c_str(), label.family, 9.0f, label.box);
}

LRESULT CUpdateDown::OnDownloadProgress(WPARAM wparam, LPARAM lparam) {
  if (wparam == kDownloadAdvanced) {
    m_nPercent = static_cast<int>(lparam);
  } else if (wparam == kDownloadEnded && lparam == kEndedStored) {
    SetWindowPos(HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  } else if (wparam == kDownloadEnded) {
    m_nPercent = -1;
  }
  Invalidate(TRUE);
  return 0;
}

LRESULT CUpdateDown::OnDownloadResult(WPARAM wparam) {
  if (wparam == kStoredIsOffered) {
    m_bFinished = 1;
    Invalidate(TRUE);
  } else {
    DestroyWindow();
  }
  return 1;
}

LRESULT CUpdateDown::OnClose() {
  g_actions.endProcess(0);
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
    g_actions.endProcess(0);
    return 0;
  }
  // Before the check has passed the file is unverified: the release only clears the press.
  const BOOL install_hit = m_btnInstall.OnLButtonUp(0, &point, TRUE);
  if (install_hit && m_bFinished) {
    // The file opened must be the file that was checked, so it is checked again right before.
    if (IsOfferedInstaller(g_profile.updateFilePath, g_profile.updateSize))
      g_actions.openFile(g_profile.updateFilePath);
    g_actions.endProcess(0);
  }
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
