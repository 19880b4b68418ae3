// Test double of FileAssociation.dll that lacks the export the registrar looks for: it offers
// near misses only (another name, and the decorated name a stdcall export would get).
#include <windows.h>

extern "C" __declspec(dllexport) void* __cdecl CreateFileAssociationW(const wchar_t*) {
  return nullptr;
}
