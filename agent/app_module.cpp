#include "app_module.h"

HRESULT CAppModule::Init(_ATL_OBJMAP_ENTRY* /*objectMap*/, HINSTANCE /*instance*/, const GUID* /*libraryId*/) {
  return S_OK;
}

void CAppModule::Term() {}
