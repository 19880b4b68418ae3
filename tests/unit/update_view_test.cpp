#include <gtest/gtest.h>

#include <tuple>

#include "download_messages.h"
#include "person_present.h"
#include "update_focus.h"
#include "update_view.h"

namespace {

using View = UpdateView;

// How the download's reports move the window: a failure ends the progress, a failed check then
// refuses the file unless the download had failed already, a passed one finishes from anywhere.
TEST(UpdateView, ReportsMoveTheState) {
  using Progress = std::tuple<View, WPARAM, LPARAM, View>;
  for (const auto& [from, wparam, lparam, to] :
       {Progress{View::kDownloading, kDownloadAdvanced, 40, View::kDownloading},
        Progress{View::kDownloading, kDownloadEnded, kEndedFailed, View::kDownloadFailed},
        Progress{View::kDownloading, kDownloadEnded, kEndedStored, View::kDownloading},
        Progress{View::kDownloadFailed, kDownloadAdvanced, 60, View::kDownloading},
        Progress{View::kDownloading, 7, 3, View::kDownloading},
        Progress{View::kChecking, kDownloadAdvanced, 10, View::kChecking},
        Progress{View::kFinished, kDownloadEnded, kEndedFailed, View::kFinished}}) {
    EXPECT_EQ(AfterDownloadProgress(from, wparam, lparam), to) << static_cast<int>(from) << " " << wparam;
  }
  using Result = std::tuple<View, WPARAM, View>;
  for (const auto& [from, wparam, to] : {Result{View::kDownloading, kStoredIsOffered, View::kFinished},
                                         Result{View::kDownloading, kStoredIsNotOffered, View::kRefused},
                                         Result{View::kDownloadFailed, kStoredIsNotOffered, View::kDownloadFailed},
                                         Result{View::kDownloadFailed, kStoredIsOffered, View::kFinished}}) {
    EXPECT_EQ(AfterDownloadResult(from, wparam), to) << static_cast<int>(from) << " " << wparam;
  }
  EXPECT_EQ(AfterInstallRefused(ERROR_CANCELLED), View::kFinished);  // declined at the prompt: ask again later
  EXPECT_EQ(AfterInstallRefused(ERROR_FILE_NOT_FOUND), View::kInstallFailed);
  EXPECT_EQ(AfterCheck(CheckOutcome::kNewer), View::kDownloading);
  EXPECT_EQ(AfterCheck(CheckOutcome::kNothingNewer), View::kUpToDate);
  EXPECT_EQ(AfterCheck(CheckOutcome::kFailed), View::kCheckFailed);
  EXPECT_EQ(FirstView(true), View::kManaged);
  EXPECT_EQ(FirstView(false), View::kChecking);
  for (const View view : {View::kFinished, View::kInstallFailed}) EXPECT_TRUE(ContentOf(view).install);
  EXPECT_TRUE(ContentOf(View::kDownloading).progress && !ContentOf(View::kDownloadFailed).progress);
}

TEST(UpdateFocus, KeysTabOrderAndTheDefaultButton) {
  using Key = std::tuple<UINT, bool, KeyAction>;
  for (const auto& [key, shift, action] :
       {Key{VK_TAB, false, KeyAction::kFocusNext}, Key{VK_TAB, true, KeyAction::kFocusPrevious},
        Key{VK_SPACE, false, KeyAction::kPressFocused}, Key{VK_RETURN, false, KeyAction::kPressDefault},
        Key{VK_ESCAPE, true, KeyAction::kClose}, Key{'I', false, KeyAction::kNone}}) {
    EXPECT_EQ(ActionForKey(key, shift), action) << key;
  }
  const FocusTarget none = FocusTarget::kNone, close = FocusTarget::kClose, install = FocusTarget::kInstall;
  using Move = std::tuple<FocusTarget, bool, bool, FocusTarget>;  // from, install shown, backwards, to
  for (const auto& [from, shown, backwards, to] :
       {Move{none, false, false, close}, Move{close, false, false, close}, Move{install, false, true, close},
        Move{none, true, false, close}, Move{none, true, true, install}, Move{close, true, false, install},
        Move{install, true, false, close}, Move{close, true, true, install}}) {
    EXPECT_EQ(MoveFocus(from, shown, backwards), to) << static_cast<int>(from) << shown << backwards;
  }
  // Enter presses the focused button, else install once it is shown; before that, nothing.
  using Enter = std::tuple<FocusTarget, bool, FocusTarget>;
  for (const auto& [focused, shown, pressed] :
       {Enter{none, false, none}, Enter{none, true, install}, Enter{close, true, close}, Enter{install, false, none}}) {
    EXPECT_EQ(EnterTarget(focused, shown), pressed) << static_cast<int>(focused) << shown;
  }
}

TEST(PersonPresent, OnlyAPersonsSessionShowsTheWindow) {
  using Case = std::tuple<bool, DWORD, bool, bool>;  // LocalSystem, session, visible station, present
  for (const auto& [system, session, visible, present] : {Case{false, 1, true, true}, Case{true, 1, true, false},
                                                          Case{false, 0, true, false}, Case{false, 2, false, false}}) {
    EXPECT_EQ(IsPersonPresent({system, session, visible}), present) << system << session << visible;
  }
  EXPECT_TRUE(IsPersonPresent(ReadSessionFacts()));  // this test runs on a desktop of its own
}

}  // namespace
