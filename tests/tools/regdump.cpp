// Test tool: prints every value of each KEY (below HKCU, or below HKLM when it starts with "HKLM\")
// as a JSON line with its key, type, exact byte count and data. "wine reg query" misprints empty
// REG_SZ values, so tests read with this. An indirect string ("@file,-id") also gets "resolved":
// what SHLoadIndirectString gives in this process's UI language (null when it fails).
//   regdump.exe KEY OUT.jsonl [KEY...]   exit code 0, 1 when a key is missing, 3 on other errors
// It ends with a line on stdout, so that silence shows a start that Wine lost.
#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "json_line.h"
#include "scoped_handle.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  DWORD count = 0;  // the values read so far
  for (int arg = 1; arg < argc; arg += arg == 1 ? 2 : 1) {
    const bool machine = wcsncmp(argv[arg], L"HKLM\\", 5) == 0;
    quenvo::ScopedKey key;
    const LONG rc = RegOpenKeyExW(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, argv[arg] + (machine ? 5 : 0), 0,
                                  KEY_READ, key.Receive());
    if (rc == ERROR_FILE_NOT_FOUND) {
      std::printf("regdump: no such key\n");
      return 1;
    }
    if (rc != ERROR_SUCCESS) {
      std::fprintf(stderr, "regdump: RegOpenKeyExW failed with %ld\n", rc);
      return 3;
    }
    for (DWORD index = 0;; ++index, ++count) {
      wchar_t name[16384];
      DWORD nameLength = 16384;
      DWORD type = 0;
      std::vector<BYTE> data(1 << 16);
      DWORD size = static_cast<DWORD>(data.size());
      if (RegEnumValueW(key.Get(), index, name, &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
        break;
      std::string hex;
      for (DWORD b = 0; b < size; ++b) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", data[b]);
        hex += two;
      }
      std::string line = "{\"key\": " + JsonString(argv[arg]) + ", \"name\": " + JsonString(name) +
                         ", \"type\": " + std::to_string(type) + ", \"size\": " + std::to_string(size) +
                         ", \"hex\": \"" + hex + "\"";
      const auto* text = reinterpret_cast<const wchar_t*>(data.data());  // zero-filled: ends in a NUL
      wchar_t shown[4096];
      if ((type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 && text[0] == L'@') {
        line += ", \"resolved\": " +
                (SUCCEEDED(SHLoadIndirectString(text, shown, 4096, nullptr)) ? JsonString(shown) : std::string("null"));
      }
      AppendLine(argv[2], line + "}");
    }
  }
  std::printf("regdump: %lu values\n", static_cast<unsigned long>(count));
  return 0;
}
