// Test tools save what a device context shows as PNG, through GDI+ (started by the caller).
#pragma once

#include <windows.h>

#include <string>

#include "gdiplus_include.h"
#include "scoped_handle.h"
#include "scoped_select.h"

// The area of `size` at `origin` of dc, copied into a bitmap and written to path as PNG.
inline bool SavePng(HDC dc, POINT origin, SIZE size, const std::wstring& path) {
  // The class identifier of GDI+'s built-in PNG encoder, the same in every GDI+.
  constexpr CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  const quenvo::ScopedDc memory(CreateCompatibleDC(dc));
  const quenvo::ScopedGdiObject bitmap(CreateCompatibleBitmap(dc, size.cx, size.cy));
  if (dc == nullptr || !memory || !bitmap) return false;
  {
    const quenvo::ScopedSelect select(memory.Get(), bitmap.Get());
    BitBlt(memory.Get(), 0, 0, size.cx, size.cy, dc, origin.x, origin.y, SRCCOPY);
  }
  Gdiplus::Bitmap image(static_cast<HBITMAP>(bitmap.Get()), nullptr);
  return image.GetLastStatus() == Gdiplus::Ok && image.Save(path.c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
}
