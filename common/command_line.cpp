#include "command_line.h"

const wchar_t* CommandLineTail(const wchar_t* commandLine) {
  if (commandLine == nullptr) return L"";
  const wchar_t* p = commandLine;
  // The name ends at the first control character or blank outside double quotes.
  bool quoted = false;
  while (*p != L'\0' && (quoted || *p > L' ')) {
    if (*p == L'"') quoted = !quoted;
    ++p;
  }
  while (*p != L'\0' && *p <= L' ') ++p;
  return p;
}
