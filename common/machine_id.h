// The machine identifier: MD5 of the adapter address followed by the system's name.
#pragma once

#include <string>

// The identifier for a given adapter text and system name (the pure rule).
std::wstring MachineIdFrom(const char* macText, const std::wstring& osName);

// The identifier of this machine, with the system's name as the profile found it.
std::wstring MakeMachineId(const std::wstring& osName);
