#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "../support/accessible_sample.h"
#include "scoped_handle.h"

namespace {

using ScopedBstr = quenvo::ScopedHandle<quenvo::NullIsInvalidTraits<BSTR, void, ::SysFreeString>>;
using Sample = AccessibleSample;
constexpr DWORD kFocusable = STATE_SYSTEM_FOCUSABLE, kFocused = STATE_SYSTEM_FOCUSED, kHidden = STATE_SYSTEM_INVISIBLE;

VARIANT Child(LONG id, VARTYPE type = VT_I4) {
  VARIANT v = {};
  v.vt = type;
  v.lVal = id;
  return v;
}

TEST(AccessibleRulesTest, NavigationAmongChildren) {
  // A simple element has no children; the client's siblings are its parent's to tell.
  const std::tuple<LONG, LONG, size_t, HRESULT, LONG> rows[] = {{NAVDIR_FIRSTCHILD, 0, 3, S_OK, 1},
                                                                {NAVDIR_LASTCHILD, 0, 3, S_OK, 3},
                                                                {NAVDIR_FIRSTCHILD, 0, 0, S_FALSE, 0},
                                                                {NAVDIR_LASTCHILD, 2, 3, S_FALSE, 0},
                                                                {NAVDIR_NEXT, 1, 3, S_OK, 2},
                                                                {NAVDIR_NEXT, 3, 3, S_FALSE, 0},
                                                                {NAVDIR_PREVIOUS, 2, 3, S_OK, 1},
                                                                {NAVDIR_PREVIOUS, 1, 3, S_FALSE, 0},
                                                                {NAVDIR_NEXT, 0, 3, DISP_E_MEMBERNOTFOUND, 0},
                                                                {NAVDIR_LEFT, 2, 3, DISP_E_MEMBERNOTFOUND, 0},
                                                                {NAVDIR_MIN, 1, 3, E_INVALIDARG, 0},
                                                                {NAVDIR_MAX, 1, 3, E_INVALIDARG, 0}};
  for (const auto& [direction, start, count, result, child] : rows) {
    const NavigationStep step = NavigateChildren(direction, start, count);
    EXPECT_EQ(std::tuple(step.result, step.child), std::tuple(result, child)) << direction << " from " << start;
  }
}

TEST(AccessibleRulesTest, StatesIdsActionsAndHitTest) {
  EXPECT_EQ(ClientState(true, 0, true), kFocusable | kFocused);
  EXPECT_EQ(ClientState(true, 2, true), kFocusable);  // a child has it
  EXPECT_EQ(ClientState(false, 0, false), kFocusable | STATE_SYSTEM_INVISIBLE);
  EXPECT_EQ(ChildState(kFocusable | kFocused, 2, false, 2, true), kFocusable);  // the window lost it
  EXPECT_EQ(ChildState(kFocusable, 2, true, 2, true), kFocusable | kFocused);
  EXPECT_EQ(ChildState(kFocusable, 1, true, 2, false), kFocusable | STATE_SYSTEM_INVISIBLE);
  EXPECT_EQ(std::vector<bool>({IsSelfOrChild(-1, 3), IsSelfOrChild(0, 3), IsSelfOrChild(3, 3), IsSelfOrChild(4, 3)}),
            std::vector<bool>({false, true, true, false}));
  LONG id = 0;
  EXPECT_TRUE(ChildIdOf(Child(4), &id) && id == 4);
  EXPECT_FALSE(ChildIdOf(Child(4, VT_I2), &id));
  Sample sample;
  const std::vector<AccessibleElement> elements = sample.AccessibleElements();
  EXPECT_EQ(
      std::vector<bool>({HasDefaultAction(elements[0]), HasDefaultAction(elements[2]), HasDefaultAction(elements[5])}),
      std::vector<bool>({true, false, false}));  // unavailable: no action
  // Right and bottom edges are outside; the hidden element (at 210, 45) is skipped.
  const std::tuple<POINT, int> hits[] = {
      {{20, 150}, Sample::kInstall},  {{119, 179}, Sample::kInstall}, {{120, 160}, 0}, {{294, 5}, Sample::kClose},
      {{30, 110}, Sample::kProgress}, {{150, 160}, Sample::kRetry},   {{210, 45}, 0}};
  for (const auto& [point, child] : hits)
    EXPECT_EQ(HitTestElements(elements, point), child) << point.x << "," << point.y;
}

// The sample window at (100, 120), read in-process through AccessibleObjectFromWindow. It stays
// hidden (so every state has INVISIBLE): under Xvfb, Wine waits 2 s to take a shown window down.
class AccessibleWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    ASSERT_NE(sample_.Open(100, 120, /*visible*/ false), nullptr);
    SetFocus(sample_.window());
    ASSERT_EQ(AccessibleObjectFromWindow(sample_.window(), OBJID_CLIENT, __uuidof(IAccessible),
                                         reinterpret_cast<void**>(object_.Receive())),
              S_OK);
  }
  void TearDown() override {
    object_.Close();
    if (IsWindow(sample_.window())) DestroyWindow(sample_.window());
    CoUninitialize();
  }
  static void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  using TextGetter = HRESULT (STDMETHODCALLTYPE IAccessible::*)(VARIANT, BSTR*);
  std::wstring Text(TextGetter get, LONG child) {
    ScopedBstr text;
    const HRESULT hr = (object_.Get()->*get)(Child(child), text.Receive());
    EXPECT_EQ(hr, text ? S_OK : S_FALSE) << child;
    return text ? std::wstring(text.Get()) : L"-";
  }
  LONG Integer(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), LONG child) {
    VARIANT out;
    EXPECT_EQ((object_.Get()->*get)(Child(child), &out), S_OK);
    return out.vt == VT_I4 ? out.lVal : -1;
  }
  std::tuple<HRESULT, VARTYPE, LONG> Focus() {
    VARIANT out;
    const HRESULT hr = object_.Get()->get_accFocus(&out);
    return {hr, out.vt, out.lVal};
  }

  Sample sample_;
  quenvo::ScopedCom<IAccessible> object_;
};

