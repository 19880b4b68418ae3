// The program's module object. The agent needs no object map, type library or stored instance
// (its window classes are registered against GetModuleHandleW), so Init and Term only mark the
// points of start-up and teardown.
#pragma once

#include <windows.h>

struct _ATL_OBJMAP_ENTRY;

class CAppModule {
 public:
  CAppModule() = default;
  CAppModule(const CAppModule&) = delete;
  CAppModule& operator=(const CAppModule&) = delete;

  // Same argument order as the window framework's module: object map, instance, type library.
  HRESULT Init(_ATL_OBJMAP_ENTRY* objectMap, HINSTANCE instance, const GUID* libraryId = nullptr);
  void Term();
};

// Defined in main.cpp, before every other static object of the program.
extern CAppModule _Module;
