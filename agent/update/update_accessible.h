// What a screen reader reads of the update window: the client's IAccessible, with one level of
// simple elements (child ids 1..n) that the window describes through AccessibleSource, handed
// out on WM_GETOBJECT. The window paints its buttons itself, so it owes them this by hand.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <string>
#include <vector>

#include "scoped_handle.h"

struct AccessibleElement {
  LONG role = 0;  // ROLE_SYSTEM_PUSHBUTTON, ROLE_SYSTEM_PROGRESSBAR, ROLE_SYSTEM_STATICTEXT...
  std::wstring name;
  std::wstring value;          // "" when none (a progress bar's is e.g. "50%")
  std::wstring defaultAction;  // "" when none (a button's: its verb, given by the window, in the UI language)
  DWORD state = 0;             // STATE_SYSTEM_*; FOCUSED is set by the object itself, from AccessibleFocus
  RECT bounds = {};            // client coordinates
};

// What the window tells its accessible object; called only on the window's thread.
class AccessibleSource {
 public:
  virtual std::wstring AccessibleName() = 0;                        // the client's name
  virtual std::vector<AccessibleElement> AccessibleElements() = 0;  // children 1..n, in this order
  virtual int AccessibleFocus() = 0;  // child id that has the keyboard focus, 0 = the client itself
  // Asked only for a child with a default action that is not UNAVAILABLE. Called inside a
  // client's call: an action that ends the window or the process should be posted, not done here.
  virtual bool AccessibleDoDefaultAction(int child) = 0;
  // accSelect with SELFLAG_TAKEFOCUS: asked for the client (0) or a FOCUSABLE child.
  virtual bool AccessibleTakeFocus(int child) = 0;

 protected:
  ~AccessibleSource() = default;
};

// The client's IAccessible of one window: made on the first WM_GETOBJECT, answered from then on.
class UpdateAccessible {
 public:
  UpdateAccessible(HWND window, AccessibleSource* source);
  ~UpdateAccessible();  // disconnects
  UpdateAccessible(const UpdateAccessible&) = delete;
  UpdateAccessible& operator=(const UpdateAccessible&) = delete;

  // OBJID_CLIENT answered; anything else, or a failure: 0, so the window passes it on to DefWindowProc.
  LRESULT OnGetObject(WPARAM wparam, LPARAM lparam);
  // From now on every client still holding the object gets CO_E_OBJNOTCONNECTED (a remote one
  // RPC_E_DISCONNECTED from its proxy), never a call into the source, and WM_GETOBJECT gets 0.
  // The destructor does it too; a window whose object outlives it calls it at WM_DESTROY.
  void Disconnect();

  // NotifyWinEvent for OBJID_CLIENT and a child (0: the client): EVENT_OBJECT_VALUECHANGE,
  // NAMECHANGE, FOCUS, STATECHANGE...
  static void Notify(HWND window, DWORD event, int child);

 private:
  class Client;
  HWND window_;
  AccessibleSource* source_;
  quenvo::ScopedCom<Client> client_;
};

// --- The rules, apart from COM and the window ---------------------------------------------------

// A child id of a VARIANT (VT_I4 only), or false.
bool ChildIdOf(const VARIANT& child, LONG* id);
// 0 (the client) or 1..count.
bool IsSelfOrChild(LONG id, size_t count);
// The client: focusable; focused when the window has the focus and no child does; invisible
// when the window is hidden.
DWORD ClientState(bool window_focused, int focus_child, bool window_visible);
// A child: the element's state, FOCUSED only while the window has the focus and this child is
// the focus child; invisible when the window is hidden.
DWORD ChildState(DWORD element_state, int child, bool window_focused, int focus_child, bool window_visible);
// The child under a point of the client: the first element in order, not INVISIBLE, whose
// bounds hold it; 0 (the client itself) when none does.
int HitTestElements(const std::vector<AccessibleElement>& elements, POINT client_point);
// accNavigate among `count` children from `start` (0: the client): S_OK and the child reached,
// S_FALSE and 0 when there is none that way, DISP_E_MEMBERNOTFOUND for a way this object does
// not know (spatial, or the client's own siblings), E_INVALIDARG for no direction at all.
struct NavigationStep {
  HRESULT result;
  LONG child;
};
NavigationStep NavigateChildren(LONG direction, LONG start, size_t count);
// accDoDefaultAction reaches the source only for an element that has an action and is available.
bool HasDefaultAction(const AccessibleElement& element);
