// FileAssociation.dll: records per-user file associations for a program, the way a
// well-behaved application does: under HKEY_CURRENT_USER\Software\Classes only, never in the
// machine-wide classes and never in the shell's per-user "UserChoice".
//
// CreateFileAssociation(identifier) returns one of these; the caller never releases it, and it
// lives until the process ends.
#pragma once

#include <string>

#include "file_association.h"

class FileAssociationComponent final : public IFileAssociation {
 public:
  // classesKey: the per-user classes key under HKEY_CURRENT_USER (another key only in tests).
  explicit FileAssociationComponent(std::wstring identifier, std::wstring classesKey = L"Software\\Classes");

  const wchar_t* Identifier() override;
  // The ProgID is the identifier followed by the extension ("Quenvo2021.docx").
  int ProgIdFor(const wchar_t* extension, wchar_t* buffer, int size) override;
  // Nonzero exactly when the extension's default value is this object's ProgID and that
  // ProgID's open command names a program file that exists.
  int IsAssociated(const wchar_t* extension) override;
  // Writes the ProgID's DefaultIcon and shell\open\command ("<handler>" "%1"), adds the
  // ProgID to the extension's OpenWithProgids and makes it the extension's default. The item's
  // strings are copied. Nonzero when every write succeeded.
  int Associate(const FileAssociationItem* item) override;

 private:
  const std::wstring identifier_;
  const std::wstring classesKey_;
};
