// Test tool: prints every value of each KEY as a JSON line with its key, type, exact byte count
// and data. "wine reg query" misprints empty REG_SZ values, so tests read with this. A KEY is
// below HKCU, or below HKLM when it starts with "HKLM\". A text that is an indirect string
// ("@file,-id") also gets "resolved": what SHLoadIndirectString gives in this process's UI
// language, or null when it fails, so tests see the texts the shell shows.
//   regdump.exe KEY OUT.jsonl [KEY...]   exit code 0, 1 when a key is missing, 3 on other errors
// It ends with a line on stdout, so that silence shows a start that Wine lost.
#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "json_line.h"
#include "scoped_handle.h"

namespace {

std::string Resolved(const std::wstring& text) {
  wchar_t shown[4096];
  if (FAILED(SHLoadIndirectString(text.c_str(), shown, 4096, /*reserved*/ nullptr))) return "null";
  return JsonString(shown);
}

// The values of one key: 0, or the exit code for a key that could not be opened.
int Dump(const std::wstring& path, const std::wstring& out, DWORD* count) {
  const bool machine = path.compare(0, 5, L"HKLM\\") == 0;
  quenvo::ScopedKey key;
  const LONG rc = RegOpenKeyExW(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, path.c_str() + (machine ? 5 : 0), 0,
                                KEY_READ, key.Receive());
  if (rc == ERROR_FILE_NOT_FOUND) {
    std::printf("regdump: no such key\n");
    return 1;
  }
  if (rc != ERROR_SUCCESS) {
    std::fprintf(stderr, "regdump: RegOpenKeyExW failed with %ld\n", rc);
    return 3;
  }
  for (DWORD index = 0;; ++index, ++*count) {
    wchar_t name[16384];
    DWORD nameLength = 16384;
    DWORD type = 0;
    std::vector<BYTE> data(1 << 16);
    DWORD size = static_cast<DWORD>(data.size());
    if (RegEnumValueW(key.Get(), index, name, &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) break;
    std::string hex;
    for (DWORD b = 0; b < size; ++b) {
      char two[3];
      std::snprintf(two, sizeof two, "%02x", data[b]);
      hex += two;
    }
    std::string line = "{\"key\": " + JsonString(path) + ", \"name\": " + JsonString(name) +
                       ", \"type\": " + std::to_string(type) + ", \"size\": " + std::to_string(size) + ", \"hex\": \"" +
                       hex + "\"";
    const std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && !text.empty() && text[0] == L'@') {
      line += ", \"resolved\": " + Resolved(text.c_str());
    }
    AppendLine(out, line + "}");
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  DWORD count = 0;  // the values read so far
  int result = 0;
  for (int arg = 1; arg < argc; arg += arg == 1 ? 2 : 1) {
    const int code = Dump(argv[arg], argv[2], &count);
    if (code > result) result = code;
  }
  std::printf("regdump: %lu values\n", static_cast<unsigned long>(count));
  return result;
}
