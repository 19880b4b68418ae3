#include "update_layout.h"

#include <cstdio>

#include "dpi_scale.h"
#include "update_strings.h"

const wchar_t kYaHeiFamily[] = L"\u5fae\u8f6f\u96c5\u9ed1";  // 微软雅黑
const wchar_t kSongFamily[] = L"\u5b8b\u4f53";               // 宋体

namespace {

// Font sizes in points: the title's, and the body's two.
constexpr float kTitlePoints = 10.0f;
constexpr float kLargePoints = 10.0f;
constexpr float kSmallPoints = 9.0f;

// A 96-DPI rectangle given by its corner and size, scaled edge by edge, so that boxes that meet at
// 96 DPI meet at every scale.
RECT Scaled(int x, int y, int width, int height, int dpi) {
  return {ScaleLength(x, dpi), ScaleLength(y, dpi), ScaleLength(x + width, dpi), ScaleLength(y + height, dpi)};
}

LayoutBox ScaledBox(int x, int y, int width, int height, int dpi) {
  const RECT r = Scaled(x, y, width, height, dpi);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::wstring Percent(const wchar_t* format, int value) {
  wchar_t text[32] = {};
  std::swprintf(text, sizeof text / sizeof text[0], format, value);
  return text;
}

}  // namespace

UpdateLayout LayOutUpdateWindow(int dpi) {
  UpdateLayout l = {};
  l.dpi = dpi;
  l.client = {ScaleLength(kClientWidth96, dpi), ScaleLength(kClientHeight96, dpi)};
  l.line = ScaleLength(1, dpi);
  l.header = ScaleLength(35, dpi);
  l.logo = Scaled(8, 10, 16, 16, dpi);
  l.title = ScaledBox(28, 8, 220, 40, dpi);
  // The header's buttons hang from the top right corner, the install button from the bottom right.
  l.close = Scaled(kClientWidth96 - 30, 5, 25, 26, dpi);
  l.extra = Scaled(kClientWidth96 - 34, 6, 34, 20, dpi);
  l.install = Scaled(kClientWidth96 - 225, kClientHeight96 - 46, 110, 34, dpi);
  l.installWord = ScaledBox(kClientWidth96 - 225 + 48, kClientHeight96 - 46, 56, 34, dpi);
  l.downloadingImage = Scaled(58, 70, 32, 32, dpi);
  l.downloadingText = ScaledBox(58, 110, 150, 30, dpi);
  l.track = Scaled(58, 137, 250, 10, dpi);
  l.finishedText = ScaledBox(90, 100, 220, 40, dpi);
  l.message = ScaledBox(58, 100, 334, 60, dpi);
  return l;
}

LayoutBox ProgressFillBox(const UpdateLayout& layout, int percent) {
  const int clamped = percent < 0 ? 0 : percent > 100 ? 100 : percent;
  const int width = layout.track.right - layout.track.left;
  return {layout.track.left, layout.track.top, width * clamped / 100, layout.track.bottom - layout.track.top};
}

UpdateScene ComposeScene(const UpdateLayout& layout, UpdateView view, int percent, TextOf text) {
  const int dpi = layout.dpi;
  const ViewContent content = ContentOf(view);
  UpdateScene scene = {};
  scene.texts.push_back(
      {text(content.title), kYaHeiFamily, FontPixels(kTitlePoints, dpi), layout.title, SceneText::kTitle});
  scene.progress = content.progress;
  scene.install = content.install;
  if (content.progress) {
    scene.fill = ProgressFillBox(layout, percent);
    scene.texts.push_back(
        {text(content.message), kYaHeiFamily, FontPixels(kSmallPoints, dpi), layout.downloadingText, SceneText::kBody});
    // 100 percent before the checks have passed shows 99, in another font and place: the file is
    // not the installer until it has passed.
    const std::wstring format = text(IDS_UPDATE_PERCENT);
    if (percent == 100) {
      scene.texts.push_back({Percent(format.c_str(), 99), kYaHeiFamily, FontPixels(kSmallPoints, dpi),
                             ScaledBox(300, 95, 150, 30, dpi), SceneText::kBody});
    } else {
      scene.texts.push_back({Percent(format.c_str(), percent), kSongFamily, FontPixels(kSmallPoints, dpi),
                             ScaledBox(290, 115, 150, 30, dpi), SceneText::kBody});
    }
    return scene;
  }
  const bool finished = view == UpdateView::kFinished;
  scene.texts.push_back({text(content.message), kYaHeiFamily, FontPixels(kLargePoints, dpi),
                         finished ? layout.finishedText : layout.message, SceneText::kBody});
  if (content.install) {
    scene.texts.push_back({text(IDS_UPDATE_INSTALL), kYaHeiFamily, FontPixels(kLargePoints, dpi), layout.installWord,
                           SceneText::kOnButton});
  }
  return scene;
}
