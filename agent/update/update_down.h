// The update window: header, progress of the installer download, and the install and close
// buttons. It reads the offer and the images from the global profile, lays itself out by its own
// DPI, and is used by mouse, by keyboard and by screen readers.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "download.h"
#include "png_button.h"
#include "scoped_handle.h"
#include "update_accessible.h"
#include "update_focus.h"
#include "update_layout.h"
#include "update_palette.h"
#include "update_view.h"
#include "window_impl.h"

class UpdateImages;

// Posted to the window by the version query's thread: wParam is the CheckOutcome (update_view.h),
// the offer already recorded in the profile when it is kNewer.
constexpr UINT WM_UPDATE_CHECKED = WM_USER + 1023;
// Posted by a second request for an update while this window is open: come to the front.
constexpr UINT WM_UPDATE_SHOW = WM_USER + 1024;

// The accessible children, by child id.
enum UpdateChild { kChildClose = 1, kChildInstall, kChildProgress, kChildText, kChildCount = kChildText };

class CUpdateDown : public CWindowImpl<CUpdateDown, CWindow, CControlWinTraits>, public AccessibleSource {
 public:
  static constexpr wchar_t kClassName[] = L"QuenvoUpdateDown";

  CUpdateDown() = default;

  // The state the window opens in; the download thread starts at creation only for kDownloading.
  void SetFirstView(UpdateView view) { m_view = view; }
  // Where the images for each DPI come from; without it the window draws what the profile holds.
  void SetArt(const UpdateImages* art) { m_pArt = art; }
  // Opens the window for a person: a top-level window with the suite's name and icon, at the
  // scale of the monitor that the pointer is on, centred on its work area, in front and focused.
  // Once it is gone, the thread's message loop ends. False when no window could be made.
  bool OpenForPerson();
  void OnFinalMessage(HWND window) override;

  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                            DWORD map_id = 0) override;

  LRESULT OnCreate();
  LRESULT OnPaint();
  LRESULT OnDownloadProgress(WPARAM wparam, LPARAM lparam);
  LRESULT OnDownloadResult(WPARAM wparam);
  LRESULT OnClose();  // ends the process
  LRESULT OnUpdateChecked(WPARAM outcome);
  LRESULT OnDpiChanged(WPARAM wparam, const RECT* suggested);

  // What the window shows now, as the painter draws it.
  UpdateView view() const { return m_view; }
  const UpdateLayout& layout() const { return m_layout; }
  UpdateScene Scene() const;
  FocusTarget focus() const { return m_focus; }

  CPngButton m_btnClose;
  CPngButton m_btnInstall;
  CPngButton m_btnExtra;  // laid out and fed the pointer, never drawn, focused or acted upon
  int m_nPercent = 0;
  int m_bFinished = 0;
  int m_bTracking = 0;

 protected:
  // AccessibleSource: the screen reader's view of the painted window.
  std::wstring AccessibleName() override;
  std::vector<AccessibleElement> AccessibleElements() override;
  int AccessibleFocus() override;
  bool AccessibleDoDefaultAction(int child) override;
  bool AccessibleTakeFocus(int child) override;

 private:
  LRESULT RouteMouseMove(LPARAM lparam);
  LRESULT RouteLButtonDown(LPARAM lparam);
  LRESULT RouteLButtonUp(LPARAM lparam);
  LRESULT RouteMouseLeave();
  LRESULT OnKeyDown(WPARAM key, bool repeated);
  void PaintContent(HDC dc, int width, int height);

  void LayOut(int dpi);
  void SetView(UpdateView view);
  void SetFocusTo(FocusTarget target, bool by_keyboard);
  void Press(FocusTarget target);
  void Install();
  void CloseWindow();
  void StartDownload();
  void SetIcons(int dpi);

  UpdateView m_view = UpdateView::kDownloading;
  const UpdateImages* m_pArt = nullptr;
  UpdateLayout m_layout = LayOutUpdateWindow(96);
  UpdatePalette m_palette = OwnPalette();
  FocusTarget m_focus = FocusTarget::kNone;
  bool m_bDownloadStarted = false;
  bool m_bEndLoopWhenGone = false;
  bool m_bOpening = false;  // the shell is opening the installer
  quenvo::ScopedIcon m_iconSmall;
  quenvo::ScopedIcon m_iconBig;
  std::unique_ptr<UpdateAccessible> m_accessible;
};

// The download thread's routine, started with the window object when the window starts the
// download: fetches the profile's offer and reports to the window. Always returns 0.
unsigned __stdcall DownLoadThreadProc(void* window);

// Ending the process, opening the installer and discarding a download that nobody will run,
// replaceable so the window can be tested.
struct UpdateWindowActions {
  void (*endProcess)(UINT exit_code);
  // 0 once the installer has started, else the system's error (ERROR_CANCELLED: the person
  // declined the elevation prompt).
  DWORD (*openFile)(HWND owner, const std::wstring& path);
  void (*discardFile)(const std::wstring& path);
};
// Installs new actions and returns the previous ones.
UpdateWindowActions SetUpdateWindowActions(UpdateWindowActions actions);

// A text of the window's string tables, in the user's UI language.
std::wstring UpdateText(UINT id);
