#include "registration.h"

#include "open_command.h"
#include "running_program.h"

namespace {

constexpr wchar_t kApplicationDescription[] =
    L"quenvo office suite: presentations, documents, spreadsheets and comma-separated values";
// The suite's icon for Default apps: the document icon, which ships beside the launcher.
constexpr wchar_t kApplicationIcon[] = L"icon\\doc.ico";

struct TypeName {
  const wchar_t* extension;
  const wchar_t* name;
};

constexpr TypeName kTypeNames[] = {
    {L".ppt", L"quenvo presentation"},
    {L".pptx", L"quenvo presentation"},
    {L".doc", L"quenvo document"},
    {L".docx", L"quenvo document"},
    {L".xls", L"quenvo spreadsheet"},
    {L".xlsx", L"quenvo spreadsheet"},
    {L".csv", L"quenvo comma-separated values"},
};

RegistryItem Text(std::wstring key, std::wstring name, std::wstring value, bool userOnly = false) {
  return {std::move(key), std::move(name), REG_SZ, std::move(value), userOnly};
}

}  // namespace

bool SameName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::wstring TypeNameOf(const std::wstring& extension) {
  for (const TypeName& type : kTypeNames) {
    if (SameName(type.extension, extension)) return type.name;
  }
  return L"quenvo file";
}

std::wstring ApplicationKeyOf(const std::wstring& handlerPath) {
  const std::wstring fileName = handlerPath.substr(FolderOf(handlerPath).size());
  return fileName.empty() ? std::wstring() : kClasses + (L"Applications\\" + fileName);
}

std::vector<RegistryItem> RegistrationItems(const TypeRegistration& type) {
  const std::wstring application = ApplicationKeyOf(type.handlerPath);
  const std::wstring command = OpenCommandFor(type.handlerPath);
  if (application.empty() || command.empty()) return {};
  const std::wstring progId = kClasses + type.progId;
  const std::wstring extension = kClasses + type.extension;
  const std::wstring capabilities = application + L"\\Capabilities";
  std::vector<RegistryItem> items = {
      Text(progId, L"", TypeNameOf(type.extension)),
      Text(progId + L"\\DefaultIcon", L"", type.iconPath),
      Text(progId + L"\\shell\\open\\command", L"", command),
      // Open with names the launcher by FriendlyAppName, not by its file description.
      Text(application, L"FriendlyAppName", kApplicationName),
      Text(application + L"\\shell\\open\\command", L"", command),
      Text(application + L"\\SupportedTypes", type.extension, L""),
      Text(capabilities, L"ApplicationName", kApplicationName),
      Text(capabilities, L"ApplicationDescription", kApplicationDescription),
      Text(capabilities, L"ApplicationIcon", FolderOf(type.handlerPath) + kApplicationIcon),
      Text(capabilities + L"\\FileAssociations", type.extension, type.progId),
      // The path is below the same root as this value.
      Text(kRegisteredApplicationsKey, kApplicationName, capabilities),
      {extension + L"\\OpenWithProgids", type.progId, REG_NONE, L"", /*userOnly*/ true},
  };
  if (type.classDefault) items.push_back(Text(extension, L"", type.progId, /*userOnly*/ true));
  return items;
}
