// The C++ GDI+ headers need the COM basics in scope before them.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
