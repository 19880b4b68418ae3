#include "file_association_component.h"

#include <utility>
#include <vector>

#include "item_store.h"
#include "open_command.h"
#include "prog_id.h"
#include "registration.h"

namespace {

bool IsExistingFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The installer registered the program machine-wide: every item that is not the user's alone.
bool MachineHoldsProgram(HKEY machine, const std::vector<RegistryItem>& items) {
  for (const RegistryItem& item : items) {
    if (!item.userOnly && !Holds(machine, item)) return false;
  }
  return true;
}

// Whether the user's choice (or, without one, the class default) names our launcher: our ProgID,
// or the launcher's own Applications entry. Open with records a program that the user browsed to
// as "Applications\<file name>", which the shell opens through that entry's command (Microsoft's
// Application Registration: the Applications subkey, keyed by the executable's file name). An
// AppX ProgId is a packaged app's, another program's, and matches neither.
bool ChoiceIsOurs(const std::wstring& choice, const std::wstring& progId, const std::wstring& handler,
                  const std::wstring& applicationCommand) {
  if (SameName(choice, progId)) return true;
  return SameName(kClasses + choice, ApplicationKeyOf(handler)) &&
         SameName(HandlerOfCommand(applicationCommand), handler);
}

}  // namespace

// Both keys are read, never written: Windows protects the choice with a hash that only its own UI
// computes, and resets a choice that a program forged.
std::wstring UserChoiceOf(HKEY user, const std::wstring& extension) {
  const std::wstring fileExts = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\" + extension;
  // Windows 11 24H2 keeps the choice in UserChoiceLatest\ProgId (value ProgId) and no longer
  // mirrors it into UserChoice, which can then name a program the user has since replaced.
  // Microsoft's pages do not document this key; Microsoft's own PowerToys reads the choice there
  // first, and so do we.
  const std::wstring latest = ReadText(user, fileExts + L"\\UserChoiceLatest\\ProgId", L"ProgId");
  // UserChoice: the user's per-user default, which Windows 8 and later put before any class
  // default (Microsoft's Default Programs pages; QueryCurrentDefault answers it for AL_EFFECTIVE).
  return latest.empty() ? ReadText(user, fileExts + L"\\UserChoice", L"ProgId") : latest;
}

FileAssociationComponent::FileAssociationComponent(std::wstring identifier) : identifier_(std::move(identifier)) {}

const wchar_t* FileAssociationComponent::Identifier() {
  return identifier_.c_str();
}

int FileAssociationComponent::ProgIdFor(const wchar_t* extension, wchar_t* buffer, int size) {
  try {
    const std::wstring progId = ::ProgIdFor(identifier_, extension);
    const int length = static_cast<int>(progId.size());
    if (length > 0 && buffer != nullptr && size > length) {
      progId.copy(buffer, progId.size());
      buffer[length] = L'\0';
    }
    return length;
  } catch (...) {
    return 0;
  }
}

// What Windows reads, read here directly: IApplicationAssociationRegistration::QueryCurrentDefault
// (AL_EFFECTIVE) would answer the same on Windows, but Wine's ignores both the UserChoice and the
// per-user classes, so it could not be tested. The user's choice comes first (UserChoiceOf);
// without one the extension's default in the merged classes (the user's value, else the machine's).
int FileAssociationComponent::IsAssociated(const wchar_t* extension) {
  try {
    const std::wstring progId = ::ProgIdFor(identifier_, extension);
    if (progId.empty()) return 0;
    const auto merged = [&](const std::wstring& key) {
      const std::wstring text = ReadText(user_, kClasses + key);
      return text.empty() ? ReadText(machine_, kClasses + key) : text;
    };
    const std::wstring userChoice = UserChoiceOf(user_, extension);
    const std::wstring choice = userChoice.empty() ? merged(extension) : userChoice;
    const std::wstring handler = HandlerOfCommand(merged(progId + L"\\shell\\open\\command"));
    if (!ChoiceIsOurs(choice, progId, handler, merged(choice + L"\\shell\\open\\command"))) return 0;
    const TypeRegistration type = {extension, progId, merged(progId + L"\\DefaultIcon"), handler, userChoice.empty()};
    if (!IsExistingFile(type.handlerPath)) return 0;
    const std::vector<RegistryItem> items = RegistrationItems(type);
    if (items.empty()) return 0;
    for (const RegistryItem& item : items) {
      if (!Holds(user_, item) && !Holds(machine_, item)) return 0;
    }
    // A per-user copy of a machine-wide ProgID (left by an earlier version) would outlive the
    // package's removal: Associate takes it back.
    return MachineHoldsProgram(machine_, items) && KeyExists(user_, kClasses + progId) ? 0 : 1;
  } catch (...) {
    return 0;
  }
}

int FileAssociationComponent::Associate(const FileAssociationItem* item) {
  try {
    if (item == nullptr || item->iconPath == nullptr || item->handlerPath == nullptr) return 0;
    const std::wstring progId = ::ProgIdFor(identifier_, item->extension);
    if (progId.empty()) return 0;
    const TypeRegistration type = {item->extension, progId, item->iconPath, item->handlerPath,
                                   UserChoiceOf(user_, item->extension).empty()};
    const std::vector<RegistryItem> items = RegistrationItems(type);
    if (items.empty()) return 0;
    // Registered machine-wide for this very launcher: what names our files stays there (and goes
    // with the package), and the user gets only the values that name our ProgID.
    const bool machineWide = MachineHoldsProgram(machine_, items);
    if (machineWide &&
        SameName(HandlerOfCommand(ReadText(user_, kClasses + progId + L"\\shell\\open\\command")), type.handlerPath)) {
      RegDeleteTreeW(user_, (kClasses + progId).c_str());
    }
    bool ok = true;
    for (const RegistryItem& entry : items) {
      if (!entry.userOnly && !machineWide) ok = Write(user_, entry) && ok;
    }
    if (!ok) return 0;  // no value may point at a half-written ProgID
    for (const RegistryItem& entry : items) {
      if (entry.userOnly) ok = Write(user_, entry) && ok;
    }
    return ok ? 1 : 0;
  } catch (...) {
    return 0;
  }
}
