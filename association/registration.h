// What registering one file type consists of, as data: the keys and values that make Windows 7
// to 11 offer the launcher for the type (Open with, "How do you want to open this file?",
// Settings > Default apps). The writer, the completeness check and the remover all work from
// this one list; the installer's machine-wide entries are the same items.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct RegistryItem {
  std::wstring key;    // below the root (HKCU or HKLM): "Software\\Classes\\Quenvo2021.docx\\DefaultIcon"
  std::wstring name;   // "" for the key's default value
  DWORD type;          // REG_SZ, or REG_NONE for a name whose presence is the value
  std::wstring value;  // the text of a REG_SZ
  // Values that name nothing but our ProgID (the extension's default and its OpenWithProgids):
  // these are always the user's. The others name our files or describe the program, and may
  // live machine-wide, where the installer removes them with the files.
  bool userOnly;
};

struct TypeRegistration {
  std::wstring extension;  // ".docx"
  std::wstring progId;     // "Quenvo2021.docx"
  std::wstring iconPath;
  std::wstring handlerPath;  // the launcher
  // The extension's default names the ProgID only where the user made no choice of their own
  // (no UserChoice): Windows 8 and later put the user's choice first, and we never touch it.
  bool classDefault;
};

// The name under RegisteredApplications, and the program's name in Default apps and Open with.
inline constexpr wchar_t kApplicationName[] = L"quenvo";
inline constexpr wchar_t kRegisteredApplicationsKey[] = L"Software\\RegisteredApplications";
inline constexpr wchar_t kClasses[] = L"Software\\Classes\\";

// Key names, ProgIDs and paths compare without case, as the registry and the file system do.
bool SameName(const std::wstring& a, const std::wstring& b);

// The type's English name ("quenvo document" for ".docx"): the ProgID's default value, for
// tools that read it directly. The shell shows FriendlyTypeName, in the user's language.
std::wstring TypeNameOf(const std::wstring& extension);
// "@<module>,-<id>": a string of the module's resources, which the shell loads in the user's
// UI language (SHLoadIndirectString).
std::wstring IndirectString(const std::wstring& module, int id);
// "Software\\Classes\\Applications\\<launcher file name>": the launcher's entry, which also holds
// the Capabilities. Below Software\\Classes, so 32-bit and 64-bit programs share it (WOW64
// redirects the rest of HKLM\\Software).
std::wstring ApplicationKeyOf(const std::wstring& handlerPath);
// The ProgID's keys first and the values that point at it last, so that no extension ever names
// a half-written ProgID. Empty when the launcher's path has no file name.
std::vector<RegistryItem> RegistrationItems(const TypeRegistration& type);
