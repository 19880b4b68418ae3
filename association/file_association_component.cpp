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

}  // namespace

std::wstring UserChoiceOf(HKEY user, const std::wstring& extension) {
  return ReadText(user,
                  L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\" + extension + L"\\UserChoice",
                  L"ProgId");
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
// per-user classes, so it could not be tested. The UserChoice comes first; without one the
// extension's default in the merged classes (the user's value, else the machine's).
int FileAssociationComponent::IsAssociated(const wchar_t* extension) {
  try {
    const std::wstring progId = ::ProgIdFor(identifier_, extension);
    if (progId.empty()) return 0;
    const auto merged = [&](const std::wstring& key) {
      const std::wstring text = ReadText(user_, kClasses + key);
      return text.empty() ? ReadText(machine_, kClasses + key) : text;
    };
    const std::wstring choice = UserChoiceOf(user_, extension);
    if (!SameName(choice.empty() ? merged(extension) : choice, progId)) return 0;
    const TypeRegistration type = {extension, progId, merged(progId + L"\\DefaultIcon"),
                                   HandlerOfCommand(merged(progId + L"\\shell\\open\\command")), choice.empty()};
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
