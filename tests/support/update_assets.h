// What the agent never sets up for the update window: GDI+, the seven images and the
// layout multipliers. Only the harness and the tests that draw the window or its buttons use this.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "client_profile.h"
#include "gdiplus_include.h"

// GDI+ started for the life of the object.
class GdiplusSession {
 public:
  GdiplusSession();
  ~GdiplusSession();
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  bool ok() const { return ok_; }

 private:
  ULONG_PTR token_ = 0;
  bool ok_ = false;
};

// The window's images, loaded from PNG files of one folder and owned here.
class UpdateImages {
 public:
  // The file names in a folder of images, in the profile's order.
  static constexpr const wchar_t* kFileNames[7] = {L"downloading.png", L"close.png", L"logo.png", L"install.png",
                                                   L"track.png",       L"fill.png",  L"extra.png"};

  // Loads what it can from `folder` (with its trailing backslash); returns how many loaded.
  int Load(const std::wstring& folder);
  // Points the profile's image references at the loaded images (missing ones as null).
  void Publish(ClientProfile& profile) const;

 private:
  std::unique_ptr<Gdiplus::Image> images_[7];
};

// The screen's horizontal density in dots per inch.
int ScreenDpi();
