// The contract between the registrar and the association component FileAssociation.dll, which
// the registrar loads at run time. Both are built against these declarations.
#pragma once

#include <cstddef>

// One file type handed to the component. The record crosses into the component, so its
// layout is fixed: four pointer-wide fields in this order.
struct FileAssociationItem {
  const wchar_t* extension;    // ".docx": lives in the constant file-type table
  const wchar_t* iconPath;     // full path of the icon file
  const wchar_t* handlerPath;  // full path of the program that opens the type
  void* reserved;              // always null
};

static_assert(sizeof(FileAssociationItem) == 4 * sizeof(void*), "four pointer-wide fields");
static_assert(offsetof(FileAssociationItem, extension) == 0 * sizeof(void*), "field 1");
static_assert(offsetof(FileAssociationItem, iconPath) == 1 * sizeof(void*), "field 2");
static_assert(offsetof(FileAssociationItem, handlerPath) == 2 * sizeof(void*), "field 3");
static_assert(offsetof(FileAssociationItem, reserved) == 3 * sizeof(void*), "field 4");
static_assert(sizeof(int) == 4, "the component answers with a 32-bit integer");

// The object CreateFileAssociation returns, reached through its table of virtual member
// functions. The registrar calls only the third and fourth entries; the first two are the
// component's own. On i686 the member functions are __thiscall on both sides, which deriving
// from this class makes the compiler check. The object is never released.
class IFileAssociation {
 public:
  // Slot 1: the identifier the object was created with, owned by the object.
  virtual const wchar_t* Identifier() = 0;
  // Slot 2: the ProgID used for an extension. Returns its length in characters, 0 for an
  // extension that can't be used; copies it with its NUL into buffer only when size (in
  // characters) exceeds that length.
  virtual int ProgIdFor(const wchar_t* extension, wchar_t* buffer, int size) = 0;
  // Slot 3: nonzero when the type already opens as wanted and is left alone.
  virtual int IsAssociated(const wchar_t* extension) = 0;
  // Slot 4: makes the type open with item->handlerPath and show item->iconPath. The strings are
  // the caller's and are gone after the call. The result means nothing to the registrar.
  virtual int Associate(const FileAssociationItem* item) = 0;

 protected:
  ~IFileAssociation() = default;
};

// The identifier the registrar creates the component with, and the handler it names: the
// launcher in its own folder. The uninstaller removes what was associated with both.
inline constexpr wchar_t kAssociationIdentifier[] = L"Quenvo2021";
inline constexpr wchar_t kLauncherFileName[] = L"Quenvodef.exe";

// The component's one export, a plain function: the caller removes the argument. Null means
// there is no component to talk to.
using CreateFileAssociationFn = IFileAssociation*(__cdecl*)(const wchar_t* identifier);

// The export's undecorated name, as GetProcAddress looks it up.
inline constexpr char kCreateFileAssociationExport[] = "CreateFileAssociation";
