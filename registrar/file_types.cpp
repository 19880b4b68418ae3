#include "file_types.h"

const FileTypeEntry FileTypeTable[kFileTypeCount] = {
    {L".ppt", L"Quenvodef.exe", L"ppt.ico"}, {L".pptx", L"Quenvodef.exe", L"ppt.ico"},
    {L".doc", L"Quenvodef.exe", L"doc.ico"}, {L".docx", L"Quenvodef.exe", L"doc.ico"},
    {L".xls", L"Quenvodef.exe", L"xls.ico"}, {L".xlsx", L"Quenvodef.exe", L"xls.ico"},
    {L".csv", L"Quenvodef.exe", L"xls.ico"},
};

std::wstring HandlerPathOf(const std::wstring& folder, const FileTypeEntry& entry) {
  return folder + entry.handler;
}

std::wstring IconPathOf(const std::wstring& folder, const FileTypeEntry& entry) {
  return folder + L"icon\\" + entry.icon;
}
