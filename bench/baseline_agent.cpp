// Benchmark baseline: the same three WinInet GETs that a first run of the day makes, and nothing else.
#include <windows.h>
#include <wininet.h>

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
  return 0;
}
