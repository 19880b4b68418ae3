#include "file_types.h"

#include "file_association.h"

const FileTypeEntry FileTypeTable[kFileTypeCount] = {
    {L".ppt", kLauncherFileName, L"ppt.ico"}, {L".pptx", kLauncherFileName, L"ppt.ico"},
    {L".doc", kLauncherFileName, L"doc.ico"}, {L".docx", kLauncherFileName, L"doc.ico"},
    {L".xls", kLauncherFileName, L"xls.ico"}, {L".xlsx", kLauncherFileName, L"xls.ico"},
    {L".csv", kLauncherFileName, L"xls.ico"},
};

std::wstring HandlerPathOf(const std::wstring& folder, const FileTypeEntry& entry) {
  return folder + entry.handler;
}

std::wstring IconPathOf(const std::wstring& folder, const FileTypeEntry& entry) {
  return folder + L"icon\\" + entry.icon;
}
