// What a stand-in signature reader answers for a file whose signature is sound: it verifies,
// its chain is whole and trusted, and it may sign code. Only the signer's name varies.
#pragma once

#include <string>

#include "installer_check.h"

inline SignatureFacts SoundSignatureBy(const std::wstring& signer) {
  return {ERROR_SUCCESS, CERT_TRUST_NO_ERROR, /*code_signing*/ true, signer};
}
