#include "record_offer.h"

#include <windows.h>
#include <shlwapi.h>

#include "client_profile.h"
#include "temp_folder.h"
#include "update_offer.h"
#include "update_target.h"

int RecordUpdateOffer(ClientProfile& profile, const UpdateOffer& offer) {
  profile.updateText1 = offer.text1;
  profile.updateText2 = offer.text2;
  profile.updateText3 = offer.text3;
  profile.updateUrl = offer.url;
  profile.updateSize = offer.size;

  const std::wstring folder = TempFolder();
  if (folder.empty()) return 0;
  const std::wstring name = FileNameFromUrl(offer.url);
  if (!IsSafeFileName(name)) return 0;
  const std::wstring target = folder + name;
  // The download never overwrites: an old file would stand in for the new one.
  if (PathFileExistsW(target.c_str())) DeleteFileW(target.c_str());
  profile.updateFilePath = target;
  return 1;
}
