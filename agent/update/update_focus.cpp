#include "update_focus.h"

KeyAction ActionForKey(UINT virtual_key, bool shift) {
  switch (virtual_key) {
    case VK_TAB: return shift ? KeyAction::kFocusPrevious : KeyAction::kFocusNext;
    case VK_SPACE: return KeyAction::kPressFocused;
    case VK_RETURN: return KeyAction::kPressDefault;
    case VK_ESCAPE: return KeyAction::kClose;
    default: return KeyAction::kNone;
  }
}

FocusTarget KeepFocus(FocusTarget current, bool install_shown) {
  return current == FocusTarget::kInstall && !install_shown ? FocusTarget::kNone : current;
}

FocusTarget MoveFocus(FocusTarget current, bool install_shown, bool backwards) {
  current = KeepFocus(current, install_shown);
  if (!install_shown) return FocusTarget::kClose;  // the one button that acts
  if (current == FocusTarget::kNone) return backwards ? FocusTarget::kInstall : FocusTarget::kClose;
  return current == FocusTarget::kClose ? FocusTarget::kInstall : FocusTarget::kClose;
}

FocusTarget EnterTarget(FocusTarget focused, bool install_shown) {
  focused = KeepFocus(focused, install_shown);
  if (focused != FocusTarget::kNone) return focused;
  return install_shown ? FocusTarget::kInstall : FocusTarget::kNone;
}
