#include "update_offer.h"

#include "text.h"

const wchar_t kUpdateThreshold[] = L"1.0.0.3";

namespace {

std::wstring Field(const std::wstring& reply, const wchar_t* key) {
  return TextBetween(reply, key, L"**");
}

}  // namespace

UpdateOffer ParseVersionReply(const std::wstring& reply) {
  UpdateOffer offer;
  offer.version = Field(reply, L"v=");
  offer.text1 = Field(reply, L"t1=");
  offer.text2 = Field(reply, L"t2=");
  offer.text3 = Field(reply, L"t3=");
  offer.url = Field(reply, L"u=");
  offer.size = Field(reply, L"sz=");
  return offer;
}

bool IsNewerVersion(const std::wstring& version) {
  return version.compare(kUpdateThreshold) > 0;
}
