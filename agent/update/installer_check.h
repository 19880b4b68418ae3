// Whether a stored installer is the one on offer: the size the offer named, and a valid
// Authenticode signature by the publisher. The offer and the transfer travel over plain HTTP,
// so the signature is what tells the publisher's installer from any other file of that size.
#pragma once

#include <windows.h>

#include <string>

// The publisher whose signature an installer must carry: the signing certificate's subject
// common name.
extern const wchar_t kPublisher[];

// What the platform says of a file's signature.
struct SignatureFacts {
  LONG trust = TRUST_E_NOSIGNATURE;  // WinVerifyTrust's answer
  DWORD chain_errors = 0xFFFFFFFF;   // the signer's chain error status; 0: whole and trusted
  bool code_signing = false;         // the signing certificate names the code-signing purpose
  std::wstring signer;               // the signing certificate's subject common name
};

// The decision: the signature verifies, the signer's chain reaches a trusted root without any
// error, and the certificate may sign code and names the publisher. Some WinVerifyTrust
// implementations pass a signer whose root is not trusted, and none checks the purpose or the
// name: each is checked here.
bool IsPublisherSignature(const SignatureFacts& facts, const std::wstring& publisher);

// Reads a file's signature with WinVerifyTrust, with no user interface and no revocation check
// (offline, a revocation check can hang for a long time). Replaceable for tests; returns the
// previous reader.
using SignatureReader = SignatureFacts (*)(const wchar_t* path);
SignatureReader SetSignatureReader(SignatureReader reader);

// A file's full 64-bit size as unsigned decimal text.
std::wstring FileSizeText(DWORD size_high, DWORD size_low);
// The file's size as FileSizeText gives it; "" when no file is there (a folder doesn't count).
std::wstring StoredSizeText(const std::wstring& path);

// The size text equals the offer's exactly (a leading zero, a sign or a blank never does), and
// the file is signed by kPublisher.
bool IsOfferedInstaller(const std::wstring& path, const std::wstring& offered_size);
