// The document types this suite opens, and the paths handed out for them.
#pragma once

#include <cstddef>
#include <string>

struct FileTypeEntry {
  const wchar_t* extension;  // with its leading dot
  const wchar_t* handler;    // file name of the program that opens it, beside this one
  const wchar_t* icon;       // file name in the "icon" subfolder
};

inline constexpr size_t kFileTypeCount = 7;
// In the order in which the types are offered.
extern const FileTypeEntry FileTypeTable[kFileTypeCount];

// folder + handler file name. The folder ends with a backslash; nothing is quoted.
std::wstring HandlerPathOf(const std::wstring& folder, const FileTypeEntry& entry);
// folder + "icon\" + icon file name.
std::wstring IconPathOf(const std::wstring& folder, const FileTypeEntry& entry);
