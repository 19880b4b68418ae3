// What the update window shows in each of its states, and how reports move it between them.
// Pure: the texts are string ids (update_strings.h), resolved by the window.
#pragma once

#include <windows.h>

enum class UpdateView {
  kChecking,        // the version query is out
  kManaged,         // the administrator turned the update check off: nothing was asked
  kUpToDate,        // the update server offers nothing newer
  kCheckFailed,     // no answer, or no version in it
  kDownloading,     // the offered installer is being fetched
  kDownloadFailed,  // the fetch failed or ended short
  kRefused,         // the stored file failed the size or publisher check and was deleted
  kFinished,        // the installer passed its checks: install acts
  kInstallFailed,   // the installer passed, but could not be started
};

struct ViewContent {
  UINT title;     // the header's title
  UINT message;   // the body's sentence
  bool progress;  // the arrow, the bar and the percentage
  bool install;   // the install button is drawn and acts
};
ViewContent ContentOf(UpdateView view);

// What the version query told: the window's next state comes from it.
enum class CheckOutcome {
  kNewer,         // a version newer than the threshold is on offer, recorded in the profile
  kNothingNewer,  // a version reply, and nothing newer in it
  kFailed,        // no reply, no version in it ("error", an error page, garbage), or nowhere to store it
};
UpdateView AfterCheck(CheckOutcome outcome);

// The first state of a window opened for a person: with the check turned off, it says so at once.
UpdateView FirstView(bool update_check_disabled);

// The download thread's reports (download_messages.h). A failure report ends the progress; the
// result of the checks then leaves a failed download as it is, and refuses a stored file that fails.
UpdateView AfterDownloadProgress(UpdateView view, WPARAM wparam, LPARAM lparam);
UpdateView AfterDownloadResult(UpdateView view, WPARAM wparam);

// After the shell was asked to open the checked installer: a person who cancels the elevation
// prompt keeps the install button, with nothing more said; any other error is said.
UpdateView AfterInstallRefused(DWORD error);
