// FileAssociation.dll: records per-user file associations for a program, the way a
// well-behaved application does: under HKEY_CURRENT_USER\Software\Classes only, never in the
// machine-wide classes and never in the shell's per-user "UserChoice".
//
// CreateFileAssociation(identifier) returns an object whose table of virtual member functions
// holds, in this order:
//   1. Identifier()                         the identifier the object was created with
//   2. ProgIdFor(extension, buffer, size)   the ProgID used for an extension
//   3. IsAssociated(extension)              nonzero when the extension already opens with it
//   4. Associate(item)                      records the association of item->extension
// The caller never releases the object; it lives until the process ends.
#pragma once

#include <string>

#include "file_association.h"

class FileAssociationComponent {
 public:
  // classesKey: the per-user classes key under HKEY_CURRENT_USER (another key only in tests).
  explicit FileAssociationComponent(std::wstring identifier, std::wstring classesKey = L"Software\\Classes");

  // Slot 1: the identifier, owned by the object.
  virtual const wchar_t* Identifier();
  // Slot 2: the ProgID for extension (identifier + extension, "Quenvo2021.docx"). Returns its
  // length in characters, 0 for an extension that can't be used; copies it with its NUL into
  // buffer only when size (in characters) exceeds that length.
  virtual int ProgIdFor(const wchar_t* extension, wchar_t* buffer, int size);
  // Slot 3: nonzero exactly when the extension's default value is this object's ProgID and that
  // ProgID's open command names a program file that exists.
  virtual int IsAssociated(const wchar_t* extension);
  // Slot 4: writes the ProgID's DefaultIcon and shell\open\command ("<handler>" "%1"), adds the
  // ProgID to the extension's OpenWithProgids and makes it the extension's default. The item's
  // strings are copied. Nonzero when every write succeeded.
  virtual int Associate(const FileAssociationItem* item);

 private:
  const std::wstring identifier_;
  const std::wstring classesKey_;
};

// The export, a plain (cdecl) function under its undecorated name (FileAssociation.def). Null for
// an identifier that can't name a ProgID, or when memory runs out.
extern "C" FileAssociationComponent* __cdecl CreateFileAssociation(const wchar_t* identifier);
