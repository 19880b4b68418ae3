// Test tool: code-signing trust as Windows sees it.
//   trust root FILE.cer        adds a DER certificate to the machine's Root store
//                              ("certutil -addstore" under Wine installs nothing)
//   trust check OUT FILE...    appends one JSON line per file to OUT: WinVerifyTrust's result,
//                              and the signer chain's error status, which is 0 only when the
//                              chain is whole and ends in a trusted root (WinVerifyTrust under
//                              Wine accepts an untrusted root)
#include <windows.h>
#include <wincrypt.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "json_line.h"
#include "scoped_handle.h"

namespace {

struct StoreTraits {
  using Handle = HCERTSTORE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { CertCloseStore(h, 0); }
};
using ScopedStore = quenvo::ScopedHandle<StoreTraits>;

std::vector<BYTE> ReadAll(const wchar_t* path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

int AddRoot(const wchar_t* path) {
  const std::vector<BYTE> der = ReadAll(path);
  ScopedStore store(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
  const bool added =
      !der.empty() && store &&
      CertAddEncodedCertificateToStore(store.Get(), X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                       CERT_STORE_ADD_REPLACE_EXISTING, /*stored*/ nullptr);
  std::printf("trust: root %s\n", added ? "added" : "not added");
  return added ? 0 : 1;
}

// Verifies one file and keeps the verifier's state for the chain; closes that state at the end.
class Verification {
 public:
  explicit Verification(const wchar_t* path) {
    file_.pcwszFilePath = path;
    data_.cbStruct = sizeof(data_);
    data_.dwUIChoice = WTD_UI_NONE;
    data_.fdwRevocationChecks = WTD_REVOKE_NONE;
    data_.dwUnionChoice = WTD_CHOICE_FILE;
    data_.pFile = &file_;
    data_.dwStateAction = WTD_STATEACTION_VERIFY;
    result_ = WinVerifyTrust(/*window*/ nullptr, &action_, &data_);
  }
  ~Verification() {
    data_.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(nullptr, &action_, &data_);
  }
  Verification(const Verification&) = delete;
  Verification& operator=(const Verification&) = delete;

  LONG Result() const { return result_; }
  // The chain's error status, or -1 when there is no signer chain.
  long long ChainError() const {
    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data_.hWVTStateData);
    CRYPT_PROVIDER_SGNR* signer = provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    return signer && signer->pChainContext ? static_cast<long long>(signer->pChainContext->TrustStatus.dwErrorStatus)
                                           : -1;
  }

 private:
  GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  WINTRUST_FILE_INFO file_ = {sizeof(WINTRUST_FILE_INFO), nullptr, nullptr, nullptr};
  WINTRUST_DATA data_ = {};
  LONG result_ = 0;
};

int Check(const wchar_t* out, int count, wchar_t** files) {
  for (int i = 0; i < count; ++i) {
    const Verification verification(files[i]);
    AppendLine(out, "{\"file\": " + JsonString(files[i]) +
                        ", \"result\": " + std::to_string(static_cast<unsigned long>(verification.Result())) +
                        ", \"chain\": " + std::to_string(verification.ChainError()) + "}");
  }
  std::printf("trust: %d checked\n", count);
  return 0;
}

}  // namespace

// Every run ends with a line on stdout, so that silence shows a start that Wine lost.
int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"root" && argc == 3) return AddRoot(argv[2]);
  if (command == L"check" && argc >= 3) return Check(argv[2], argc - 3, argv + 3);
  return 2;
}
