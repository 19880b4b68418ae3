#include "command.h"

namespace {

constexpr wchar_t kPrefix[] = L"data=";
constexpr wchar_t kDetach[] = L"/detach ";
constexpr wchar_t kUpdate[] = L"/update";

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
}

}  // namespace

std::wstring RemoveAll(const std::wstring& text, const std::wstring& what) {
  if (what.empty()) return text;
  std::wstring result;
  size_t from = 0;
  for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, from)) {
    result.append(text, from, at - from);
    from = at + what.size();
  }
  result.append(text, from, std::wstring::npos);
  return result;
}

AgentCommand ParseCommand(const std::wstring& commandLine) {
  if (!StartsWith(commandLine, kPrefix)) return AgentCommand::kNone;
  const std::wstring command = RemoveAll(commandLine, kPrefix);
  if (StartsWith(command, L"install")) return AgentCommand::kInstall;
  if (StartsWith(command, L"uninstall")) return AgentCommand::kUninstall;
  if (command.find(L"run") != std::wstring::npos) return AgentCommand::kRun;
  return AgentCommand::kNone;
}

std::wstring DetachedCommand(const std::wstring& commandLine) {
  if (!StartsWith(commandLine, kDetach)) return std::wstring();
  std::wstring tail = commandLine.substr(std::char_traits<wchar_t>::length(kDetach));
  return StartsWith(tail, kPrefix) ? tail : std::wstring();
}

bool IsUpdateCommand(const std::wstring& commandLine) {
  if (!StartsWith(commandLine, kUpdate)) return false;
  return commandLine.find_first_not_of(L" \t", std::char_traits<wchar_t>::length(kUpdate)) == std::wstring::npos;
}
