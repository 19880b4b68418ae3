// Reads and writes the registration's items below one root key (HKCU or HKLM, or a scratch key).
#pragma once

#include <windows.h>

#include <string>

#include "registration.h"

// The text of root\key's value `name` ("" for the default), REG_EXPAND_SZ expanded; "" when it
// is missing, empty or of another type.
std::wstring ReadText(HKEY root, const std::wstring& key, const std::wstring& name = L"");
bool KeyExists(HKEY root, const std::wstring& key);
// Whether the root holds the item: its value exists and, for text, says the same (without case,
// as paths and ProgIDs compare).
bool Holds(HKEY root, const RegistryItem& item);
bool Write(HKEY root, const RegistryItem& item);
