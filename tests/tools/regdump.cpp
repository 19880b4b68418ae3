// Test tool: prints every value of HKCU\<key> as a JSON line with its type, exact byte
// count and data. "wine reg query" misprints empty REG_SZ values, so tests read with this.
//   regdump.exe KEY OUT.jsonl      exit code 0, 1 when the key is missing, 3 on other errors
// It ends with a line on stdout, so that silence shows a start that Wine lost.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "json_line.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  HKEY key = nullptr;
  const LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, argv[1], 0, KEY_READ, &key);
  if (rc == ERROR_FILE_NOT_FOUND) {
    std::printf("regdump: no such key\n");
    return 1;
  }
  if (rc != ERROR_SUCCESS) {
    std::fprintf(stderr, "regdump: RegOpenKeyExW failed with %ld\n", rc);
    return 3;
  }
  DWORD count = 0;  // the values read so far, and so the index of the next
  for (;; ++count) {
    wchar_t name[16384];
    DWORD nameLength = 16384;
    DWORD type = 0;
    std::vector<BYTE> data(1 << 16);
    DWORD size = static_cast<DWORD>(data.size());
    if (RegEnumValueW(key, count, name, &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) break;
    std::string hex;
    for (DWORD b = 0; b < size; ++b) {
      char two[3];
      std::snprintf(two, sizeof two, "%02x", data[b]);
      hex += two;
    }
    AppendLine(argv[2], "{\"name\": " + JsonString(name) + ", \"type\": " + std::to_string(type) +
                            ", \"size\": " + std::to_string(size) + ", \"hex\": \"" + hex + "\"}");
  }
  RegCloseKey(key);
  std::printf("regdump: %lu values\n", static_cast<unsigned long>(count));
  return 0;
}
