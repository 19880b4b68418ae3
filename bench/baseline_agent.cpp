// Benchmark baseline: the same three WinInet GETs that a first run of the day makes, and nothing
// else. Built a second time with QUENVO_BASELINE_PLATFORM_START (and the agent's manifest), it
// first makes the platform calls that every start of the agent must make, to tell their cost
// apart from ours.
#include <windows.h>
#include <wininet.h>

#include <vector>
#ifdef QUENVO_BASELINE_PLATFORM_START
#include <commctrl.h>
#include <iphlpapi.h>
#include <objbase.h>
#include <shlwapi.h>
#endif

namespace {

void Get(HINTERNET internet, const wchar_t* url) {
  HINTERNET request = InternetOpenUrlW(internet, url, nullptr, 0, 0, 0);
  if (!request) return;
  char buffer[4096];
  DWORD read = 0;
  while (InternetReadFile(request, buffer, sizeof buffer, &read) && read > 0) {
  }
  InternetCloseHandle(request);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
#ifdef QUENVO_BASELINE_PLATFORM_START
  CoInitialize(nullptr);
  DefWindowProcW(nullptr, 0, 0, 0);
  INITCOMMONCONTROLSEX controls = {8, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  wchar_t value[260];
  DWORD bytes = sizeof value;
  SHGetValueW(HKEY_CURRENT_USER, L"Software\\quenvo", L"fday", nullptr, value, &bytes);
  std::vector<IP_ADAPTER_INFO> adapters(16);
  ULONG size = static_cast<ULONG>(adapters.size() * sizeof(IP_ADAPTER_INFO));
  GetAdaptersInfo(adapters.data(), &size);
#endif
  HINTERNET internet = InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!internet) return 0;
  const wchar_t* query =
      L"mid=0123456789abcdef0123456789abcdef&os=Windows7&c=1001&fn=&reg=run&t=1033&version=2.0.0.2&fver=2.0.0.2"
      L"&fday=2026-1-1&rday=2026-1-1&uac=0&flag=0123456789abcdef0123456789abcdef";
  wchar_t url[1024];
  wsprintfW(url, L"http://%s/stat.php?%s", QUENVO_STAT_HOST_W, query);
  Get(internet, url);
  Get(internet, url);
  wsprintfW(url, L"http://%s/version.php?%s", QUENVO_UPDATE_HOST_W, query);
  Get(internet, url);
  InternetCloseHandle(internet);
#ifdef QUENVO_BASELINE_PLATFORM_START
  CoUninitialize();
#endif
  return 0;
}
