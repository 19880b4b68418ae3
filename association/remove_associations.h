// Takes back what the component wrote for a user, for the uninstaller.
#pragma once

#include <windows.h>

#include <string>

// Below the user's root: removes every ProgID of identifier (identifier + extension) whose open
// command starts handler, the handler's Applications entry with its Capabilities, and the
// RegisteredApplications value once its Capabilities are gone. Then, for each extension, the
// default and the OpenWithProgids name of identifier's ProgID, where that ProgID exists neither
// for the user nor for the machine (whose registration the package removes before this runs).
// Keys that this leaves empty go too. Other programs' entries, and ours naming another handler,
// stay. Returns how many ProgIDs went.
int RemoveAssociations(HKEY user, HKEY machine, const std::wstring& identifier, const std::wstring& handler);
