// The dispatch on "data=" against a second, plain reading of the rule.
#include <cstdlib>

#include "command.h"
#include "fuzz_input.h"

namespace {

AgentCommand Expected(const std::wstring& line) {
  if (line.compare(0, 5, L"data=") != 0) return AgentCommand::kNone;
  std::wstring rest;
  for (size_t i = 0; i < line.size();) {
    if (line.compare(i, 5, L"data=") == 0) {
      i += 5;
    } else {
      rest.push_back(line[i++]);
    }
  }
  if (rest.compare(0, 7, L"install") == 0) return AgentCommand::kInstall;
  if (rest.compare(0, 9, L"uninstall") == 0) return AgentCommand::kUninstall;
  if (rest.find(L"run") != std::wstring::npos) return AgentCommand::kRun;
  return AgentCommand::kNone;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring line;
  for (size_t i = 0; i < size; ++i) line.push_back(static_cast<wchar_t>(data[i]));  // bytes: finds "data=" sooner
  if (ParseCommand(line) != Expected(line)) abort();
  return 0;
}
