// A small top-level window of painted parts that answers WM_GETOBJECT with UpdateAccessible, for
// the unit test (read in-process) and accessible_window.exe (read from another process).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "update_accessible.h"

constexpr UINT WM_SAMPLE_ACTION = WM_APP + 1;  // a default action, done after the client's call returned

class AccessibleSample final : public AccessibleSource {
 public:
  static constexpr wchar_t kClassName[] = L"QuenvoAccessibleSample";
  static constexpr int kInstall = 1, kClose = 2, kProgress = 3, kText = 4, kHidden = 5, kRetry = 6;

  // A 300 × 200 popup at (x, y): its client is the whole window.
  HWND Open(int x, int y, bool visible) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);  // fails harmlessly once registered
    return CreateWindowExW(0, kClassName, L"sample", WS_POPUP | (visible ? WS_VISIBLE : 0), x, y, 300, 200, nullptr,
                           nullptr, wc.hInstance, this);
  }
  HWND window() const { return window_; }
  UpdateAccessible* accessible() const { return accessible_.get(); }

  std::wstring AccessibleName() override { return ++calls, L"Update"; }
  std::vector<AccessibleElement> AccessibleElements() override {
    ++calls;
    const DWORD button = STATE_SYSTEM_FOCUSABLE;
    return {{ROLE_SYSTEM_PUSHBUTTON, L"Install", L"", L"Press", button | STATE_SYSTEM_DEFAULT, {20, 150, 120, 180}},
            {ROLE_SYSTEM_PUSHBUTTON, L"Close", L"", L"Press", button, {270, 5, 295, 30}},
            {ROLE_SYSTEM_PROGRESSBAR,
             L"Download",
             std::to_wstring(percent) + L"%",
             L"",
             STATE_SYSTEM_READONLY,
             {20, 100, 280, 120}},
            {ROLE_SYSTEM_STATICTEXT, L"Downloading the update", L"", L"", STATE_SYSTEM_READONLY, {20, 60, 280, 90}},
            {ROLE_SYSTEM_PUSHBUTTON, L"Hidden", L"", L"Press", STATE_SYSTEM_INVISIBLE, {200, 40, 260, 55}},
            {ROLE_SYSTEM_PUSHBUTTON, L"Retry", L"", L"Press", STATE_SYSTEM_UNAVAILABLE, {140, 150, 240, 180}}};
  }
  int AccessibleFocus() override { return ++calls, focus; }
  bool AccessibleDoDefaultAction(int child) override {
    actions.push_back(child);
    return PostMessageW(window_, WM_SAMPLE_ACTION, static_cast<WPARAM>(child), 0) != FALSE;
  }
  bool AccessibleTakeFocus(int child) override {
    SetFocus(window_);
    focus = child;
    UpdateAccessible::Notify(window_, EVENT_OBJECT_FOCUS, child);
    return true;
  }

  int calls = 0;             // every call of the source's queries
  std::vector<int> actions;  // the children whose default action reached the source
  int focus = 0;
  int percent = 50;
  bool disconnectOnDestroy = true;  // else the object outlives the window until the sample ends

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      auto* self = static_cast<AccessibleSample*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
      self->window_ = window;
      self->accessible_ = std::make_unique<UpdateAccessible>(window, self);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<AccessibleSample*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    switch (message) {
      case WM_GETOBJECT:
        if (const LRESULT object = self->accessible_->OnGetObject(wparam, lparam)) return object;
        break;
      case WM_SAMPLE_ACTION:  // Install moves the progress, Close ends the window
        if (wparam == kInstall)
          self->percent = 60, UpdateAccessible::Notify(window, EVENT_OBJECT_VALUECHANGE, kProgress);
        if (wparam == kClose) DestroyWindow(window);
        return 0;
      case WM_DESTROY:
        if (self->disconnectOnDestroy) self->accessible_->Disconnect();
        break;
      case WM_NCDESTROY: SetWindowLongPtrW(window, GWLP_USERDATA, 0); break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

  HWND window_ = nullptr;
  std::unique_ptr<UpdateAccessible> accessible_;
};
