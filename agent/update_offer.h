// The update server's answer to the version query: "key=value**" fields in any order.
#pragma once

#include <string>

extern const wchar_t kUpdateThreshold[];  // "1.0.0.3"

struct UpdateOffer {
  std::wstring version;  // "v="
  std::wstring text1;    // "t1="
  std::wstring text2;    // "t2="
  std::wstring text3;    // "t3="
  std::wstring url;      // "u="
  std::wstring size;     // "sz=", decimal bytes
};

// Each field is the text between the first occurrence of its key anywhere in the reply and
// the next "**"; a missing key or closing "**" gives "".
UpdateOffer ParseVersionReply(const std::wstring& reply);

// Newer means greater than the threshold as plain text, UTF-16 unit by unit, not by number:
// "1.0.0.4" and "2" are newer, "1.0.0.10" is not.
bool IsNewerVersion(const std::wstring& version);
