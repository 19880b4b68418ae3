// The program's module object: the instance handle that window classes and resources are
// registered against. The agent needs no object map or type library, so it keeps only that.
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

 private:
  HINSTANCE instance_ = nullptr;
};

// Defined in main.cpp, before every other static object of the program.
extern CAppModule _Module;
