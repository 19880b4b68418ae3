// FileAssociation.dll: offers a program for file types the way Windows 7 to 11 expect, and
// leaves the choice to the user. It writes under HKEY_CURRENT_USER only: the ProgIDs, the
// launcher's Applications entry, its Capabilities and RegisteredApplications value, each
// extension's OpenWithProgids and, where the user chose nothing (no UserChoice or
// UserChoiceLatest), the extension's default. Where the installer registered the same launcher
// machine-wide, the user gets only the values that name our ProgIDs. It never writes, deletes or
// works around a user's choice: Windows 8 and later let only their own UI set it, and reset a
// default that a program forced.
//
// CreateFileAssociation(identifier) returns one of these; the caller never releases it, and it
// lives until the process ends.
#pragma once

#include <windows.h>

#include <string>

#include "file_association.h"

class FileAssociationComponent final : public IFileAssociation {
 public:
  explicit FileAssociationComponent(std::wstring identifier);

  const wchar_t* Identifier() override;
  // The ProgID is the identifier followed by the extension ("Quenvo2021.docx").
  int ProgIdFor(const wchar_t* extension, wchar_t* buffer, int size) override;
  // Nonzero exactly when the type opens with our launcher and is fully offered: the user's choice
  // names our ProgID or the launcher's Applications entry, whose command names the launcher (or,
  // without a choice, the extension's default names our ProgID), that ProgID's command names a
  // launcher that exists, and every item of the type's registration is there.
  int IsAssociated(const wchar_t* extension) override;
  // Registers the type for the user (see above); the item's strings are copied. Nonzero when
  // every write succeeded.
  int Associate(const FileAssociationItem* item) override;

 private:
  const std::wstring identifier_;
  // Tests point these predefined keys elsewhere (RegOverridePredefKey).
  const HKEY user_ = HKEY_CURRENT_USER;
  const HKEY machine_ = HKEY_LOCAL_MACHINE;
};

// The ProgId of the user's choice for the extension, or "" without one: UserChoiceLatest's where
// it holds one (Windows 11 24H2 and later), else UserChoice's.
std::wstring UserChoiceOf(HKEY user, const std::wstring& extension);
