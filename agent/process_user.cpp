#include "process_user.h"

#include <windows.h>

#include <sddl.h>

#include <vector>

using quenvo::ScopedKernelHandle;
using quenvo::ScopedLocalMemory;

std::wstring ProcessUserSid() {
  ScopedKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return std::wstring();
  DWORD bytes = 0;
  GetTokenInformation(token.Get(), TokenUser, /*buffer*/ nullptr, 0, &bytes);
  std::vector<BYTE> user(bytes);
  if (user.empty() || !GetTokenInformation(token.Get(), TokenUser, user.data(), bytes, &bytes)) return std::wstring();
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) return std::wstring();
  const ScopedLocalMemory owner(text);
  return text;
}

ScopedKernelHandle OpenUserMutex(const std::wstring& name, const std::wstring& sid) {
  // Open to this user's SID alone, elevated or not: the default DACL is the creating token's,
  // which need not grant the user (an elevated token's may name only the Administrators and
  // SYSTEM), and would then lock the user's other processes out.
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW((L"D:P(A;;GA;;;" + sid + L")").c_str(), SDDL_REVISION_1,
                                                            &raw, /*size*/ nullptr)) {
    return ScopedKernelHandle();
  }
  const ScopedLocalMemory descriptor(raw);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.Get(), /*inherit*/ FALSE};
  // Only the rights a wait and a release need, so that an existing mutex opens wherever its DACL
  // lets this user synchronise (CreateMutexW would ask for all access).
  return ScopedKernelHandle(CreateMutexExW(&attributes, name.c_str(), /*flags*/ 0, SYNCHRONIZE | MUTEX_MODIFY_STATE));
}
