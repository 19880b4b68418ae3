// The update window's keyboard: which painted button has the focus, and what a key does. Pure, so
// that the window only carries out what is decided here.
#pragma once

#include <windows.h>

// The buttons that act. The extra button is never drawn and never takes the focus.
enum class FocusTarget { kNone, kClose, kInstall };

enum class KeyAction {
  kNone,
  kFocusNext,      // Tab
  kFocusPrevious,  // Shift+Tab
  kPressFocused,   // Space
  kPressDefault,   // Enter: the focused button, else the default one
  kClose,          // Esc, as the close button does
};
KeyAction ActionForKey(UINT virtual_key, bool shift);

// Tab order: close, then install while it is shown. From no focus, Tab starts at the first and
// Shift+Tab at the last; a focus on a button that is gone counts as none.
FocusTarget MoveFocus(FocusTarget current, bool install_shown, bool backwards);
// A focus that the window's state no longer offers (install hidden) moves to none.
FocusTarget KeepFocus(FocusTarget current, bool install_shown);

// What Enter presses: the focused button, else the default, which install is while it is shown.
FocusTarget EnterTarget(FocusTarget focused, bool install_shown);
