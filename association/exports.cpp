// The entry points of FileAssociation.dll, exported under their undecorated names
// (FileAssociation.def).
#include <windows.h>
#include <shlobj.h>

#include <new>

#include "file_association_component.h"
#include "prog_id.h"
#include "remove_associations.h"
#include "running_program.h"

// A plain (cdecl) function. Null for an identifier that can't name a ProgID, or when memory
// runs out.
extern "C" IFileAssociation* __cdecl CreateFileAssociation(const wchar_t* identifier) {
  if (!IsUsableIdentifier(identifier)) return nullptr;
  try {
    return new (std::nothrow) FileAssociationComponent(identifier);
  } catch (...) {
    return nullptr;  // the identifier's copy found no memory
  }
}

// For "rundll32 FileAssociation.dll,RemoveFileAssociations", which the uninstaller runs as the
// user, after the package's machine-wide registration is gone: removes this user's registration of
// the launcher beside this DLL, and the values that named its ProgIDs, then tells the shell once. The arguments are
// rundll32's and mean nothing here.
extern "C" void CALLBACK RemoveFileAssociations(HWND, HINSTANCE, LPSTR, int) {
  try {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&RemoveFileAssociations), &self);
    const std::wstring handler = ModuleFolder(self) + kLauncherFileName;
    RemoveAssociations(HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, kAssociationIdentifier, handler);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST | SHCNF_FLUSHNOWAIT, /*item1*/ nullptr, /*item2*/ nullptr);
  } catch (...) {
    // Nothing may cross into rundll32.
  }
}
