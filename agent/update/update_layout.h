// Where the update window puts things: pure arithmetic of the window's own DPI. Every length is
// written at 96 DPI and scaled by ScaleLength, so the window keeps its proportions at any scale;
// at 96 DPI it is the window's original layout, pixel for pixel.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "update_view.h"

// A rectangle as x, y, width and height, the form GDI+ takes.
struct LayoutBox {
  int x;
  int y;
  int width;
  int height;
};

// The client area at 96 DPI.
constexpr int kClientWidth96 = 450;
constexpr int kClientHeight96 = 260;

struct UpdateLayout {
  int dpi;
  SIZE client;
  int line;    // the border's and the focus ring's width
  int header;  // the band's height
  RECT logo;
  LayoutBox title;
  RECT close;
  RECT extra;
  RECT install;
  LayoutBox installWord;  // on the install button, right of its arrow
  RECT downloadingImage;
  LayoutBox downloadingText;
  RECT track;
  LayoutBox finishedText;
  LayoutBox message;  // the sentence of the states without progress
};
UpdateLayout LayOutUpdateWindow(int dpi);

// The filled part of the progress bar: inside the track, full exactly at 100 percent.
LayoutBox ProgressFillBox(const UpdateLayout& layout, int percent);

// The texts' font families; a missing one falls back to a sans-serif family.
extern const wchar_t kYaHeiFamily[];  // "微软雅黑"
extern const wchar_t kSongFamily[];   // "宋体"

// One text of the window as it is drawn.
struct SceneText {
  std::wstring text;
  const wchar_t* family;
  float pixels;  // the font's em size at the window's DPI
  LayoutBox box;
  enum Kind { kTitle, kBody, kOnButton } kind;
};

// Everything a state of the window draws, apart from the header, the border and the close button.
struct UpdateScene {
  std::vector<SceneText> texts;  // the title first
  bool progress;                 // the arrow image, the track and the fill
  LayoutBox fill;
  bool install;  // the install button
};

// A string of the window's tables by id (LoadString; a table of fixed texts in tests).
using TextOf = std::wstring (*)(UINT id);
UpdateScene ComposeScene(const UpdateLayout& layout, UpdateView view, int percent, TextOf text);
