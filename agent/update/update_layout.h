// Where the update window puts things, as pure functions of the client size and the multipliers.
#pragma once

#include <windows.h>

#include <string>

// A rectangle as x, y, width and height, the form GDI+ takes.
struct LayoutBox {
  int x;
  int y;
  int width;
  int height;
};

// The header band is 35 pixels high whatever the multipliers are.
constexpr int kHeaderHeight = 35;

RECT CloseButtonRect(int client_width, int sx, int sy);
RECT ExtraButtonRect(int client_width, int sx, int sy);
// The install button is one frame of a three-frame strip: its size is the image's.
RECT InstallButtonRect(int client_width, int client_height, int sx, int sy, UINT image_width, UINT image_height);

LayoutBox TitleBox(int sx, int sy);
float TitleFontPoints(int sy);
LayoutBox DownloadingTextBox(int sx, int sy);
LayoutBox FinishedTextBox(int sx, int sy);
POINT TrackOrigin(int sx, int sy);

// The filled part of the progress bar. At 100 percent the bar starts further left and is wider.
LayoutBox ProgressFillBox(int percent, int sx, int sy);

struct PercentLabel {
  std::wstring text;
  const wchar_t* family;
  LayoutBox box;
};
// The percentage text: 100 percent is shown as 99, in another font and place.
PercentLabel PercentLabelFor(int percent, int sx, int sy);

// The layout multiplier for a display density: 1 at 96 DPI, the nearest whole number, at least 1.
int ScaleFromDpi(int dpi);
