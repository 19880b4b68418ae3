// The C++ GDI+ headers need min/max and the COM basics in scope before them.
#pragma once

#include <windows.h>

#include <algorithm>
using std::max;
using std::min;
#include <objidl.h>
#include <gdiplus.h>
