#include "installer_check.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "scoped_handle.h"

const wchar_t kPublisher[] = L"" QUENVO_PUBLISHER;

namespace {

// The verification state WinVerifyTrust keeps for reading the signer; released on every path.
class TrustState {
 public:
  TrustState(GUID* action, WINTRUST_DATA* data) : action_(action), data_(data) {}
  ~TrustState() {
    data_->dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), action_, data_);
  }
  TrustState(const TrustState&) = delete;
  TrustState& operator=(const TrustState&) = delete;

 private:
  GUID* action_;
  WINTRUST_DATA* data_;
};

// Only a certificate that names the purpose counts; one without any purpose list is not taken
// as allowing code signing.
bool AllowsCodeSigning(PCCERT_CONTEXT certificate) {
  DWORD size = 0;
  if (!CertGetEnhancedKeyUsage(certificate, 0, nullptr, &size) || size == 0) return false;
  std::vector<BYTE> buffer(size);
  auto* usage = reinterpret_cast<CERT_ENHKEY_USAGE*>(buffer.data());
  if (!CertGetEnhancedKeyUsage(certificate, 0, usage, &size)) return false;
  for (DWORD i = 0; i < usage->cUsageIdentifier; ++i) {
    if (lstrcmpA(usage->rgpszUsageIdentifier[i], szOID_PKIX_KP_CODE_SIGNING) == 0) return true;
  }
  return false;
}

std::wstring CommonName(PCCERT_CONTEXT certificate) {
  void* common_name = const_cast<char*>(szOID_COMMON_NAME);
  const DWORD length = CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, common_name, nullptr, 0);
  if (length <= 1) return std::wstring();
  std::vector<wchar_t> name(length);
  CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, common_name, name.data(), length);
  return std::wstring(name.data());
}

SignatureFacts ReadSignature(const wchar_t* path) {
  SignatureFacts facts;
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = path;
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  // Nothing is fetched over the network: no revocation lists, no missing certificates. This
  // also stops Windows from fetching a root it doesn't hold yet (its on-demand root update), so
  // on such a machine the installer is refused and the window closes; it is offered again at
  // the next day's check. We accept that: a fetch has no bound of ours (the chain engine waits
  // up to 15 s per URL, more along a chain) and the second check runs on the window's thread,
  // which a slow or filtered network would freeze. Releases are therefore signed, and
  // timestamped, under roots that Windows ships installed: then only a machine whose roots were
  // pruned meets this.
  data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  facts.trust = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  const TrustState state(&action, &data);

  CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data.hWVTStateData);
  CRYPT_PROVIDER_SGNR* signer =
      provider != nullptr ? WTHelperGetProvSignerFromChain(provider, 0, /*counter signer*/ FALSE, 0) : nullptr;
  if (signer == nullptr) return facts;
  if (signer->pChainContext != nullptr) facts.chain_errors = signer->pChainContext->TrustStatus.dwErrorStatus;
  const CRYPT_PROVIDER_CERT* certificate = WTHelperGetProvCertFromChain(signer, 0);
  if (certificate != nullptr && certificate->pCert != nullptr) {
    facts.code_signing = AllowsCodeSigning(certificate->pCert);
    facts.signer = CommonName(certificate->pCert);
  }
  return facts;
}

SignatureReader g_reader = ReadSignature;

}  // namespace

bool IsPublisherSignature(const SignatureFacts& facts, const std::wstring& publisher) {
  return facts.trust == ERROR_SUCCESS && facts.chain_errors == CERT_TRUST_NO_ERROR && facts.code_signing &&
         !publisher.empty() && facts.signer == publisher;
}

SignatureReader SetSignatureReader(SignatureReader reader) {
  const SignatureReader previous = g_reader;
  g_reader = reader;
  return previous;
}

std::wstring FileSizeText(DWORD size_high, DWORD size_low) {
  const unsigned long long size = (static_cast<unsigned long long>(size_high) << 32) | size_low;
  return std::to_wstring(size);
}

std::wstring StoredSizeText(const std::wstring& path) {
  WIN32_FIND_DATAW found = {};
  const quenvo::ScopedFindHandle find(FindFirstFileW(path.c_str(), &found));
  if (!find || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return std::wstring();
  return FileSizeText(found.nFileSizeHigh, found.nFileSizeLow);
}

bool IsOfferedInstaller(const std::wstring& path, const std::wstring& offered_size) {
  const std::wstring size = StoredSizeText(path);
  if (size.empty() || size != offered_size) return false;
  return IsPublisherSignature(g_reader(path.c_str()), kPublisher);
}
