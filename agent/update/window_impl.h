// A small window framework in the CWindowImpl style: the derived class passes itself as the
// template parameter, a static window procedure finds the object through GWLP_USERDATA, and a
// virtual ProcessWindowMessage plays the derived class's message map.
#pragma once

#include <windows.h>

// Style and extended style that Create uses when the caller passes none.
template <DWORD Style, DWORD ExStyle>
struct CWinTraits {
  static DWORD GetWndStyle(DWORD style) { return style == 0 ? Style : style; }
  static DWORD GetWndExStyle(DWORD ex_style) { return ex_style == 0 ? ExStyle : ex_style; }
};

// WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN: the default traits of a control.
using CControlWinTraits = CWinTraits<0x56000000, 0>;

// A thin wrapper of a window handle; it never owns the window.
class CWindow {
 public:
  HWND m_hWnd = nullptr;

  BOOL IsWindow() const { return ::IsWindow(m_hWnd); }
  BOOL DestroyWindow() { return ::DestroyWindow(m_hWnd); }
  BOOL Invalidate(BOOL erase = TRUE) { return ::InvalidateRect(m_hWnd, nullptr, erase); }
  BOOL GetClientRect(RECT* rect) const { return ::GetClientRect(m_hWnd, rect); }
  BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags);
  }
};

class CMessageMap {
 public:
  virtual ~CMessageMap() = default;
  // Returns TRUE when the message was handled; `result` is then the window procedure's answer.
  virtual BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                                    DWORD map_id = 0) = 0;
};

template <class T, class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CWindowImpl : public TBase, public CMessageMap {
 public:
  CWindowImpl() = default;
  CWindowImpl(const CWindowImpl&) = delete;
  CWindowImpl& operator=(const CWindowImpl&) = delete;
  virtual ~CWindowImpl() = default;

  virtual WNDPROC GetWindowProc() { return WindowProc; }
  // Called once the window is gone (after WM_NCDESTROY); m_hWnd is already null.
  virtual void OnFinalMessage(HWND) {}

  // Styles 0 take the traits' defaults.
  HWND Create(HWND parent, const RECT& rect, const wchar_t* name = nullptr, DWORD style = 0, DWORD ex_style = 0,
              HMENU menu_or_id = nullptr) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!RegisterClassOnce(instance, GetWindowProc())) return nullptr;
    return ::CreateWindowExW(TWinTraits::GetWndExStyle(ex_style), ClassName(), name, TWinTraits::GetWndStyle(style),
                             rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, parent, menu_or_id,
                             instance, static_cast<T*>(this));
  }

  static const wchar_t* ClassName() { return T::kClassName; }

 private:
  // The class is registered with the procedure of the first window made from it.
  static BOOL RegisterClassOnce(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(instance, ClassName(), &existing)) return TRUE;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = ClassName();
    return ::RegisterClassExW(&wc) != 0;
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      auto* self = static_cast<T*>(create->lpCreateParams);
      self->m_hWnd = window;
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<T*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);

    LRESULT result = 0;
    BOOL handled = FALSE;
    try {
      handled = self->ProcessWindowMessage(window, message, wparam, lparam, result, 0);
    } catch (...) {
      // No exception may cross into the system's dispatcher; the message counts as unhandled.
      handled = FALSE;
    }
    if (!handled) result = ::DefWindowProcW(window, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      self->m_hWnd = nullptr;
      self->OnFinalMessage(window);
    }
    return result;
  }
};
