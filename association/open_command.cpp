#include "open_command.h"

std::wstring OpenCommandFor(const std::wstring& handler) {
  if (handler.empty() || handler.find(L'"') != std::wstring::npos) return std::wstring();
  return L"\"" + handler + L"\" \"%1\"";
}

std::wstring HandlerOfCommand(const std::wstring& command) {
  const size_t start = command.find_first_not_of(L" \t");
  if (start == std::wstring::npos) return std::wstring();
  if (command[start] == L'"') {
    const size_t close = command.find(L'"', start + 1);
    if (close == std::wstring::npos) return std::wstring();
    return command.substr(start + 1, close - start - 1);
  }
  const size_t end = command.find_first_of(L" \t", start);
  return command.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}
