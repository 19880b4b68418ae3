// Offers the suite's document types to the association component, then tells the shell once.
#pragma once

#include <string>

#include "file_association.h"

// Loads "FileAssociation.dll" by its plain name from the program's own or the system folder (never
// from the current folder) and looks up its export. Null when the library or the export is
// missing. The library is never unloaded.
CreateFileAssociationFn FindCreateFileAssociation();

// Holds the component once it exists; it is reused for the rest of the process and never released.
class ComponentSlot {
 public:
  using Finder = CreateFileAssociationFn (*)();

  // The held component or, while none is held, find()'s factory called with "Quenvo2021",
  // whose result is kept, null or not. Without a factory the slot stays as it was.
  IFileAssociation* Obtain(Finder find);

 private:
  IFileAssociation* component_ = nullptr;
};

using ShellNotifier = void (*)();

// Tells the shell once that file associations changed.
void NotifyAssociationsChanged();

// Hands every type of the table that the component doesn't report as associated to Associate,
// in table order, with the handler and icon paths under folder (ending with a backslash), and
// then calls notify once. Without a component nothing is called at all.
void OfferFileTypes(IFileAssociation* component, const std::wstring& folder, ShellNotifier notify);

// The whole job of the program, with the process-wide component.
void RegisterFileAssociations();
