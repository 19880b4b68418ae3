// What a stand-in signature reader answers for a file whose signature is sound: it verifies,
// its chain is whole and trusted, and it may sign code. Only the signer's name varies.
#pragma once

#include <string>

#include "installer_check.h"

inline SignatureFacts SoundSignatureBy(const std::wstring& signer) {
  SignatureFacts facts;
  facts.trust = ERROR_SUCCESS;
  facts.chain_errors = CERT_TRUST_NO_ERROR;
  facts.code_signing = true;
  facts.signer = signer;
  return facts;
}
