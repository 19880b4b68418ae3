#include "update_view.h"

#include "download_messages.h"
#include "update_strings.h"

ViewContent ContentOf(UpdateView view) {
  switch (view) {
    case UpdateView::kChecking: return {IDS_UPDATE_TITLE, IDS_UPDATE_CHECKING, false, false};
    case UpdateView::kManaged: return {IDS_UPDATE_TITLE, IDS_UPDATE_MANAGED, false, false};
    case UpdateView::kUpToDate: return {IDS_UPDATE_TITLE, IDS_UPDATE_UP_TO_DATE, false, false};
    case UpdateView::kCheckFailed: return {IDS_UPDATE_TITLE, IDS_UPDATE_CHECK_FAILED, false, false};
    case UpdateView::kDownloading: return {IDS_UPDATE_TITLE, IDS_UPDATE_DOWNLOADING, true, false};
    case UpdateView::kDownloadFailed: return {IDS_UPDATE_TITLE, IDS_UPDATE_DOWNLOAD_FAILED, false, false};
    case UpdateView::kRefused: return {IDS_UPDATE_TITLE, IDS_UPDATE_REFUSED, false, false};
    case UpdateView::kFinished: return {IDS_UPDATE_TITLE_FINISHED, IDS_UPDATE_FINISHED, false, true};
    case UpdateView::kInstallFailed: return {IDS_UPDATE_TITLE_FINISHED, IDS_UPDATE_INSTALL_FAILED, false, true};
  }
  return {IDS_UPDATE_TITLE, 0, false, false};
}

UpdateView AfterCheck(CheckOutcome outcome) {
  switch (outcome) {
    case CheckOutcome::kNewer: return UpdateView::kDownloading;
    case CheckOutcome::kNothingNewer: return UpdateView::kUpToDate;
    case CheckOutcome::kFailed: break;
  }
  return UpdateView::kCheckFailed;
}

UpdateView FirstView(bool update_check_disabled) {
  return update_check_disabled ? UpdateView::kManaged : UpdateView::kChecking;
}

UpdateView AfterDownloadProgress(UpdateView view, WPARAM wparam, LPARAM lparam) {
  // Only a download in progress, or one that failed and then advanced again, hears progress.
  const bool fetching = view == UpdateView::kDownloading || view == UpdateView::kDownloadFailed;
  if (!fetching) return view;
  if (wparam == kDownloadAdvanced) return UpdateView::kDownloading;
  if (wparam == kDownloadEnded && lparam != kEndedStored) return UpdateView::kDownloadFailed;
  return view;
}

UpdateView AfterDownloadResult(UpdateView view, WPARAM wparam) {
  if (wparam == kStoredIsOffered) return UpdateView::kFinished;
  return view == UpdateView::kDownloadFailed ? view : UpdateView::kRefused;
}

UpdateView AfterInstallRefused(DWORD error) {
  return error == ERROR_CANCELLED ? UpdateView::kFinished : UpdateView::kInstallFailed;
}
