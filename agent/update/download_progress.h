// The download's arithmetic, apart from WinInet and the window.
#pragma once

#include <windows.h>

// A header value as a signed decimal number: leading blanks and a sign allowed, 0 without digits.
long long ParseHeaderNumber(const wchar_t* text);
// received × 100 ÷ total in 64-bit unsigned arithmetic, truncated.
int DownloadPercent(DWORD received, DWORD total);
// The callback's 32-bit progress figures for 64-bit counts: both scaled down alike until the
// total fits, so that the percentage stays true.
void ScaleProgress(ULONGLONG received, ULONGLONG total, DWORD* scaled_received, DWORD* scaled_total);
