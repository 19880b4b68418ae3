// A fixture whose tests see HKEY_CURRENT_USER as an empty scratch key, so that they can set up
// and wipe the profile, the user's policies and classes without touching the real ones.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "scoped_handle.h"

class ScratchHiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kScratch, 0, /*class*/ nullptr, 0, KEY_ALL_ACCESS,
                              /*security*/ nullptr, scratch_.Receive(), /*disposition*/ nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, scratch_.Get()), ERROR_SUCCESS);
  }
  void TearDown() override {
    RegOverridePredefKey(HKEY_CURRENT_USER, /*restore*/ nullptr);
    scratch_.Close();
    RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
  }

 private:
  static constexpr const wchar_t* kScratch = L"Software\\quenvo-unit-scratch";
  quenvo::ScopedKey scratch_;
};
