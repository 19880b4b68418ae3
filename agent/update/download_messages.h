// What the download thread tells the update window: two private messages, sent with
// SendMessageW, so each is handled on the window's thread while the download waits.
#pragma once

#include <windows.h>

constexpr UINT WM_DOWNLOAD_PROGRESS = WM_USER + 1021;  // 2045
constexpr UINT WM_DOWNLOAD_RESULT = WM_USER + 1022;    // 2046

// WM_DOWNLOAD_PROGRESS: wParam kDownloadAdvanced with the percentage (0-100) as lParam, or
// wParam kDownloadEnded with lParam kEndedStored (every announced byte is stored) or kEndedFailed.
constexpr WPARAM kDownloadEnded = 0;
constexpr WPARAM kDownloadAdvanced = 1;
constexpr LPARAM kEndedFailed = 0;
constexpr LPARAM kEndedStored = 1;

// WM_DOWNLOAD_RESULT: wParam kStoredIsOffered when the stored file is the offered installer, else
// kStoredIsNotOffered; lParam 0.
constexpr WPARAM kStoredIsNotOffered = 0;
constexpr WPARAM kStoredIsOffered = 1;

// The status code that IDownLoadCallBack::OnHttpStatus hears, after the real one if any, when a
// fetch ends without success; the window's callback turns it into kEndedFailed.
constexpr int kFetchFailedStatus = 500;
