#include "png_button.h"

#include "gdiplus_include.h"

namespace {

PngButtonParentCalls g_parent = {::IsWindow, ::InvalidateRect, ::SendMessageW, ::PostMessageW};

}  // namespace

PngButtonParentCalls SetPngButtonParentCalls(PngButtonParentCalls calls) {
  const PngButtonParentCalls previous = g_parent;
  g_parent = calls;
  return previous;
}

int ChoosePngButtonFrame(int state, int normal, int pressed, int hover, int disabled) {
  if (state & PNGBTN_DISABLED) return disabled;
  if (state & PNGBTN_PRESSED) return pressed;
  if (state & PNGBTN_HOVER) return hover;
  return normal;
}

int PngButtonFrameX(int index, UINT image_width, UINT frames) {
  if (frames == 0) return 0;
  return static_cast<int>(static_cast<UINT>(index) * image_width / frames);
}

CPngButton::~CPngButton() {
  if (m_bOwnImage && m_pImage != nullptr) {
    delete m_pImage;
    m_pImage = nullptr;
  }
}

BOOL CPngButton::Attach(HWND parent, const RECT* rect, int id) {
  m_hParent = parent;
  m_rect = *rect;
  m_nID = id;
  return TRUE;
}

BOOL CPngButton::SetImage(Gdiplus::Image* image, UINT frames, BOOL three_slice) {
  // Every frame computation divides by the frame count.
  if (image == nullptr || frames == 0) return FALSE;
  m_bThreeSlice = three_slice;
  m_pImage = image;
  m_bOwnImage = 0;
  m_nFrames = static_cast<int>(frames);
  m_rect.right = m_rect.left + static_cast<LONG>(image->GetWidth() / frames);
  m_rect.bottom = m_rect.top + static_cast<LONG>(image->GetHeight());
  return TRUE;
}

BOOL CPngButton::SetFrames(int normal, int pressed, int hover, int disabled) {
  m_nFrameNormal = normal;
  m_nFramePressed = pressed == -1 ? normal : pressed;
  m_nFrameHover = hover == -1 ? normal : hover;
  m_nFrameDisabled = disabled == -1 ? normal : disabled;
  return TRUE;
}

BOOL CPngButton::Draw(Gdiplus::Graphics* graphics) {
  if (m_pImage == nullptr || !m_bVisible || m_nFrames == 0) return FALSE;
  const UINT frames = static_cast<UINT>(m_nFrames);
  const UINT image_width = m_pImage->GetWidth();
  const int index = ChoosePngButtonFrame(m_nState, m_nFrameNormal, m_nFramePressed, m_nFrameHover, m_nFrameDisabled);
  const int src_x = PngButtonFrameX(index, image_width, frames);
  // The whole frame fills the button's rectangle: one to one at the art's own scale, drawn down
  // or up from art of another scale.
  const int frame_width = static_cast<int>(image_width / frames);
  const int frame_height = static_cast<int>(m_pImage->GetHeight());
  const int w = m_rect.right - m_rect.left;
  const int h = m_rect.bottom - m_rect.top;
  const int left = m_rect.left;
  const int top = m_rect.top;

  // A failing call leaves its status in the graphics object; drawing goes on.
  if (!m_bThreeSlice) {
    graphics->DrawImage(m_pImage, Gdiplus::Rect(left, top, w, h), src_x, 0, frame_width, frame_height,
                        Gdiplus::UnitPixel);
    return TRUE;
  }
  const int cap = kPngButtonCapWidth;
  const int drawn_cap = frame_height > 0 ? MulDiv(cap, h, frame_height) : cap;  // the caps keep their proportions
  graphics->DrawImage(m_pImage, Gdiplus::Rect(left, top, drawn_cap, h), src_x, 0, cap, frame_height,
                      Gdiplus::UnitPixel);
  graphics->DrawImage(m_pImage, Gdiplus::Rect(left + drawn_cap, top, w - 2 * drawn_cap, h), src_x + cap, 0, cap,
                      frame_height, Gdiplus::UnitPixel);
  graphics->DrawImage(m_pImage, Gdiplus::Rect(left + w - drawn_cap, top, drawn_cap, h), src_x + frame_width - cap, 0,
                      cap, frame_height, Gdiplus::UnitPixel);
  return TRUE;
}

BOOL CPngButton::Reacts(const POINT* point) const {
  return !(m_nState & PNGBTN_DISABLED) && ::PtInRect(&m_rect, *point) && m_bVisible;
}

BOOL CPngButton::OnLButtonDown(UINT, const POINT* point) {
  if (!Reacts(point)) return FALSE;
  if (m_nState & PNGBTN_PRESSED) return TRUE;
  m_nState |= PNGBTN_PRESSED;
  Invalidate(FALSE);
  return TRUE;
}

BOOL CPngButton::OnLButtonUp(UINT, const POINT* point, BOOL notify) {
  if (!Reacts(point)) return FALSE;
  // A release inside counts as a hit even without a press.
  if (!(m_nState & PNGBTN_PRESSED)) return TRUE;
  m_nState &= ~PNGBTN_PRESSED;
  Invalidate(FALSE);
  if (notify && HasLiveParent()) g_parent.sendMessage(m_hParent, WM_COMMAND, static_cast<WPARAM>(m_nID), 0);
  return TRUE;
}

BOOL CPngButton::OnMouseMove(UINT, const POINT* point) {
  if ((m_nState & PNGBTN_DISABLED) || !m_bVisible) return FALSE;
  if (::PtInRect(&m_rect, *point)) {
    if (m_nState & PNGBTN_HOVER) return TRUE;
    m_nState |= PNGBTN_HOVER;
    Invalidate(FALSE);
    if (m_hParent != nullptr) g_parent.postMessage(m_hParent, WM_PNGBUTTON_HOVER, static_cast<WPARAM>(m_nID), 0);
    return TRUE;
  }
  // Leaving takes the hover look first; a pressed button loses its pressed look on the next move.
  if (m_nState & PNGBTN_HOVER) {
    m_nState &= ~PNGBTN_HOVER;
    Invalidate(FALSE);
  } else if (m_nState & PNGBTN_PRESSED) {
    m_nState &= ~(PNGBTN_PRESSED | PNGBTN_HOVER);
    Invalidate(FALSE);
  }
  return FALSE;
}

void CPngButton::OnMouseLeave() {
  if ((m_nState & PNGBTN_DISABLED) || m_nState == 0) return;
  m_nState = 0;
  Invalidate(FALSE);
}

void CPngButton::Invalidate(BOOL erase) {
  if (HasLiveParent()) g_parent.invalidateRect(m_hParent, &m_rect, erase);
}

BOOL CPngButton::HasLiveParent() const {
  return m_hParent != nullptr && g_parent.isWindow(m_hParent);
}
