#include "installer_check.h"

#include <gtest/gtest.h>

#include <string>

#include "sound_signature.h"

namespace {

TEST(InstallerCheck, OnlyThePublishersTrustedCodeSigningSignaturePasses) {
  EXPECT_TRUE(IsPublisherSignature(SoundSignatureBy(L"quenvo"), L"quenvo"));
  SignatureFacts unsigned_file;
  unsigned_file.signer = L"quenvo";
  // The publisher's name on an unsigned file, then on signatures short of one condition (trust,
  // chain, code signing); then sound signatures by other names, since names compare exactly.
  const SignatureFacts failing[] = {unsigned_file,
                                    {TRUST_E_BAD_DIGEST, CERT_TRUST_NO_ERROR, true, L"quenvo"},  // a changed byte
                                    {ERROR_SUCCESS, CERT_TRUST_IS_UNTRUSTED_ROOT, true, L"quenvo"},
                                    {ERROR_SUCCESS, CERT_TRUST_IS_PARTIAL_CHAIN, true, L"quenvo"},
                                    {ERROR_SUCCESS, CERT_TRUST_IS_NOT_TIME_VALID, true, L"quenvo"},  // expired
                                    {ERROR_SUCCESS, CERT_TRUST_NO_ERROR, false, L"quenvo"},
                                    SoundSignatureBy(L"Quenvo"),
                                    SoundSignatureBy(L"quenvo ltd"),
                                    SoundSignatureBy(L"")};
  for (const SignatureFacts& facts : failing) {
    EXPECT_FALSE(IsPublisherSignature(facts, L"quenvo")) << testing::PrintToString(facts.signer);
  }
  EXPECT_FALSE(IsPublisherSignature(SoundSignatureBy(L""), L""));  // no publisher, no pass
  EXPECT_STREQ(kPublisher, L"quenvo");                             // the build's default
}

int g_reads = 0;
SignatureFacts ThePublisher(const wchar_t*) {
  ++g_reads;
  return SoundSignatureBy(kPublisher);
}

class StoredFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    folder_ = folder;
    path_ = folder_ + L"installer_check_test.exe";
    const HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "12345", 5, &written, nullptr);
    CloseHandle(file);
    g_reads = 0;
    previous_ = SetSignatureReader(ThePublisher);
  }
  void TearDown() override {
    SetSignatureReader(previous_);
    DeleteFileW(path_.c_str());
  }
  std::wstring folder_, path_;
  SignatureReader previous_ = nullptr;
};

TEST_F(StoredFileTest, TheSizeTextMustMatchBeforeTheSignatureIsRead) {
  EXPECT_TRUE(IsOfferedInstaller(path_, L"5"));
  EXPECT_EQ(g_reads, 1);
  for (const wchar_t* offered : {L"05", L" 5", L"+5", L"6", L""}) {
    EXPECT_FALSE(IsOfferedInstaller(path_, offered)) << testing::PrintToString(std::wstring(offered));
  }
  EXPECT_FALSE(IsOfferedInstaller(path_ + L".missing", L"0"));
  EXPECT_FALSE(IsOfferedInstaller(folder_, L"0"));  // a folder is no file, whatever its size
  EXPECT_EQ(g_reads, 1);
}

TEST_F(StoredFileTest, ThePlatformFindsNoSignatureInAnUnsignedFile) {
  SetSignatureReader(previous_);
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_EQ(previous_(self).trust, TRUST_E_NOSIGNATURE);
  EXPECT_FALSE(IsOfferedInstaller(path_, L"5"));
}

TEST(InstallerCheck, FileSizesAreComparedInFull64Bits) {
  EXPECT_EQ(FileSizeText(0, 0), L"0");
  EXPECT_EQ(FileSizeText(0, 123456), L"123456");
  EXPECT_EQ(FileSizeText(0, 0x80000000u), L"2147483648");  // not negative
  EXPECT_EQ(FileSizeText(0, 0xFFFFFFFFu), L"4294967295");
  EXPECT_EQ(FileSizeText(1, 100), L"4294967396");  // not just the low 32 bits
}

}  // namespace
