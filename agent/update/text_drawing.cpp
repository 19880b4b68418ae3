#include "text_drawing.h"

namespace {

// Tried in turn when the generic family is missing (Wine has none). The window's texts may be
// Chinese, which a Latin family draws as empty boxes: first the CJK families that Windows ships
// (simplified, then traditional Chinese, then Japanese), then the Latin ones for a system with none.
constexpr const wchar_t* kFallbackFamilies[] = {
    L"\u5b8b\u4f53",  // 宋体
    L"Microsoft YaHei", L"SimSun",          L"NSimSun", L"SimHei", L"Microsoft JhengHei",
    L"MS Gothic",       L"Liberation Sans", L"Arial",   L"Tahoma", L"DejaVu Sans"};

std::unique_ptr<Gdiplus::Font> FontOf(const Gdiplus::FontFamily* family, float size, INT style, Gdiplus::Unit unit) {
  if (family == nullptr || family->GetLastStatus() != Gdiplus::Ok || !family->IsAvailable()) return nullptr;
  auto font = std::make_unique<Gdiplus::Font>(family, size, style, unit);
  if (font->GetLastStatus() != Gdiplus::Ok || !font->IsAvailable()) return nullptr;
  return font;
}

std::unique_ptr<Gdiplus::Font> FontNamed(const wchar_t* name, float size, INT style, Gdiplus::Unit unit) {
  const Gdiplus::FontFamily family(name);
  return FontOf(&family, size, style, unit);
}

}  // namespace

bool FontFamilyAvailable(const wchar_t* family) {
  const Gdiplus::FontFamily found(family);
  return found.GetLastStatus() == Gdiplus::Ok && found.IsAvailable();
}

std::unique_ptr<Gdiplus::Font> MakeFontOrFallback(const wchar_t* family, float size, INT style, Gdiplus::Unit unit) {
  if (auto font = FontNamed(family, size, style, unit)) return font;
  if (auto font = FontOf(Gdiplus::FontFamily::GenericSansSerif(), size, style, unit)) return font;
  for (const wchar_t* name : kFallbackFamilies) {
    if (auto font = FontNamed(name, size, style, unit)) return font;
  }
  return nullptr;
}

Gdiplus::Status DrawTextAt(Gdiplus::Graphics* graphics, const wchar_t* text, const wchar_t* family, float size, int x,
                           int y, int width, int height, Gdiplus::Color colour, Gdiplus::StringAlignment alignment,
                           Gdiplus::StringAlignment line_alignment, BOOL underline, BOOL bold, BOOL hotkey_prefix,
                           Gdiplus::Unit unit) {
  Gdiplus::StringFormat format(Gdiplus::StringFormatFlagsLineLimit);
  format.SetAlignment(alignment);
  format.SetLineAlignment(line_alignment);
  format.SetTrimming(Gdiplus::StringTrimmingEllipsisWord);
  format.SetHotkeyPrefix(hotkey_prefix ? Gdiplus::HotkeyPrefixShow : Gdiplus::HotkeyPrefixNone);
  INT style = Gdiplus::FontStyleRegular;
  if (underline) style |= Gdiplus::FontStyleUnderline;
  if (bold) style |= Gdiplus::FontStyleBold;
  const std::unique_ptr<Gdiplus::Font> font = MakeFontOrFallback(family, size, style, unit);
  if (!font) return Gdiplus::FontFamilyNotFound;
  const Gdiplus::SolidBrush brush(colour);
  const Gdiplus::RectF box(static_cast<Gdiplus::REAL>(x), static_cast<Gdiplus::REAL>(y),
                           static_cast<Gdiplus::REAL>(width), static_cast<Gdiplus::REAL>(height));
  return graphics->DrawString(text, -1, font.get(), box, &format, &brush);
}

namespace {

// The formats DrawTextAt and the title use.
void FormatFor(const SceneText& text, Gdiplus::StringFormat& format) {
  if (text.kind != SceneText::kTitle) format.SetFormatFlags(Gdiplus::StringFormatFlagsLineLimit);
  format.SetAlignment(Gdiplus::StringAlignmentNear);
  format.SetLineAlignment(text.kind == SceneText::kTitle ? Gdiplus::StringAlignmentNear
                                                         : Gdiplus::StringAlignmentCenter);
  format.SetTrimming(Gdiplus::StringTrimmingEllipsisWord);
  format.SetHotkeyPrefix(Gdiplus::HotkeyPrefixNone);
}

Gdiplus::RectF BoxOf(const SceneText& text) {
  return Gdiplus::RectF(static_cast<Gdiplus::REAL>(text.box.x), static_cast<Gdiplus::REAL>(text.box.y),
                        static_cast<Gdiplus::REAL>(text.box.width), static_cast<Gdiplus::REAL>(text.box.height));
}

}  // namespace

Gdiplus::Status DrawSceneText(Gdiplus::Graphics& graphics, const SceneText& text, Gdiplus::Color colour) {
  if (text.kind != SceneText::kTitle) {
    return DrawTextAt(&graphics, text.text.c_str(), text.family, text.pixels, text.box.x, text.box.y, text.box.width,
                      text.box.height, colour, Gdiplus::StringAlignmentNear, Gdiplus::StringAlignmentCenter, FALSE,
                      FALSE, FALSE, Gdiplus::UnitPixel);
  }
  Gdiplus::StringFormat format;
  FormatFor(text, format);
  const auto font = MakeFontOrFallback(text.family, text.pixels, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
  if (!font) return Gdiplus::FontFamilyNotFound;
  const Gdiplus::SolidBrush brush(colour);
  return graphics.DrawString(text.text.c_str(), -1, font.get(), BoxOf(text), &format, &brush);
}

TextFit MeasureSceneText(Gdiplus::Graphics& graphics, const SceneText& text) {
  TextFit fit;
  fit.length = static_cast<int>(text.text.size());
  Gdiplus::StringFormat format;
  FormatFor(text, format);
  const auto font = MakeFontOrFallback(text.family, text.pixels, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
  if (!font) return fit;
  INT fitted = 0, lines = 0;
  fit.drawn = graphics.MeasureString(text.text.c_str(), -1, font.get(), BoxOf(text), &format, &fit.bounds, &fitted,
                                     &lines) == Gdiplus::Ok;
  fit.fitted = fitted;
  return fit;
}
