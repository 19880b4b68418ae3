// The update window: header, progress of the installer download, and the install and close
// buttons. It reads the offer, the multipliers and the images from the global profile.
#pragma once

#include <windows.h>

#include <string>

#include "download.h"
#include "png_button.h"
#include "window_impl.h"

class CUpdateDown : public CWindowImpl<CUpdateDown, CWindow, CControlWinTraits> {
 public:
  static constexpr wchar_t kClassName[] = L"QuenvoUpdateDown";

  CUpdateDown() = default;

  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                            DWORD map_id = 0) override;

  LRESULT OnCreate();
  LRESULT OnPaint();
  LRESULT OnDownloadProgress(WPARAM wparam, LPARAM lparam);
  LRESULT OnDownloadResult(WPARAM wparam);
  LRESULT OnClose();  // ends the process

  CPngButton m_btnClose;
  CPngButton m_btnInstall;
  CPngButton m_btnExtra;  // laid out and fed the pointer, never drawn or acted upon
  int m_nPercent = 0;
  int m_bFinished = 0;
  int m_bTracking = 0;

 private:
  LRESULT RouteMouseMove(LPARAM lparam);
  LRESULT RouteLButtonDown(LPARAM lparam);
  LRESULT RouteLButtonUp(LPARAM lparam);
  LRESULT RouteMouseLeave();
  void PaintContent(HDC dc, int width, int height);
};

// The download thread's routine, started with the window object when the window is created:
// fetches the profile's offer and reports to the window. Always returns 0.
unsigned __stdcall DownLoadThreadProc(void* window);

// Ending the process and opening the installer, replaceable so the window can be tested.
struct UpdateWindowActions {
  void (*endProcess)(UINT exit_code);
  void (*openFile)(const std::wstring& path);
};
// Installs new actions and returns the previous ones.
UpdateWindowActions SetUpdateWindowActions(UpdateWindowActions actions);
