// The entry points of FileAssociation.dll, exported under their undecorated names
// (FileAssociation.def).
#include <new>

#include "file_association_component.h"
#include "prog_id.h"

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
