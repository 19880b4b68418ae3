#include "download_progress.h"

#include <cwchar>

long long ParseHeaderNumber(const wchar_t* text) {
  return std::wcstoll(text, nullptr, 10);
}

int DownloadPercent(DWORD received, DWORD total) {
  if (total == 0) return 100;
  return static_cast<int>(static_cast<unsigned long long>(received) * 100ULL / total);
}

void ScaleProgress(ULONGLONG received, ULONGLONG total, DWORD* scaled_received, DWORD* scaled_total) {
  while (total > 0xFFFFFFFFULL) {
    received >>= 1;
    total >>= 1;
  }
  *scaled_received = static_cast<DWORD>(received < total ? received : total);
  *scaled_total = static_cast<DWORD>(total);
}
