// Text drawing with GDI+ and the font fallback that every text of the update window shares.
#pragma once

#include <windows.h>

#include <memory>

#include "gdiplus_include.h"
#include "update_layout.h"

// A font of the named family; when that family can't be found or no font can be made from it,
// the generic sans-serif family, then a few common sans-serif families by name. Null when
// nothing can be made: the caller then skips its text.
// The size is in `unit`: points follow the drawing surface's DPI, pixels are the caller's own scale.
std::unique_ptr<Gdiplus::Font> MakeFontOrFallback(const wchar_t* family, float size, INT style,
                                                  Gdiplus::Unit unit = Gdiplus::UnitPoint);

// Whether the named family itself is installed (no fallback).
bool FontFamilyAvailable(const wchar_t* family);

Gdiplus::Status DrawTextAt(Gdiplus::Graphics* graphics, const wchar_t* text, const wchar_t* family, float size, int x,
                           int y, int width, int height, Gdiplus::Color colour, Gdiplus::StringAlignment alignment,
                           Gdiplus::StringAlignment line_alignment, BOOL underline, BOOL bold, BOOL hotkey_prefix,
                           Gdiplus::Unit unit = Gdiplus::UnitPoint);

// A text of the update window: the title near the top of its box, a body text centred on its
// lines, wrapped, and cut with an ellipsis only where it can't fit.
Gdiplus::Status DrawSceneText(Gdiplus::Graphics& graphics, const SceneText& text, Gdiplus::Color colour);

// How a text of the window fits its box, measured as it is drawn.
struct TextFit {
  bool drawn = false;     // a font could be made
  int fitted = 0;         // UTF-16 units laid out in the box
  int length = 0;         // UTF-16 units of the text
  Gdiplus::RectF bounds;  // what the laid-out lines cover
  bool Whole() const { return drawn && fitted == length; }
};
TextFit MeasureSceneText(Gdiplus::Graphics& graphics, const SceneText& text);
