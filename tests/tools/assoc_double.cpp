// Test double of FileAssociation.dll: records every call it gets as a JSON line in "calls.jsonl"
// beside itself, and answers from "double.cfg" beside itself:
//   associated .doc .xls     IsAssociated answers 1 for these extensions, 0 for the others
//   create null              CreateFileAssociation returns null
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "file_association.h"
#include "json_line.h"
#include "running_program.h"

namespace {

std::wstring OwnFolder() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&OwnFolder), &self);
  return ModuleFolder(self);
}

std::string Json(const wchar_t* text) {
  return text == nullptr ? "null" : JsonString(text);
}

void Record(const std::string& fields) {
  AppendLine(OwnFolder() + L"calls.jsonl", "{" + fields + "}");
}

// The configuration's lines, split into words.
std::vector<std::vector<std::string>> ReadConfig() {
  std::vector<std::vector<std::string>> lines;
  FILE* f = _wfopen((OwnFolder() + L"double.cfg").c_str(), L"rb");
  if (f == nullptr) return lines;
  char buffer[1024];
  while (std::fgets(buffer, sizeof buffer, f) != nullptr) {
    std::istringstream words(buffer);
    std::vector<std::string> line;
    for (std::string word; words >> word;) line.push_back(word);
    if (!line.empty()) lines.push_back(line);
  }
  std::fclose(f);
  return lines;
}

bool Configured(const std::string& key, const std::string& word) {
  for (const auto& line : ReadConfig()) {
    if (line[0] == key && std::find(line.begin() + 1, line.end(), word) != line.end()) return true;
  }
  return false;
}

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text != nullptr && *text != L'\0'; ++text) out += static_cast<char>(*text < 0x80 ? *text : '?');
  return out;
}

class RecordingAssociation final : public IFileAssociation {
 public:
  // The registrar must never call these two.
  const wchar_t* Identifier() override {
    Record("\"call\": \"Identifier\"");
    return L"";
  }
  int ProgIdFor(const wchar_t*, wchar_t*, int) override {
    Record("\"call\": \"ProgIdFor\"");
    return 0;
  }

  int IsAssociated(const wchar_t* extension) override {
    Record("\"call\": \"IsAssociated\", \"extension\": " + Json(extension));
    return extension != nullptr && Configured("associated", Narrow(extension)) ? 1 : 0;
  }

  int Associate(const FileAssociationItem* item) override {
    Record("\"call\": \"Associate\", \"extension\": " + Json(item->extension) + ", \"icon\": " + Json(item->iconPath) +
           ", \"handler\": " + Json(item->handlerPath) +
           ", \"reserved\": " + std::to_string(reinterpret_cast<uintptr_t>(item->reserved)));
    return 1;
  }
};

}  // namespace

extern "C" IFileAssociation* __cdecl CreateFileAssociation(const wchar_t* identifier) {
  Record("\"call\": \"CreateFileAssociation\", \"identifier\": " + Json(identifier));
  if (Configured("create", "null")) return nullptr;
  static RecordingAssociation association;
  return &association;
}
