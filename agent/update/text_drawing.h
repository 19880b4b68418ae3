// Text drawing with GDI+ and the font fallback that every text of the update window shares.
#pragma once

#include <windows.h>

#include <memory>

#include "gdiplus_include.h"

// A font of the named family; when that family can't be found or no font can be made from it,
// the generic sans-serif family, then a few common sans-serif families by name. Null when
// nothing can be made: the caller then skips its text.
std::unique_ptr<Gdiplus::Font> MakeFontOrFallback(const wchar_t* family, float points, INT style);

// Whether the named family itself is installed (no fallback).
bool FontFamilyAvailable(const wchar_t* family);

Gdiplus::Status DrawTextAt(Gdiplus::Graphics* graphics, const wchar_t* text, const wchar_t* family, float points, int x,
                           int y, int width, int height, Gdiplus::Color colour, Gdiplus::StringAlignment alignment,
                           Gdiplus::StringAlignment line_alignment, BOOL underline, BOOL bold, BOOL hotkey_prefix);
