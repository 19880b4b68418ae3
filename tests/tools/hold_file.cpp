// Test tool: holds a file open with no sharing, so every other open of it fails, until a
// marker file disappears or the given number of seconds has passed.
//
//   hold_file.exe FILE MARKER SECONDS
//
// It creates FILE if missing (keeping what is there), writes MARKER once the file is held,
// and exits when MARKER is deleted. Exit code 0 when held, 2 on bad arguments, 3 when the
// file could not be opened.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  const HANDLE file = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, /*share*/ 0, /*security*/ nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, /*template*/ nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  const HANDLE marker = CreateFileW(argv[2], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  const DWORD deadline = GetTickCount() + 1000u * static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10));
  while (static_cast<LONG>(deadline - GetTickCount()) > 0 && GetFileAttributesW(argv[2]) != INVALID_FILE_ATTRIBUTES) {
    Sleep(20);
  }
  CloseHandle(file);
  DeleteFileW(argv[2]);
  return 0;
}
