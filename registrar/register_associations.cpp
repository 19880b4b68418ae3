#include "register_associations.h"

#include <windows.h>
#include <shlobj.h>

#include "file_types.h"
#include "running_program.h"

namespace {

// Keeps the current folder (and PATH) out of the library search, so that a FileAssociation.dll
// planted where the registrar happens to be started from is never loaded. The program's own
// folder and the system folder are still searched, in that order. Systems without
// SetDefaultDllDirectories at least lose the current folder.
void RestrictLibrarySearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) SetDllDirectoryW(L"");
}

}  // namespace

CreateFileAssociationFn FindCreateFileAssociation() {
  RestrictLibrarySearch();
  // Plain name, no folder in front: the search order decides.
  const HMODULE library = LoadLibraryW(L"FileAssociation.dll");
  if (library == nullptr) return nullptr;
  return reinterpret_cast<CreateFileAssociationFn>(
      reinterpret_cast<void*>(GetProcAddress(library, kCreateFileAssociationExport)));
}

IFileAssociation* ComponentSlot::Obtain(Finder find) {
  if (component_ != nullptr) return component_;
  const CreateFileAssociationFn create = find();
  if (create != nullptr) component_ = create(kAssociationIdentifier);
  return component_;
}

void NotifyAssociationsChanged() {
  // SHCNF_FLUSHNOWAIT (0x3000) includes SHCNF_FLUSH: delivered now, without waiting for the shell.
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST | SHCNF_FLUSHNOWAIT, /*item1*/ nullptr, /*item2*/ nullptr);
}

void OfferFileTypes(IFileAssociation* component, const std::wstring& folder, ShellNotifier notify) {
  if (component == nullptr) return;
  FileAssociationItem item = {};
  for (const FileTypeEntry& entry : FileTypeTable) {
    if (component->IsAssociated(entry.extension) != 0) continue;
    // Both paths live only for the call: the component copies what it keeps.
    const std::wstring handlerPath = HandlerPathOf(folder, entry);
    const std::wstring iconPath = IconPathOf(folder, entry);
    item.extension = entry.extension;
    item.iconPath = iconPath.c_str();
    item.handlerPath = handlerPath.c_str();
    component->Associate(&item);
  }
  notify();
}

namespace {
ComponentSlot g_component;
}  // namespace

void RegisterFileAssociations() {
  IFileAssociation* component = g_component.Obtain(FindCreateFileAssociation);
  if (component == nullptr) return;
  OfferFileTypes(component, ProgramFolder(), NotifyAssociationsChanged);
}
