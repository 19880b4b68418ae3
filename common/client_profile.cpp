#include "client_profile.h"

#include <cstdio>

#include "machine_id.h"
#include "os_probe.h"
#include "registry.h"
#include "text.h"

const wchar_t kSuiteVersion[] = L"2.0.0.2";

namespace {

constexpr wchar_t kDefaultChannel[] = L"1001";

std::wstring ReadValue(const wchar_t* name) {
  return ReadProfileValue(HKEY_CURRENT_USER, kProfileKey, name);
}

std::wstring Today() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  return FormatDay(now);
}

}  // namespace

std::wstring FormatDay(const SYSTEMTIME& time) {
  wchar_t text[32];
  std::swprintf(text, sizeof text / sizeof text[0], L"%d-%d-%d", time.wYear, time.wMonth, time.wDay);
  return text;
}

std::wstring DeriveChannel(const std::wstring& setup) {
  std::wstring lowered = setup;
  for (wchar_t& c : lowered) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  const std::wstring channel = TextBetween(lowered, L"quenvo_ch", L".exe");
  return channel.empty() ? kDefaultChannel : channel;
}

std::wstring EncodeInstallerName(const std::wstring& setup) {
  const quenvo::OwnedText utf8 = ToUtf8(setup);
  if (!utf8) return std::wstring();
  const quenvo::OwnedText encoded = UrlEncode(utf8.get());
  return encoded ? FromAnsi(encoded.get()) : std::wstring();
}

ClientProfile::ClientProfile(ProfileScope scope) : scope_(scope) {
  Initialize();
}

void ClientProfile::Initialize() {
  if (scope_ == ProfileScope::kAgent) {
    InitializeAgent();
  } else {
    InitializeCompanion();
  }
}

void ClientProfile::InitializeAgent() {
  ReadFirstDay();
  fver = ReadValue(L"fver");
  if (fver.empty()) {
    fver = kSuiteVersion;
    WriteProfileValue(L"fver", fver);
  }
  const std::wstring setup = ReadValue(L"setup");
  ch = ReadValue(L"ch");
  if (ch.empty()) {
    ch = DeriveChannel(setup);
    WriteProfileValue(L"ch", ch);
  }
  ReadInstallerName(setup);
  ProbeSystem();
  mid = MakeMachineId(os);
}

// The registrar and the launcher change only "fday" and "os". They read "ch" after the system
// probes and before the machine identifier.
void ClientProfile::InitializeCompanion() {
  ReadFirstDay();
  fver = ReadValue(L"fver");
  ReadInstallerName(ReadValue(L"setup"));
  ProbeSystem();
  ch = ReadValue(L"ch");
  if (ch.empty()) ch = kDefaultChannel;
  mid = MakeMachineId(os);
}

void ClientProfile::ReadFirstDay() {
  today = Today();
  fday = ReadValue(L"fday");
  if (fday.empty()) {
    fday = today;
    WriteProfileValue(L"fday", fday);
  }
}

void ClientProfile::ReadInstallerName(const std::wstring& setup) {
  if (!setup.empty()) fn = EncodeInstallerName(setup);
}

void ClientProfile::ProbeSystem() {
  wchar_t name[260] = {};
  GetOsName(name, 260);
  os = name;
  WriteProfileValue(L"os", os);
  uac = IsUacEnabled();
}
