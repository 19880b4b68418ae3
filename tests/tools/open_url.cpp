// Test tool: fetches an address the plain way, opening the URL in one call, and drops the reply.
// The black-box tests compare the request it sends with the agent's.
//
//   open_url.exe URL          exit code 0 when the URL opened, 1 when not
#include <windows.h>
#include <wininet.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  const HINTERNET internet = InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (internet == nullptr) return 1;
  const HINTERNET url = InternetOpenUrlW(internet, argv[1], nullptr, 0, 0, 0);
  int code = 1;
  if (url != nullptr) {
    char chunk[4096];
    DWORD read = 0;
    while (InternetReadFile(url, chunk, sizeof chunk, &read) && read > 0) {
    }
    InternetCloseHandle(url);
    code = 0;
  }
  InternetCloseHandle(internet);
  return code;
}
