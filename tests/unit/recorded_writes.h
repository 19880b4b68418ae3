// What the profile hands to the registry, seen through the writer seam: the tests check the
// exact type and byte count that reach SHSetValueW, which Wine's stored value can't show.
#pragma once

#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry.h"
#include "scratch_hive.h"

struct Write {
  std::wstring name;
  DWORD type;
  std::wstring text;
  DWORD bytes;
};
inline std::vector<Write> g_writes;

// Records the write, then stores it as the product would.
inline DWORD WINAPI RecordWrite(HKEY root, LPCWSTR subkey, LPCWSTR name, DWORD type, LPCVOID data, DWORD bytes) {
  EXPECT_EQ(root, HKEY_CURRENT_USER);
  EXPECT_STREQ(subkey, L"Software\\quenvo");
  g_writes.push_back({name, type, std::wstring(static_cast<const wchar_t*>(data), bytes / 2), bytes});
  return SHSetValueW(root, subkey, name, type, data, bytes);
}

// Stores a value the way another program (or an earlier version) would: with its NUL.
inline void Put(const wchar_t* name, const std::wstring& text) {
  SHSetValueW(HKEY_CURRENT_USER, kProfileKey, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
}

inline std::wstring Stored(const wchar_t* name) {
  return ReadProfileValue(HKEY_CURRENT_USER, kProfileKey, name);
}

// A scratch HKEY_CURRENT_USER; the profile's writes are recorded in g_writes, which starts empty.
class RecordedWritesTest : public ScratchHiveTest {
 protected:
  void SetUp() override {
    ScratchHiveTest::SetUp();
    g_writes.clear();
    previousWriter_ = SetProfileValueWriter(RecordWrite);
  }
  void TearDown() override {
    SetProfileValueWriter(previousWriter_);
    ScratchHiveTest::TearDown();
  }

 private:
  SetValueFunction previousWriter_ = nullptr;
};
