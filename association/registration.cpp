#include "registration.h"

#include "open_command.h"
#include "running_program.h"
#include "shell_text.h"

namespace {

struct TypeName {
  const wchar_t* extension;
  const wchar_t* name;  // English, for the ProgID's default value
  int id;               // the launcher's string for FriendlyTypeName
};

constexpr TypeName kTypeNames[] = {
    {L".ppt", L"" TEXT_TYPE_PRESENTATION, IDS_TYPE_PRESENTATION},
    {L".pptx", L"" TEXT_TYPE_PRESENTATION, IDS_TYPE_PRESENTATION},
    {L".doc", L"" TEXT_TYPE_DOCUMENT, IDS_TYPE_DOCUMENT},
    {L".docx", L"" TEXT_TYPE_DOCUMENT, IDS_TYPE_DOCUMENT},
    {L".xls", L"" TEXT_TYPE_SPREADSHEET, IDS_TYPE_SPREADSHEET},
    {L".xlsx", L"" TEXT_TYPE_SPREADSHEET, IDS_TYPE_SPREADSHEET},
    {L".csv", L"" TEXT_TYPE_CSV, IDS_TYPE_CSV},
};
constexpr TypeName kOtherType = {L"", L"" TEXT_TYPE_FILE, IDS_TYPE_FILE};

const TypeName& TypeOf(const std::wstring& extension) {
  for (const TypeName& type : kTypeNames) {
    if (SameName(type.extension, extension)) return type;
  }
  return kOtherType;
}

RegistryItem Text(std::wstring key, std::wstring name, std::wstring value, bool userOnly = false) {
  return {std::move(key), std::move(name), REG_SZ, std::move(value), userOnly};
}

}  // namespace

bool SameName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::wstring TypeNameOf(const std::wstring& extension) {
  return TypeOf(extension).name;
}

std::wstring IndirectString(const std::wstring& module, int id) {
  return L"@" + module + L",-" + std::to_wstring(id);
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
      // Explorer's Type column, in the user's language: literal registry text is not translated.
      Text(progId, L"FriendlyTypeName", IndirectString(type.handlerPath, TypeOf(type.extension).id)),
      Text(progId + L"\\DefaultIcon", L"", type.iconPath),
      Text(progId + L"\\shell\\open\\command", L"", command),
      // Open with names the launcher by FriendlyAppName, not by its file description. The
      // suite's name is the same in every language, as ApplicationName is.
      Text(application, L"FriendlyAppName", kApplicationName),
      Text(application + L"\\shell\\open\\command", L"", command),
      Text(application + L"\\SupportedTypes", type.extension, L""),
      Text(capabilities, L"ApplicationName", kApplicationName),
      Text(capabilities, L"ApplicationDescription", IndirectString(type.handlerPath, IDS_APPLICATION_DESCRIPTION)),
      // The suite's icon, the launcher's first, as Open with and the task bar show it.
      Text(capabilities, L"ApplicationIcon", type.handlerPath + L",0"),
      Text(capabilities + L"\\FileAssociations", type.extension, type.progId),
      // The path is below the same root as this value.
      Text(kRegisteredApplicationsKey, kApplicationName, capabilities),
      {extension + L"\\OpenWithProgids", type.progId, REG_NONE, L"", /*userOnly*/ true},
  };
  if (type.classDefault) items.push_back(Text(extension, L"", type.progId, /*userOnly*/ true));
  return items;
}
