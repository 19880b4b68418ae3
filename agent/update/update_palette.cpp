#include "update_palette.h"

namespace {

bool SystemHighContrast() {
  HIGHCONTRASTW contrast = {};
  contrast.cbSize = sizeof contrast;
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

HighContrastReader g_reader = SystemHighContrast;

}  // namespace

UpdatePalette OwnPalette() {
  const COLORREF band = RGB(229, 207, 162);
  const COLORREF white = RGB(255, 255, 255);
  return {false,
          white,
          band,
          band,
          white,
          RGB(136, 136, 137),
          RGB(230, 230, 230),
          RGB(24, 158, 150),
          RGB(232, 135, 30),
          white,
          RGB(64, 64, 64)};
}

UpdatePalette HighContrastPalette(COLORREF window, COLORREF window_text, COLORREF highlight, COLORREF highlight_text) {
  return {true,   window,    window_text, highlight,   highlight_text, window_text,
          window, highlight, window,      window_text, window_text};
}

HighContrastReader SetHighContrastReader(HighContrastReader reader) {
  const HighContrastReader previous = g_reader;
  g_reader = reader;
  return previous;
}

UpdatePalette CurrentPalette() {
  if (!g_reader()) return OwnPalette();
  return HighContrastPalette(GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_HIGHLIGHT),
                             GetSysColor(COLOR_HIGHLIGHTTEXT));
}
