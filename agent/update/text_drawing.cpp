#include "text_drawing.h"

namespace {

// Tried in turn when the generic family is missing (Wine has none). The window's texts are
// Chinese, which a Latin family draws as empty boxes: first the CJK families that Windows ships
// (simplified, then traditional Chinese, then Japanese), then the Latin ones for a system with none.
constexpr const wchar_t* kFallbackFamilies[] = {
    L"\u5b8b\u4f53",  // 宋体
    L"Microsoft YaHei", L"SimSun",          L"NSimSun", L"SimHei", L"Microsoft JhengHei",
    L"MS Gothic",       L"Liberation Sans", L"Arial",   L"Tahoma", L"DejaVu Sans"};

std::unique_ptr<Gdiplus::Font> FontOf(const Gdiplus::FontFamily* family, float points, INT style) {
  if (family == nullptr || family->GetLastStatus() != Gdiplus::Ok || !family->IsAvailable()) return nullptr;
  auto font = std::make_unique<Gdiplus::Font>(family, points, style, Gdiplus::UnitPoint);
  if (font->GetLastStatus() != Gdiplus::Ok || !font->IsAvailable()) return nullptr;
  return font;
}

std::unique_ptr<Gdiplus::Font> FontNamed(const wchar_t* name, float points, INT style) {
  const Gdiplus::FontFamily family(name);
  return FontOf(&family, points, style);
}

}  // namespace

bool FontFamilyAvailable(const wchar_t* family) {
  const Gdiplus::FontFamily found(family);
  return found.GetLastStatus() == Gdiplus::Ok && found.IsAvailable();
}

std::unique_ptr<Gdiplus::Font> MakeFontOrFallback(const wchar_t* family, float points, INT style) {
  if (auto font = FontNamed(family, points, style)) return font;
  if (auto font = FontOf(Gdiplus::FontFamily::GenericSansSerif(), points, style)) return font;
  for (const wchar_t* name : kFallbackFamilies) {
    if (auto font = FontNamed(name, points, style)) return font;
  }
  return nullptr;
}

Gdiplus::Status DrawTextAt(Gdiplus::Graphics* graphics, const wchar_t* text, const wchar_t* family, float points, int x,
                           int y, int width, int height, Gdiplus::Color colour, Gdiplus::StringAlignment alignment,
                           Gdiplus::StringAlignment line_alignment, BOOL underline, BOOL bold, BOOL hotkey_prefix) {
  Gdiplus::StringFormat format(Gdiplus::StringFormatFlagsLineLimit);
  format.SetAlignment(alignment);
  format.SetLineAlignment(line_alignment);
  format.SetTrimming(Gdiplus::StringTrimmingEllipsisWord);
  format.SetHotkeyPrefix(hotkey_prefix ? Gdiplus::HotkeyPrefixShow : Gdiplus::HotkeyPrefixNone);
  INT style = Gdiplus::FontStyleRegular;
  if (underline) style |= Gdiplus::FontStyleUnderline;
  if (bold) style |= Gdiplus::FontStyleBold;
  const std::unique_ptr<Gdiplus::Font> font = MakeFontOrFallback(family, points, style);
  if (!font) return Gdiplus::FontFamilyNotFound;
  const Gdiplus::SolidBrush brush(colour);
  const Gdiplus::RectF box(static_cast<Gdiplus::REAL>(x), static_cast<Gdiplus::REAL>(y),
                           static_cast<Gdiplus::REAL>(width), static_cast<Gdiplus::REAL>(height));
  return graphics->DrawString(text, -1, font.get(), box, &format, &brush);
}
