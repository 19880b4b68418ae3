// The one-time marks of a user's profile ("install", "rday"): each is claimed by one start of
// the agent, however many of that user's agents start at once, in any of the user's sessions.
#pragma once

#include <string>

// Whether the stored text says that a mark is set already, given the text this start would write.
using MarkIsSet = bool (*)(const std::wstring& stored, const std::wstring& value);
bool AnyText(const std::wstring& stored, const std::wstring& value);   // "install": any text at all
bool SameText(const std::wstring& stored, const std::wstring& value);  // "rday": today's date only

// Reads HKCU\Software\quenvo\<name> and, unless `isSet` says it is set, writes `value` there. True
// when this start claimed the mark: no other agent of this user does, for the same stored text.
bool ClaimMark(const wchar_t* name, const std::wstring& value, MarkIsSet isSet);

// "Global\quenvo-marks-<the user's SID>", or "" when the process's user can't be read.
std::wstring MarksLockName();
