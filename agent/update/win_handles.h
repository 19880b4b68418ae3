// Scoped owners for the handle kinds that the update presenter uses.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "scoped_handle.h"

namespace quenvo {

using ScopedInternet = ScopedHandle<NullIsInvalidTraits<HINTERNET, BOOL, ::InternetCloseHandle>>;
using ScopedDc = ScopedHandle<NullIsInvalidTraits<HDC, BOOL, ::DeleteDC>>;
using ScopedGdiObject = ScopedHandle<NullIsInvalidTraits<HGDIOBJ, BOOL, ::DeleteObject>>;

// FindFirstFileW reports failure as INVALID_HANDLE_VALUE, not null.
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Null() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(Handle h) { ::FindClose(h); }
};
using ScopedFindHandle = ScopedHandle<FindHandleTraits>;

// Selects a GDI object into a device context and puts the old one back.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~ScopedSelect() {
    if (old_ != nullptr && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
  }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace quenvo