TEST_F(AccessibleWindowTest, ReadsClientAndChildrenWithScreenLocations) {
  long count = 0;
  EXPECT_EQ(object_.Get()->get_accChildCount(&count), S_OK);
  ASSERT_EQ(count, 6);
  // Role, name, value, default action ("-": none), state (as shown: the window is hidden), location.
  using Row = std::tuple<LONG, std::wstring, std::wstring, std::wstring, LONG, std::array<long, 4>>;
  const Row rows[] = {
      {ROLE_SYSTEM_CLIENT, L"Update", L"-", L"-", kFocusable | kFocused, {100, 120, 300, 200}},
      {ROLE_SYSTEM_PUSHBUTTON, L"Install", L"-", L"Press", kFocusable | STATE_SYSTEM_DEFAULT, {120, 270, 100, 30}},
      {ROLE_SYSTEM_PUSHBUTTON, L"Close", L"-", L"Press", kFocusable, {370, 125, 25, 25}},
      {ROLE_SYSTEM_PROGRESSBAR, L"Download", L"50%", L"-", STATE_SYSTEM_READONLY, {120, 220, 260, 20}},
      {ROLE_SYSTEM_STATICTEXT, L"Downloading the update", L"-", L"-", STATE_SYSTEM_READONLY, {120, 180, 260, 30}},
      {ROLE_SYSTEM_PUSHBUTTON, L"Hidden", L"-", L"Press", kHidden, {300, 160, 60, 15}},
      {ROLE_SYSTEM_PUSHBUTTON, L"Retry", L"-", L"Press", STATE_SYSTEM_UNAVAILABLE, {240, 270, 100, 30}}};
  for (LONG child = 0; child <= count; ++child) {
    std::array<long, 4> at = {};
    EXPECT_EQ(object_.Get()->accLocation(&at[0], &at[1], &at[2], &at[3], Child(child)), S_OK);
    Row expected = rows[child];
    std::get<4>(expected) |= kHidden;
    EXPECT_EQ(Row(Integer(&IAccessible::get_accRole, child), Text(&IAccessible::get_accName, child),
                  Text(&IAccessible::get_accValue, child), Text(&IAccessible::get_accDefaultAction, child),
                  Integer(&IAccessible::get_accState, child), at),
              expected)
        << child;
  }
  ScopedBstr none;
  IDispatch* element = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(object_.Get()->get_accChild(Child(1), &element), S_FALSE);  // simple elements: the client answers
  EXPECT_EQ(element, nullptr);
  EXPECT_EQ(object_.Get()->get_accDescription(Child(1), none.Receive()), S_FALSE);
  quenvo::ScopedCom<IDispatch> parent;
  ASSERT_EQ(object_.Get()->get_accParent(parent.Receive()), S_OK);
  quenvo::ScopedCom<IAccessible> window;
  ASSERT_EQ(parent.Get()->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(window.Receive())), S_OK);
  HWND found[2] = {};  // Wine's window object answers little more than its window
  EXPECT_EQ(WindowFromAccessibleObject(object_.Get(), &found[0]), S_OK);
  EXPECT_EQ(WindowFromAccessibleObject(window.Get(), &found[1]), S_OK);
  EXPECT_EQ(std::vector<HWND>(found, found + 2), std::vector<HWND>(2, sample_.window()));
}

