#include "update_assets.h"

GdiplusSession::GdiplusSession() {
  Gdiplus::GdiplusStartupInput input;
  ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
}

GdiplusSession::~GdiplusSession() {
  if (ok_) Gdiplus::GdiplusShutdown(token_);
}

int UpdateImages::Load(const std::wstring& folder) {
  int loaded = 0;
  for (int i = 0; i < 7; ++i) {
    auto image = std::make_unique<Gdiplus::Image>((folder + kFileNames[i]).c_str());
    if (image->GetLastStatus() == Gdiplus::Ok && image->GetWidth() > 0) {
      images_[i] = std::move(image);
      ++loaded;
    } else {
      images_[i].reset();
    }
  }
  return loaded;
}

void UpdateImages::Publish(ClientProfile& profile) const {
  Gdiplus::Image** slots[7] = {&profile.downloadingImage,   &profile.closeButtonImage, &profile.logoImage,
                               &profile.installButtonImage, &profile.trackImage,       &profile.fillImage,
                               &profile.extraButtonImage};
  for (int i = 0; i < 7; ++i) *slots[i] = images_[i].get();
}

int ScreenDpi() {
  const HDC screen = ::GetDC(nullptr);
  if (screen == nullptr) return 96;
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}
