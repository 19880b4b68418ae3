// The update window's colours: its own, or, in high contrast, the system's (window, text,
// highlight), so that a person who needs them reads every part of it.
#pragma once

#include <windows.h>

struct UpdatePalette {
  bool high_contrast;
  COLORREF background;
  COLORREF border;
  COLORREF header;      // the band
  COLORREF title;       // the title, and the close button's outline and cross, on the band
  COLORREF text;        // the body's texts, the buttons' outlines and the focus ring
  COLORREF track;       // the bar's background (in high contrast; otherwise its image)
  COLORREF fill;        // the bar's fill (in high contrast; otherwise its image)
  COLORREF buttonFace;  // the install button (in high contrast; otherwise its image)
  COLORREF word;        // the install button's word
  COLORREF focus;       // the focus ring (on the band: the title's colour in high contrast)
};

UpdatePalette OwnPalette();
// From the system's colours: COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT.
UpdatePalette HighContrastPalette(COLORREF window, COLORREF window_text, COLORREF highlight, COLORREF highlight_text);

// Whether high contrast is on (SPI_GETHIGHCONTRAST). Replaceable for tests; returns the previous reader.
using HighContrastReader = bool (*)();
HighContrastReader SetHighContrastReader(HighContrastReader reader);
// The palette for now: the system's colours when high contrast is on.
UpdatePalette CurrentPalette();
