#include "update_accessible.h"

#include <new>
#include <utility>

namespace {

// oleacc.dll's two calls the object needs. Most agent starts open no window, so the library is
// loaded on the first WM_GETOBJECT instead of being imported.
struct OleaccCalls {
  LRESULT(WINAPI* lresultFromObject)(REFIID iid, WPARAM wparam, LPUNKNOWN object);
  HRESULT(WINAPI* createStdAccessibleObject)(HWND window, LONG object_id, REFIID iid, void** out);
};

template <typename Fn>
Fn Export(HMODULE library, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

// From the system folder by its full path, so that no oleacc.dll beside the program or in the
// current folder is loaded. Kept until the process ends: clients may hold what went through it.
OleaccCalls LoadOleacc(quenvo::ScopedLibrary& library) {
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  library.Reset(::LoadLibraryExW((std::wstring(folder, length) + L"\\oleacc.dll").c_str(), /*file*/ nullptr,
                                 LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!library) return {};
  OleaccCalls calls = {Export<decltype(calls.lresultFromObject)>(library.Get(), "LresultFromObject"),
                       Export<decltype(calls.createStdAccessibleObject)>(library.Get(), "CreateStdAccessibleObject")};
  if (calls.lresultFromObject == nullptr || calls.createStdAccessibleObject == nullptr) return {};
  return calls;
}

// Null calls when oleacc.dll could not be loaded; loaded once per process.
const OleaccCalls& Oleacc() {
  static quenvo::ScopedLibrary library;
  static const OleaccCalls calls = LoadOleacc(library);
  return calls;
}

// No exception may cross a COM method.
template <typename Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// A text property: S_FALSE and no string when there is none.
HRESULT TextResult(const std::wstring& text, BSTR* out) {
  if (text.empty()) return S_FALSE;
  *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT IntegerOut(LONG value, VARIANT* out) {
  out->vt = VT_I4;
  out->lVal = value;
  return S_OK;
}

}  // namespace

bool ChildIdOf(const VARIANT& child, LONG* id) {
  if (child.vt != VT_I4) return false;
  *id = child.lVal;
  return true;
}

bool IsSelfOrChild(LONG id, size_t count) {
  return id >= 0 && static_cast<size_t>(id) <= count;
}

DWORD ClientState(bool window_focused, int focus_child, bool window_visible) {
  DWORD state = STATE_SYSTEM_FOCUSABLE;
  if (window_focused && focus_child == CHILDID_SELF) state |= STATE_SYSTEM_FOCUSED;
  if (!window_visible) state |= STATE_SYSTEM_INVISIBLE;
  return state;
}

DWORD ChildState(DWORD element_state, int child, bool window_focused, int focus_child, bool window_visible) {
  DWORD state = element_state & ~STATE_SYSTEM_FOCUSED;
  if (window_focused && focus_child == child) state |= STATE_SYSTEM_FOCUSED;
  if (!window_visible) state |= STATE_SYSTEM_INVISIBLE;
  return state;
}

int HitTestElements(const std::vector<AccessibleElement>& elements, POINT client_point) {
  for (size_t i = 0; i < elements.size(); ++i) {
    if (elements[i].state & STATE_SYSTEM_INVISIBLE) continue;
    if (::PtInRect(&elements[i].bounds, client_point)) return static_cast<int>(i + 1);
  }
  return CHILDID_SELF;
}

NavigationStep NavigateChildren(LONG direction, LONG start, size_t count) {
  const LONG last = static_cast<LONG>(count);
  const NavigationStep none = {S_FALSE, 0};
  switch (direction) {
    case NAVDIR_FIRSTCHILD:
    case NAVDIR_LASTCHILD:
      // Simple elements have no children of their own.
      if (start != CHILDID_SELF || count == 0) return none;
      return {S_OK, direction == NAVDIR_FIRSTCHILD ? 1 : last};
    case NAVDIR_NEXT:
    case NAVDIR_PREVIOUS: {
      if (start == CHILDID_SELF) return {DISP_E_MEMBERNOTFOUND, 0};  // the parent knows the client's siblings
      const LONG to = direction == NAVDIR_NEXT ? start + 1 : start - 1;
      return to >= 1 && to <= last ? NavigationStep{S_OK, to} : none;
    }
    case NAVDIR_UP:
    case NAVDIR_DOWN:
    case NAVDIR_LEFT:
    case NAVDIR_RIGHT: return {DISP_E_MEMBERNOTFOUND, 0};
    default: return {E_INVALIDARG, 0};
  }
}

bool HasDefaultAction(const AccessibleElement& element) {
  return !element.defaultAction.empty() && !(element.state & STATE_SYSTEM_UNAVAILABLE);
}

// The COM object. It holds the window and the source only until it is detached; from then on
// every method answers CO_E_OBJNOTCONNECTED, as it does once the window is gone.
class UpdateAccessible::Client final : public IAccessible, public IOleWindow {
 public:
  Client(HWND window, AccessibleSource* source) : window_(window), source_(source) {}
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  void Detach() {
    window_ = nullptr;
    source_ = nullptr;
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
      *out = static_cast<IAccessible*>(this);
    } else if (iid == __uuidof(IOleWindow)) {
      *out = static_cast<IOleWindow*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = ::InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IDispatch: clients call IAccessible directly; none of them needs a type library.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // IOleWindow: how WindowFromAccessibleObject finds the window.
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = nullptr;
    if (!Live()) return CO_E_OBJNOTCONNECTED;
    *window = window_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    if (parent == nullptr) return E_POINTER;
    *parent = nullptr;
    if (!Live()) return CO_E_OBJNOTCONNECTED;
    const OleaccCalls& oleacc = Oleacc();
    if (oleacc.createStdAccessibleObject == nullptr) return E_FAIL;
    quenvo::ScopedCom<IAccessible> window_object;
    const HRESULT hr = oleacc.createStdAccessibleObject(window_, OBJID_WINDOW, __uuidof(IAccessible),
                                                        reinterpret_cast<void**>(window_object.Receive()));
    if (FAILED(hr)) return hr;
    *parent = window_object.Take();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return Guarded([&] {
      if (!Live()) return CO_E_OBJNOTCONNECTED;
      *count = static_cast<long>(source_->AccessibleElements().size());
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    // Simple elements are no objects of their own: the client answers for them.
    return Resolve(child,
                   [](LONG id, const AccessibleElement*) { return id == CHILDID_SELF ? E_INVALIDARG : S_FALSE; });
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (name == nullptr) return E_POINTER;
    *name = nullptr;
    return Resolve(child, [&](LONG, const AccessibleElement* element) {
      return TextResult(element != nullptr ? element->name : source_->AccessibleName(), name);
    });
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    if (value == nullptr) return E_POINTER;
    *value = nullptr;
    return Resolve(child, [&](LONG, const AccessibleElement* element) {
      return element != nullptr ? TextResult(element->value, value) : S_FALSE;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override { return NoText(child, text); }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override { return NoText(child, text); }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override { return NoText(child, text); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    if (file == nullptr || topic == nullptr) return E_POINTER;
    *topic = -1;
    return NoText(child, file);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (role == nullptr) return E_POINTER;
    ::VariantInit(role);
    return Resolve(child, [&](LONG, const AccessibleElement* element) {
      return IntegerOut(element != nullptr ? element->role : ROLE_SYSTEM_CLIENT, role);
    });
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (state == nullptr) return E_POINTER;
    ::VariantInit(state);
    return Resolve(child, [&](LONG id, const AccessibleElement* element) {
      const bool focused = ::GetFocus() == window_;
      const bool visible = ::IsWindowVisible(window_) != FALSE;
      const int focus = source_->AccessibleFocus();
      const DWORD value = element != nullptr ? ChildState(element->state, id, focused, focus, visible)
                                             : ClientState(focused, focus, visible);
      return IntegerOut(static_cast<LONG>(value), state);
    });
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    if (focus == nullptr) return E_POINTER;
    ::VariantInit(focus);
    return Guarded([&] {
      if (!Live()) return CO_E_OBJNOTCONNECTED;
      if (::GetFocus() != window_) return S_FALSE;  // VT_EMPTY: neither the client nor a child has it
      const LONG child = source_->AccessibleFocus();
      return IntegerOut(IsSelfOrChild(child, source_->AccessibleElements().size()) ? child : CHILDID_SELF, focus);
    });
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    if (selection == nullptr) return E_POINTER;
    ::VariantInit(selection);
    return Live() ? S_FALSE : CO_E_OBJNOTCONNECTED;  // nothing here can be selected
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    if (action == nullptr) return E_POINTER;
    *action = nullptr;
    return Resolve(child, [&](LONG, const AccessibleElement* element) {
      return element != nullptr ? TextResult(element->defaultAction, action) : S_FALSE;
    });
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
    return Resolve(child, [&](LONG id, const AccessibleElement* element) {
      if (flags & ~SELFLAG_VALID) return E_INVALIDARG;
      if (flags != SELFLAG_TAKEFOCUS) return DISP_E_MEMBERNOTFOUND;
      if (element != nullptr && !(element->state & STATE_SYSTEM_FOCUSABLE)) return DISP_E_MEMBERNOTFOUND;
      return CallSource([&] { return source_->AccessibleTakeFocus(id); });
    });
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
    if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
    *left = *top = *width = *height = 0;
    return Resolve(child, [&](LONG, const AccessibleElement* element) {
      RECT bounds = {};
      if (element != nullptr) {
        bounds = element->bounds;
      } else if (!::GetClientRect(window_, &bounds)) {
        return E_FAIL;
      }
      POINT origin = {0, 0};
      if (!::ClientToScreen(window_, &origin)) return E_FAIL;
      *left = bounds.left + origin.x;
      *top = bounds.top + origin.y;
      *width = bounds.right - bounds.left;
      *height = bounds.bottom - bounds.top;
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    if (end == nullptr) return E_POINTER;
    ::VariantInit(end);
    return Resolve(start, [&](LONG id, const AccessibleElement*) {
      const NavigationStep step = NavigateChildren(direction, id, source_->AccessibleElements().size());
      return step.result == S_OK ? IntegerOut(step.child, end) : step.result;
    });
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* out) override {
    if (out == nullptr) return E_POINTER;
    ::VariantInit(out);
    return Guarded([&] {
      if (!Live()) return CO_E_OBJNOTCONNECTED;
      POINT point = {x, y};
      RECT client = {};
      if (!::ScreenToClient(window_, &point) || !::GetClientRect(window_, &client)) return E_FAIL;
      if (!::PtInRect(&client, point)) return S_FALSE;  // VT_EMPTY: outside this object
      return IntegerOut(HitTestElements(source_->AccessibleElements(), point), out);
    });
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return Resolve(child, [&](LONG id, const AccessibleElement* element) {
      if (element == nullptr || !HasDefaultAction(*element)) return DISP_E_MEMBERNOTFOUND;
      return CallSource([&] { return source_->AccessibleDoDefaultAction(id); });
    });
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override {
    return Live() ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
  }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override {
    return Live() ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
  }

 private:
  ~Client() = default;

  bool Live() const { return source_ != nullptr && ::IsWindow(window_); }

  // Checks the object and the child id, then runs body(id, element), with no element for the client.
  template <typename Body>
  HRESULT Resolve(const VARIANT& child, Body&& body) {
    return Guarded([&] {
      if (!Live()) return CO_E_OBJNOTCONNECTED;
      LONG id = 0;
      if (!ChildIdOf(child, &id)) return E_INVALIDARG;
      const std::vector<AccessibleElement> elements = source_->AccessibleElements();
      if (!IsSelfOrChild(id, elements.size())) return E_INVALIDARG;
      return body(id, id == CHILDID_SELF ? nullptr : &elements[static_cast<size_t>(id) - 1]);
    });
  }

  // The source may destroy the window, and so detach this object, before it returns: a
  // reference of our own keeps the object alive to the end of the call.
  template <typename Call>
  HRESULT CallSource(Call&& call) {
    AddRef();
    const quenvo::ScopedCom<Client> self(this);
    return call() ? S_OK : E_FAIL;
  }

  HRESULT NoText(const VARIANT& child, BSTR* text) {
    if (text == nullptr) return E_POINTER;
    *text = nullptr;
    return Resolve(child, [](LONG, const AccessibleElement*) { return S_FALSE; });
  }

  LONG references_ = 1;
  HWND window_;
  AccessibleSource* source_;
};

UpdateAccessible::UpdateAccessible(HWND window, AccessibleSource* source) : window_(window), source_(source) {}

UpdateAccessible::~UpdateAccessible() {
  Disconnect();
}

LRESULT UpdateAccessible::OnGetObject(WPARAM wparam, LPARAM lparam) {
  // The id is a 32-bit value: on 64-bit systems lParam's upper half may be zero rather than the
  // id's sign (Wine's AccessibleObjectFromWindow sends it so), so it is compared as a DWORD.
  if (static_cast<DWORD>(lparam) != static_cast<DWORD>(OBJID_CLIENT) || source_ == nullptr) return 0;
  const OleaccCalls& oleacc = Oleacc();
  if (oleacc.lresultFromObject == nullptr) return 0;
  if (!client_) client_.Reset(new (std::nothrow) Client(window_, source_));
  if (!client_) return 0;
  // Marshalled afresh for every request, as the client unmarshals what it is handed once.
  const LRESULT result =
      oleacc.lresultFromObject(__uuidof(IAccessible), wparam, static_cast<IAccessible*>(client_.Get()));
  return result > 0 ? result : 0;  // a failure is an HRESULT; the default object is better than none
}

void UpdateAccessible::Disconnect() {
  source_ = nullptr;
  if (!client_) return;
  client_.Get()->Detach();
  // Remote clients' stubs let go of the object; their proxies then fail without calling here.
  ::CoDisconnectObject(static_cast<IAccessible*>(client_.Get()), 0);
  client_.Close();
}

void UpdateAccessible::Notify(HWND window, DWORD event, int child) {
  ::NotifyWinEvent(event, window, OBJID_CLIENT, child);
}
