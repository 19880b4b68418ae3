// Test tools write their observations as JSON lines, escaped so any text survives.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

inline std::string JsonString(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
      out += esc;
    }
  }
  return out + "\"";
}

inline void AppendLine(const std::wstring& file, const std::string& line) {
  FILE* f = _wfopen(file.c_str(), L"ab");
  if (!f) return;
  std::fputs(line.c_str(), f);
  std::fputs("\n", f);
  std::fclose(f);
}
