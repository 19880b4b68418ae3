// A windowless push button drawn from a horizontal strip of state frames. The parent
// window forwards pointer messages and painting to it.
#pragma once

#include <windows.h>

namespace Gdiplus {
class Graphics;
class Image;
}  // namespace Gdiplus

constexpr UINT WM_PNGBUTTON_HOVER = WM_USER + 201;  // 1225, posted when the pointer enters

constexpr int PNGBTN_PRESSED = 2;
constexpr int PNGBTN_HOVER = 4;
constexpr int PNGBTN_DISABLED = 8;

// Width of the fixed end caps of a three-slice button.
constexpr int kPngButtonCapWidth = 15;

// The frame index the button draws for a state.
int ChoosePngButtonFrame(int state, int normal, int pressed, int hover, int disabled);
// Left edge of a frame in the strip: index × width ÷ frames, unsigned.
int PngButtonFrameX(int index, UINT image_width, UINT frames);

// The four window calls a button makes on its parent, replaceable so the state machine can be
// tested without a window.
struct PngButtonParentCalls {
  BOOL(WINAPI* isWindow)(HWND window);
  BOOL(WINAPI* invalidateRect)(HWND window, const RECT* rect, BOOL erase);
  LRESULT(WINAPI* sendMessage)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  BOOL(WINAPI* postMessage)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
};
// Installs new calls and returns the previous ones.
PngButtonParentCalls SetPngButtonParentCalls(PngButtonParentCalls calls);

class CPngButton {
 public:
  CPngButton() = default;
  virtual ~CPngButton();
  CPngButton(const CPngButton&) = delete;
  CPngButton& operator=(const CPngButton&) = delete;

  BOOL Attach(HWND parent, const RECT* rect, int id);
  // Refused (FALSE, nothing changed) for a null image or a frame count of 0.
  BOOL SetImage(Gdiplus::Image* image, UINT frames, BOOL three_slice);
  // -1 for pressed, hover or disabled means "the normal frame".
  BOOL SetFrames(int normal, int pressed, int hover, int disabled);
  BOOL Draw(Gdiplus::Graphics* graphics);

  BOOL OnLButtonDown(UINT flags, const POINT* point);
  BOOL OnLButtonUp(UINT flags, const POINT* point, BOOL notify);
  BOOL OnMouseMove(UINT flags, const POINT* point);
  void OnMouseLeave();

  virtual void Invalidate(BOOL erase);

  int m_nID = 0;
  RECT m_rect = {0, 0, 0, 0};
  int m_nFrames = 3;
  int m_bOwnImage = 1;
  int m_bVisible = 1;
  HWND m_hParent = nullptr;
  Gdiplus::Image* m_pImage = nullptr;
  int m_nFrameNormal = 0;
  int m_nFramePressed = 0;
  int m_nFrameHover = 0;
  int m_nFrameDisabled = 0;
  int m_nState = 0;
  int m_bThreeSlice = 0;

 private:
  BOOL Reacts(const POINT* point) const;
  BOOL HasLiveParent() const;
};
