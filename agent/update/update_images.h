// What the update window draws with: GDI+ and its seven images, from the program's own
// resources (update_art.rc), in the drawing for the window's DPI.
#pragma once

#include <windows.h>

#include <memory>

#include "client_profile.h"
#include "gdiplus_include.h"
#include "scoped_handle.h"

// GDI+ started for the life of the object (the agent starts and shuts it down itself).
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

// The window's seven images, both drawings, from a module's resources; owned here. Load and
// Publish need a GdiplusSession that outlives this object.
class UpdateImages {
 public:
  // Loads both sets from `module`'s RT_RCDATA resources (update_art.h), replacing what was
  // loaded; returns how many of the 14 loaded. One that fails is left out (null).
  int Load(HMODULE module);
  // Points the profile's seven image references (ClientProfile::downloadingImage ...
  // extraButtonImage) at the set drawn for dpi: the 1x set up to 96 DPI, the 2x set above.
  void Publish(ClientProfile& profile, int dpi) const;

 private:
  // An image and the stream it was made from: GDI+ may read the stream again for as long as the
  // image lives, so the image is declared last and goes first.
  struct Loaded {
    quenvo::ScopedCom<IStream> stream;
    std::unique_ptr<Gdiplus::Image> image;
  };
  Loaded images_[2][7];  // [0] drawn for 96 DPI, [1] at twice the size
};