TEST_F(AccessibleWindowTest, InvalidChildIdsAreRefused) {
  long x, y, w, h;
  ScopedBstr name;
  VARIANT out;
  IDispatch* element = nullptr;
  for (const VARIANT& child : {Child(-1), Child(7), Child(1, VT_BSTR)}) {
    EXPECT_EQ(object_.Get()->get_accName(child, name.Receive()), E_INVALIDARG);
    EXPECT_EQ(object_.Get()->get_accRole(child, &out), E_INVALIDARG);
    EXPECT_EQ(object_.Get()->accLocation(&x, &y, &w, &h, child), E_INVALIDARG);
    EXPECT_EQ(object_.Get()->accNavigate(NAVDIR_NEXT, child, &out), E_INVALIDARG);
    EXPECT_EQ(object_.Get()->accDoDefaultAction(child), E_INVALIDARG);
    EXPECT_EQ(object_.Get()->get_accChild(child, &element), E_INVALIDARG);
  }
  EXPECT_TRUE(sample_.actions.empty());
}

TEST_F(AccessibleWindowTest, HitTestAndNavigationAnswerChildIds) {
  const std::tuple<POINT, HRESULT, VARTYPE, LONG> hits[] = {
      {{125, 275}, S_OK, VT_I4, Sample::kInstall}, {{310, 165}, S_OK, VT_I4, 0}, {{99, 119}, S_FALSE, VT_EMPTY, 0}};
  for (const auto& [point, result, type, child] : hits) {
    VARIANT out;
    EXPECT_EQ(object_.Get()->accHitTest(point.x, point.y, &out), result);
    EXPECT_EQ(std::tuple(out.vt, out.vt == VT_I4 ? out.lVal : 0), std::tuple(type, child)) << point.x;
  }
  VARIANT to;
  EXPECT_EQ(object_.Get()->accNavigate(NAVDIR_LASTCHILD, Child(0), &to), S_OK);
  EXPECT_EQ(std::tuple(to.vt, to.lVal), std::tuple(VT_I4, 6L));
  EXPECT_EQ(object_.Get()->accNavigate(NAVDIR_NEXT, Child(6), &to), S_FALSE);
  EXPECT_EQ(to.vt, VT_EMPTY);
}

