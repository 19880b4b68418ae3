// ProgID names: the identifier followed by the extension ("Quenvo2021" + ".docx").
#pragma once

#include <string>

// A non-empty identifier of at most 64 characters that can be part of a key name.
bool IsUsableIdentifier(const wchar_t* identifier);
// A dot followed by 1 to 63 characters that can stand in a key name: no blank, control
// character, quote, slash or backslash (which would reach another key).
bool IsUsableExtension(const wchar_t* extension);
// identifier + extension, or "" when either can't be used.
std::wstring ProgIdFor(const std::wstring& identifier, const wchar_t* extension);
