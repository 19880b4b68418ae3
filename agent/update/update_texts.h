// The update window's texts and font families.
#pragma once

inline constexpr wchar_t kTitleDownloading[] = L"软件升级";
inline constexpr wchar_t kDownloadingText[] = L"升级程序正在下载中...";
inline constexpr wchar_t kPercentFormat[] = L"%d%%";
inline constexpr wchar_t kTitleFinished[] = L"升级程序下载完毕";
inline constexpr wchar_t kFinishedText[] = L"升级程序下载完毕，请立即安装!";
inline constexpr wchar_t kYaHeiFamily[] = L"微软雅黑";
inline constexpr wchar_t kSongFamily[] = L"宋体";