TEST_F(AccessibleWindowTest, FocusFollowsTheWindowAndTheSource) {
  EXPECT_EQ(Focus(), std::tuple(S_OK, VT_I4, 0L));
  EXPECT_EQ(object_.Get()->accSelect(SELFLAG_TAKEFOCUS, Child(Sample::kClose)), S_OK);
  EXPECT_EQ(sample_.focus, Sample::kClose);
  EXPECT_EQ(Focus(), std::tuple(S_OK, VT_I4, 2L));
  EXPECT_EQ(Integer(&IAccessible::get_accState, Sample::kClose), kFocusable | kFocused | kHidden);
  EXPECT_EQ(Integer(&IAccessible::get_accState, 0), kFocusable | kHidden);
  EXPECT_EQ(object_.Get()->accSelect(SELFLAG_TAKEFOCUS, Child(Sample::kProgress)), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(object_.Get()->accSelect(SELFLAG_TAKESELECTION, Child(Sample::kInstall)), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(sample_.focus, Sample::kClose);
  SetFocus(nullptr);
  EXPECT_EQ(std::get<0>(Focus()), S_FALSE);
  EXPECT_EQ(Integer(&IAccessible::get_accState, Sample::kClose), kFocusable | kHidden);
}

std::vector<std::tuple<DWORD, LONG, LONG>> g_events;  // event, object, child

void CALLBACK RecordEvent(HWINEVENTHOOK, DWORD event, HWND, LONG object, LONG child, DWORD, DWORD) {
  g_events.emplace_back(event, object, child);
}

TEST_F(AccessibleWindowTest, DefaultActionReachesTheSourceAndItsChangeIsAnnounced) {
  g_events.clear();
  const HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr, RecordEvent,
                                             GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  for (LONG child : {0, 3, 6}) EXPECT_EQ(object_.Get()->accDoDefaultAction(Child(child)), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(object_.Get()->accDoDefaultAction(Child(Sample::kInstall)), S_OK);
  EXPECT_EQ(sample_.actions, std::vector<int>({Sample::kInstall}));
  Pump();
  UnhookWinEvent(hook);
  EXPECT_EQ(g_events, (std::vector<std::tuple<DWORD, LONG, LONG>>{{EVENT_OBJECT_VALUECHANGE, OBJID_CLIENT, 3}}));
  EXPECT_EQ(Text(&IAccessible::get_accValue, Sample::kProgress), L"60%");
}

TEST_F(AccessibleWindowTest, OnlyTheClientObjectIsAnswered) {
  UpdateAccessible& accessible = *sample_.accessible();
  EXPECT_EQ(accessible.OnGetObject(0, static_cast<LPARAM>(OBJID_WINDOW)), 0);
  EXPECT_EQ(accessible.OnGetObject(0, -25), 0);  // UI Automation's own request
  for (LPARAM client : {static_cast<LPARAM>(OBJID_CLIENT), static_cast<LPARAM>(static_cast<DWORD>(OBJID_CLIENT))}) {
    const LRESULT result = accessible.OnGetObject(0, client);
    quenvo::ScopedCom<IAccessible> object;
    EXPECT_EQ(ObjectFromLresult(result, __uuidof(IAccessible), 0, reinterpret_cast<void**>(object.Receive())), S_OK);
  }
}

// A client keeps the object while the window or its object goes, in each of the three ways.
class AccessibleKeptTest : public AccessibleWindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(AccessibleKeptTest, ClientThatKeepsTheObjectGetsFailuresAndNoCall) {
  sample_.disconnectOnDestroy = GetParam() == 1;
  if (GetParam() == 0) sample_.accessible()->Disconnect();  // the window is still there
  if (GetParam() != 0) DestroyWindow(sample_.window());     // disconnected at WM_DESTROY, or not at all
  const int calls = sample_.calls;
  long count = 0, x, y, w, h;
  ScopedBstr name;
  VARIANT out;
  quenvo::ScopedCom<IDispatch> parent;
  EXPECT_EQ(object_.Get()->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(object_.Get()->get_accName(Child(0), name.Receive()), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(object_.Get()->get_accState(Child(1), &out), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(object_.Get()->get_accFocus(&out), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(object_.Get()->accLocation(&x, &y, &w, &h, Child(1)), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(object_.Get()->accHitTest(125, 275, &out), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(object_.Get()->accDoDefaultAction(Child(1)), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(object_.Get()->accSelect(SELFLAG_TAKEFOCUS, Child(1)), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(object_.Get()->get_accParent(parent.Receive()), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(sample_.calls, calls);
  EXPECT_TRUE(sample_.actions.empty());
  if (GetParam() == 0) {
    EXPECT_EQ(sample_.accessible()->OnGetObject(0, OBJID_CLIENT), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Ways, AccessibleKeptTest, ::testing::Values(0, 1, 2));

}  // namespace
