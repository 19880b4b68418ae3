#include "remove_associations.h"

#include <vector>

#include "classes_store.h"
#include "open_command.h"
#include "prog_id.h"
#include "scoped_handle.h"

using quenvo::ScopedKey;

namespace {

// Key names, ProgIDs and paths compare without case, as the registry and the file system do.
bool SameName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::vector<std::wstring> SubkeyNames(HKEY key) {
  std::vector<std::wstring> names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];  // a key name has at most 255 characters
    DWORD length = 256;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

// The extension that identifier's ProgID `name` stands for, or "" when it is no such ProgID.
std::wstring ExtensionOfProgId(const std::wstring& name, const std::wstring& identifier) {
  if (name.size() <= identifier.size() || !SameName(name.substr(0, identifier.size()), identifier)) return L"";
  const std::wstring extension = name.substr(identifier.size());
  return IsUsableExtension(extension.c_str()) ? extension : L"";
}

void DeleteValue(HKEY classes, const std::wstring& subkey, const wchar_t* name) {
  ScopedKey key;
  if (RegOpenKeyExW(classes, subkey.c_str(), 0, KEY_SET_VALUE, key.Receive()) == ERROR_SUCCESS) {
    RegDeleteValueW(key.Get(), name);
  }
}

void DeleteIfEmpty(HKEY classes, const std::wstring& subkey) {
  DWORD subkeys = 1, values = 1;
  {
    ScopedKey key;
    if (RegOpenKeyExW(classes, subkey.c_str(), 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) return;
    RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
  }
  if (subkeys == 0 && values == 0) RegDeleteKeyW(classes, subkey.c_str());
}

void RemoveFromExtension(HKEY classes, const std::wstring& extension, const std::wstring& progId) {
  if (SameName(ReadDefaultText(classes, extension), progId)) DeleteValue(classes, extension, nullptr);
  const std::wstring openWith = extension + L"\\OpenWithProgids";
  DeleteValue(classes, openWith, progId.c_str());
  DeleteIfEmpty(classes, openWith);
  DeleteIfEmpty(classes, extension);
}

}  // namespace

int RemoveAssociations(HKEY classes, const std::wstring& identifier, const std::wstring& handler) {
  int removed = 0;
  if (handler.empty()) return removed;
  for (const std::wstring& progId : SubkeyNames(classes)) {
    const std::wstring extension = ExtensionOfProgId(progId, identifier);
    if (extension.empty()) continue;
    const std::wstring command = ReadDefaultText(classes, progId + L"\\shell\\open\\command");
    if (!SameName(HandlerOfCommand(command), handler)) continue;
    RemoveFromExtension(classes, extension, progId);
    if (RegDeleteTreeW(classes, progId.c_str()) == ERROR_SUCCESS) ++removed;
  }
  return removed;
}
