// Takes back what the component wrote, for the uninstaller.
#pragma once

#include <windows.h>

#include <string>

// Below the classes key: removes every ProgID of identifier (identifier + extension) whose open
// command starts handler, its name under the extension's OpenWithProgids, and the extension's
// default value while that still names the ProgID. Keys that this leaves empty go too. Other
// programs' ProgIDs, and ours naming another handler, stay. Returns how many ProgIDs went.
int RemoveAssociations(HKEY classes, const std::wstring& identifier, const std::wstring& handler);
