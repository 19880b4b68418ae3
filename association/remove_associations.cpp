#include "remove_associations.h"

#include <vector>

#include "item_store.h"
#include "open_command.h"
#include "prog_id.h"
#include "registration.h"
#include "running_program.h"
#include "scoped_handle.h"

using quenvo::ScopedKey;

namespace {

std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& key) {
  std::vector<std::wstring> names;
  ScopedKey opened;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, opened.Receive()) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];  // a key name has at most 255 characters
    DWORD length = 256;
    if (RegEnumKeyExW(opened.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

// Whether `name` is one of identifier's ProgIDs (identifier + a usable extension).
bool IsProgIdOf(const std::wstring& name, const std::wstring& identifier) {
  if (name.size() <= identifier.size() || !SameName(name.substr(0, identifier.size()), identifier)) return false;
  return IsUsableExtension(name.substr(identifier.size()).c_str());
}

void DeleteValue(HKEY root, const std::wstring& key, const std::wstring& name) {
  ScopedKey opened;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE, opened.Receive()) == ERROR_SUCCESS) {
    RegDeleteValueW(opened.Get(), name.c_str());
  }
}

void DeleteIfEmpty(HKEY root, const std::wstring& key) {
  DWORD subkeys = 1, values = 1;
  {
    ScopedKey opened;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, opened.Receive()) != ERROR_SUCCESS) return;
    RegQueryInfoKeyW(opened.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
  }
  if (subkeys == 0 && values == 0) RegDeleteKeyW(root, key.c_str());
}

bool NamesHandler(HKEY root, const std::wstring& key, const std::wstring& handler) {
  return SameName(HandlerOfCommand(ReadText(root, key + L"\\shell\\open\\command")), handler);
}

// The launcher's entry, with its Capabilities, and the RegisteredApplications value that
// pointed at them.
void RemoveApplication(HKEY user, const std::wstring& handler) {
  const std::wstring application = ApplicationKeyOf(handler);
  if (application.empty() || !NamesHandler(user, application, handler)) return;
  RegDeleteTreeW(user, application.c_str());
  const std::wstring applications = FolderOf(application);
  DeleteIfEmpty(user, applications.substr(0, applications.size() - 1));
  const std::wstring registered = ReadText(user, kRegisteredApplicationsKey, kApplicationName);
  if (SameName(registered, application + L"\\Capabilities")) {
    DeleteValue(user, kRegisteredApplicationsKey, kApplicationName);
    DeleteIfEmpty(user, kRegisteredApplicationsKey);
  }
}

// The extension's values that name a ProgID which no longer exists anywhere.
void RemoveDanglingPointers(HKEY user, HKEY machine, const std::wstring& extension, const std::wstring& progId) {
  if (KeyExists(user, kClasses + progId) || KeyExists(machine, kClasses + progId)) return;
  const std::wstring key = kClasses + extension;
  if (SameName(ReadText(user, key), progId)) DeleteValue(user, key, L"");
  DeleteValue(user, key + L"\\OpenWithProgids", progId);
  DeleteIfEmpty(user, key + L"\\OpenWithProgids");
  DeleteIfEmpty(user, key);
}

}  // namespace

int RemoveAssociations(HKEY user, HKEY machine, const std::wstring& identifier, const std::wstring& handler) {
  int removed = 0;
  if (handler.empty()) return removed;
  const std::vector<std::wstring> names = SubkeyNames(user, L"Software\\Classes");
  for (const std::wstring& name : names) {
    if (!IsProgIdOf(name, identifier) || !NamesHandler(user, kClasses + name, handler)) continue;
    if (RegDeleteTreeW(user, (kClasses + name).c_str()) == ERROR_SUCCESS) ++removed;
  }
  RemoveApplication(user, handler);
  for (const std::wstring& name : names) {
    const std::wstring progId = ProgIdFor(identifier, name.c_str());
    if (!progId.empty()) RemoveDanglingPointers(user, machine, name, progId);
  }
  return removed;
}
