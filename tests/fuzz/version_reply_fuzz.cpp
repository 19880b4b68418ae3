#include <cstdlib>

#include "fuzz_input.h"
#include "update_offer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring reply = WideFrom(data, size);
  const UpdateOffer offer = ParseVersionReply(reply);
  // A value is only ever found behind its key and before a closing mark.
  const std::pair<const wchar_t*, const std::wstring*> fields[] = {{L"v=", &offer.version}, {L"t1=", &offer.text1},
                                                                   {L"t2=", &offer.text2},  {L"t3=", &offer.text3},
                                                                   {L"u=", &offer.url},     {L"sz=", &offer.size}};
  for (const auto& [key, value] : fields) {
    if (!value->empty() && reply.find(key + *value + L"**") == std::wstring::npos) abort();
    if (value->find(L"**") != std::wstring::npos) abort();
  }
  if (IsNewerVersion(offer.version) != (offer.version > std::wstring(L"1.0.0.3"))) abort();
  return 0;
}
