// Every length of the update window is written at 96 DPI and scaled here, by the window's own
// DPI, so that no other file multiplies by a DPI by hand.
#pragma once

#include <windows.h>

constexpr int kBaseDpi = 96;

// A 96-DPI length at dpi, rounded to the nearest pixel.
inline int ScaleLength(int length96, int dpi) {
  return MulDiv(length96, dpi, kBaseDpi);
}

// A font's em size in pixels at dpi: points are 1/72 inch.
inline float FontPixels(float points, int dpi) {
  return points * static_cast<float>(dpi) / 72.0f;
}
