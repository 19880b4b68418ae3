// One move-only owner for every kind of platform handle. Each handle kind supplies
// a traits class with its null value and its close function.
#pragma once

#include <windows.h>

namespace quenvo {

template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  ScopedHandle() = default;
  explicit ScopedHandle(Handle h) : handle_(h) {}
  ~ScopedHandle() { Close(); }

  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Take()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) Reset(other.Take());
    return *this;
  }

  Handle Get() const { return handle_; }
  bool IsValid() const { return Traits::IsValid(handle_); }
  explicit operator bool() const { return IsValid(); }

  Handle Take() {
    Handle h = handle_;
    handle_ = Traits::Null();
    return h;
  }
  void Reset(Handle h) {
    Close();
    handle_ = h;
  }
  void Close() {
    if (IsValid()) Traits::Close(handle_);
    handle_ = Traits::Null();
  }
  // For out-parameters of platform calls: closes what is held first.
  Handle* Receive() {
    Close();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Null();
};

template <typename H, typename CloseResult, CloseResult(WINAPI* CloseFn)(H)>
struct NullIsInvalidTraits {
  using Handle = H;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { CloseFn(h); }
};

// Kinds whose failure value is INVALID_HANDLE_VALUE rather than null.
template <BOOL(WINAPI* CloseFn)(HANDLE)>
struct InvalidIsInvalidTraits {
  using Handle = HANDLE;
  static Handle Null() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(Handle h) { CloseFn(h); }
};

// The screen's device context, from GetDC(nullptr): released, not deleted.
struct ScreenDcTraits {
  using Handle = HDC;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::ReleaseDC(nullptr, h); }
};

// A COM interface pointer: released, not closed.
template <typename Interface>
struct ComTraits {
  using Handle = Interface*;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { h->Release(); }
};

// WinInet's handles (HINTERNET is a plain pointer). The close function lives with the WinInet
// client, so that only the code that opens such handles needs <wininet.h>.
struct InternetHandleTraits {
  using Handle = void*;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h);
};

using ScopedKey = ScopedHandle<NullIsInvalidTraits<HKEY, LONG, ::RegCloseKey>>;
using ScopedFile = ScopedHandle<InvalidIsInvalidTraits<::CloseHandle>>;
using ScopedKernelHandle = ScopedHandle<NullIsInvalidTraits<HANDLE, BOOL, ::CloseHandle>>;  // events, threads
using ScopedFindHandle = ScopedHandle<InvalidIsInvalidTraits<::FindClose>>;
using ScopedInternet = ScopedHandle<InternetHandleTraits>;
using ScopedDc = ScopedHandle<NullIsInvalidTraits<HDC, BOOL, ::DeleteDC>>;
using ScopedGdiObject = ScopedHandle<NullIsInvalidTraits<HGDIOBJ, BOOL, ::DeleteObject>>;
using ScopedLocalMemory = ScopedHandle<NullIsInvalidTraits<HLOCAL, HLOCAL, ::LocalFree>>;  // LocalAlloc'd results
using ScopedLibrary = ScopedHandle<NullIsInvalidTraits<HMODULE, BOOL, ::FreeLibrary>>;     // LoadLibrary's
using ScopedScreenDc = ScopedHandle<ScreenDcTraits>;
template <typename Interface>
using ScopedCom = ScopedHandle<ComTraits<Interface>>;
using ScopedIcon = ScopedHandle<NullIsInvalidTraits<HICON, BOOL, ::DestroyIcon>>;

}  // namespace quenvo
