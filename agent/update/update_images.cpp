#include "update_images.h"

#include <shlwapi.h>

#include <utility>

#include "dpi_scale.h"
#include "update_art.h"

namespace {

// Both sets in the order of the profile's references.
constexpr WORD kImageIds[2][7] = {
    {IDR_DOWNLOADING_1X, IDR_CLOSE_1X, IDR_LOGO_1X, IDR_INSTALL_1X, IDR_TRACK_1X, IDR_FILL_1X, IDR_EXTRA_1X},
    {IDR_DOWNLOADING_2X, IDR_CLOSE_2X, IDR_LOGO_2X, IDR_INSTALL_2X, IDR_TRACK_2X, IDR_FILL_2X, IDR_EXTRA_2X}};

// The image in resource `id` of module (RT_RCDATA, PNG), decoded by GDI+ from a memory stream of
// its bytes; false, with `stream` and `image` untouched, when there is none or it doesn't decode.
bool LoadImageResource(HMODULE module, WORD id, quenvo::ScopedCom<IStream>& stream,
                       std::unique_ptr<Gdiplus::Image>& image) {
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
  if (found == nullptr) return false;
  const DWORD size = SizeofResource(module, found);
  // A loaded module's resources stay mapped until it is unloaded: nothing to free here.
  const HGLOBAL resource = LoadResource(module, found);
  const void* bytes = resource != nullptr ? LockResource(resource) : nullptr;
  if (bytes == nullptr || size == 0) return false;
  // The stream holds a copy of the bytes.
  quenvo::ScopedCom<IStream> source(SHCreateMemStream(static_cast<const BYTE*>(bytes), size));
  if (!source) return false;
  auto bitmap = std::make_unique<Gdiplus::Bitmap>(source.Get());
  if (bitmap->GetLastStatus() != Gdiplus::Ok || bitmap->GetWidth() == 0) return false;
  stream = std::move(source);
  image = std::move(bitmap);
  return true;
}

}  // namespace

GdiplusSession::GdiplusSession() {
  Gdiplus::GdiplusStartupInput input;
  ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
}

GdiplusSession::~GdiplusSession() {
  if (ok_) Gdiplus::GdiplusShutdown(token_);
}

int UpdateImages::Load(HMODULE module) {
  int loaded = 0;
  for (int set = 0; set < 2; ++set) {
    for (int i = 0; i < 7; ++i) {
      Loaded& slot = images_[set][i];
      slot.image.reset();  // before its stream
      slot.stream.Close();
      if (LoadImageResource(module, kImageIds[set][i], slot.stream, slot.image)) ++loaded;
    }
  }
  return loaded;
}

void UpdateImages::Publish(ClientProfile& profile, int dpi) const {
  Gdiplus::Image** references[7] = {&profile.downloadingImage,   &profile.closeButtonImage, &profile.logoImage,
                                    &profile.installButtonImage, &profile.trackImage,       &profile.fillImage,
                                    &profile.extraButtonImage};
  // Above 96 DPI the window draws the larger drawing down, never the smaller one up.
  const Loaded(&set)[7] = images_[dpi > kBaseDpi ? 1 : 0];
  for (int i = 0; i < 7; ++i) *references[i] = set[i].image.get();
}
