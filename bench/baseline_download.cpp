// Benchmark baseline: the least a WinInet download can do, the same GET through the system's
// proxy read in blocks of the given size straight into a file, with no progress reports.
//   baseline_download URL FILE BLOCK_BYTES
#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  HINTERNET internet = InternetOpenW(L"MyDownLoad", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET request =
      internet ? InternetOpenUrlW(internet, argv[1], nullptr, 0, INTERNET_FLAG_KEEP_CONNECTION, 0) : nullptr;
  HANDLE file = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  std::vector<char> block(static_cast<size_t>(_wtoi(argv[3])));
  DWORD read = 0;
  while (request && file != INVALID_HANDLE_VALUE && InternetReadFile(request, block.data(), block.size(), &read) &&
         read > 0) {
    DWORD written = 0;
    WriteFile(file, block.data(), read, &written, nullptr);
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (request) InternetCloseHandle(request);
  if (internet) InternetCloseHandle(internet);
  return 0;
}
