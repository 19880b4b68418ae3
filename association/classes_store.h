// Reads and writes file-type keys below one classes key.
#pragma once

#include <windows.h>

#include <string>

// The default value of classes\subkey as text (REG_EXPAND_SZ expanded); "" when it is missing,
// empty or of another type.
std::wstring ReadDefaultText(HKEY classes, const std::wstring& subkey);

struct AssociationRecord {
  std::wstring extension;  // ".docx"
  std::wstring progId;     // "Quenvo2021.docx"
  std::wstring iconPath;
  std::wstring openCommand;
};

// Writes the ProgID's keys first and points the extension at it last, so the extension never
// names a half-written ProgID. True when every write succeeded.
bool WriteAssociation(HKEY classes, const AssociationRecord& record);
