#include "update_layout.h"

#include <cstdio>

#include "update_texts.h"

RECT CloseButtonRect(int client_width, int sx, int sy) {
  return {client_width - 30 * sx, 5 * sy, client_width - 5 * sx, 31 * sy};
}

RECT ExtraButtonRect(int client_width, int sx, int sy) {
  return {client_width - 34 * sx, 6 * sy, client_width, 26 * sy};
}

RECT InstallButtonRect(int client_width, int client_height, int sx, int sy, UINT image_width, UINT image_height) {
  const LONG left = client_width - 225 * sx;
  const LONG top = client_height - 46 * sy;
  return {left, top, left + static_cast<LONG>(image_width / 3), top + static_cast<LONG>(image_height)};
}

LayoutBox TitleBox(int sx, int sy) {
  return {28 * sx, 8 * sy, 220 * sx, 40 * sy};
}

float TitleFontPoints(int sy) {
  return static_cast<float>(10 * sy);
}

LayoutBox DownloadingTextBox(int sx, int sy) {
  return {58 * sx, 110 * sy, 150 * sx, 30 * sy};
}

LayoutBox FinishedTextBox(int sx, int sy) {
  return {90 * sx, 100 * sy, 220 * sx, 40 * sy};
}

POINT TrackOrigin(int sx, int sy) {
  return {58 * sx, 137 * sy};
}

LayoutBox ProgressFillBox(int percent, int sx, int sy) {
  if (percent == 100) return {28 * sx, 137 * sy, 297 * sx, 10 * sy};
  const int width = static_cast<int>(static_cast<double>(percent) * 2.5 * sx);
  return {56 * sx, 137 * sy, width, 10 * sy};
}

PercentLabel PercentLabelFor(int percent, int sx, int sy) {
  wchar_t text[32];
  if (percent == 100) {
    std::swprintf(text, sizeof text / sizeof text[0], kPercentFormat, 99);
    return {text, kYaHeiFamily, {300 * sx, 95 * sy, 150 * sx, 30 * sy}};
  }
  std::swprintf(text, sizeof text / sizeof text[0], kPercentFormat, percent);
  return {text, kSongFamily, {290 * sx, 115 * sy, 150 * sx, 30 * sy}};
}

int ScaleFromDpi(int dpi) {
  const int scale = (dpi + 48) / 96;
  return scale < 1 ? 1 : scale;
}
