#include "file_association_component.h"

#include <windows.h>

#include <utility>

#include "classes_store.h"
#include "open_command.h"
#include "prog_id.h"
#include "scoped_handle.h"

using quenvo::ScopedKey;

namespace {

bool IsExistingFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

FileAssociationComponent::FileAssociationComponent(std::wstring identifier, std::wstring classesKey)
    : identifier_(std::move(identifier)), classesKey_(std::move(classesKey)) {}

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

int FileAssociationComponent::IsAssociated(const wchar_t* extension) {
  try {
    const std::wstring progId = ::ProgIdFor(identifier_, extension);
    if (progId.empty()) return 0;
    ScopedKey classes;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, classesKey_.c_str(), 0, KEY_READ, classes.Receive()) != ERROR_SUCCESS) {
      return 0;
    }
    // ProgIDs are key names, which the registry compares without case.
    if (CompareStringOrdinal(ReadDefaultText(classes.Get(), extension).c_str(), -1, progId.c_str(), -1, TRUE) !=
        CSTR_EQUAL) {
      return 0;
    }
    const std::wstring handler = HandlerOfCommand(ReadDefaultText(classes.Get(), progId + L"\\shell\\open\\command"));
    return !handler.empty() && IsExistingFile(handler) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int FileAssociationComponent::Associate(const FileAssociationItem* item) {
  try {
    if (item == nullptr || item->iconPath == nullptr || item->handlerPath == nullptr) return 0;
    AssociationRecord record;
    record.progId = ::ProgIdFor(identifier_, item->extension);
    record.openCommand = OpenCommandFor(item->handlerPath);
    if (record.progId.empty() || record.openCommand.empty()) return 0;
    record.extension = item->extension;
    record.iconPath = item->iconPath;
    ScopedKey classes;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, classesKey_.c_str(), 0, /*class*/ nullptr, 0, KEY_READ | KEY_WRITE,
                        /*security*/ nullptr, classes.Receive(), /*disposition*/ nullptr) != ERROR_SUCCESS) {
      return 0;
    }
    return WriteAssociation(classes.Get(), record) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}
