// Who this process runs as, and locks between that user's processes.
#pragma once

#include <string>

#include "scoped_handle.h"

// The process user's SID as text ("S-1-5-21-…"), or "" when the token can't be read.
std::wstring ProcessUserSid();

// A named mutex that only `sid` may open, created or opened with just the rights a wait and a
// release need; null when it can't be had (another account made the name and keeps it from us).
quenvo::ScopedKernelHandle OpenUserMutex(const std::wstring& name, const std::wstring& sid);
