#include <gtest/gtest.h>
#include <shlwapi.h>

#include <string>
#include <tuple>
#include <vector>

#include "client_profile.h"
#include "recorded_writes.h"
#include "registry.h"

// The tests construct their own profiles; the programs' global one is not built here.
ClientProfile g_profile(ProfileScope::kCompanion);

namespace {

class ProfileTest : public RecordedWritesTest {
 protected:
  std::vector<std::wstring> WrittenNames() const {
    std::vector<std::wstring> names;
    for (const Write& w : g_writes) names.push_back(w.name);
    return names;
  }
};

}  // namespace

TEST_F(ProfileTest, AgentFirstStartWritesDefaultsAsSzWithoutNul) {
  ClientProfile p(ProfileScope::kAgent);
  EXPECT_EQ(WrittenNames(), (std::vector<std::wstring>{L"fday", L"fver", L"ch", L"os"}));
  for (const Write& w : g_writes) {
    EXPECT_EQ(w.type, static_cast<DWORD>(REG_SZ)) << w.name;
    EXPECT_EQ(w.bytes, 2 * w.text.size()) << w.name;  // two bytes a character, no NUL
  }
  EXPECT_EQ(std::tuple(p.fday, p.fver, p.ch, p.fn, p.os), std::tuple(p.today, L"2.0.0.2", L"1001", L"", L"Windows7"));
  EXPECT_EQ(p.mid.size(), 32u);
  EXPECT_EQ(Stored(L"fday"), p.today);
  EXPECT_EQ(Stored(L"ch"), L"1001");
  EXPECT_EQ(p.scaleX, 0);
  EXPECT_EQ(p.logoImage, nullptr);
  EXPECT_TRUE(p.updateUrl.empty() && p.updateFilePath.empty());
}

TEST_F(ProfileTest, CompanionWritesOnlyFirstDayAndOsThenAgentAddsTheRest) {
  Put(L"setup", L"C:\\Down\\quenvo_ch215.exe");
  Put(L"fday", L"2020-1-2");
  ClientProfile companion(ProfileScope::kCompanion);
  EXPECT_EQ(WrittenNames(), (std::vector<std::wstring>{L"os"}));
  EXPECT_EQ(companion.ch, L"1001");  // in memory only, never derived
  EXPECT_EQ(companion.fver, L"");
  EXPECT_EQ(companion.fn, L"C%3A%5CDown%5Cquenvo%5Fch215%2Eexe");

  g_writes.clear();
  ClientProfile agent(ProfileScope::kAgent);
  EXPECT_EQ(WrittenNames(), (std::vector<std::wstring>{L"fver", L"ch", L"os"}));
  EXPECT_EQ(agent.fday, L"2020-1-2");
  EXPECT_EQ(agent.ch, L"215");
  EXPECT_EQ(Stored(L"ch"), L"215");
}

TEST_F(ProfileTest, StoredChannelIsKeptEvenWhenSetupChanges) {
  Put(L"ch", L"ABC");
  Put(L"setup", L"quenvo_ch9.exe");
  ClientProfile p(ProfileScope::kAgent);
  EXPECT_EQ(p.ch, L"ABC");
  EXPECT_EQ(Stored(L"ch"), L"ABC");
}

TEST_F(ProfileTest, OverlongValueReadsAsEmptyAndTakesItsDefault) {
  Put(L"fver", std::wstring(259, L'9'));
  EXPECT_EQ(Stored(L"fver").size(), 259u);  // fits with its NUL
  Put(L"fver", std::wstring(260, L'9'));
  EXPECT_EQ(Stored(L"fver"), L"");
  ClientProfile p(ProfileScope::kAgent);
  EXPECT_EQ(p.fver, L"2.0.0.2");
  EXPECT_EQ(Stored(L"fver"), L"2.0.0.2");
}

TEST_F(ProfileTest, ValueWithoutNulFillingTheBufferDoesNotFit) {
  const std::wstring full(260, L'7');
  SHSetValueW(HKEY_CURRENT_USER, kProfileKey, L"ch", REG_SZ, full.c_str(), 520);
  EXPECT_EQ(Stored(L"ch"), L"");
}

TEST_F(ProfileTest, EmptyTextIsWrittenWithNoData) {
  WriteProfileValue(L"os", L"");
  ASSERT_EQ(g_writes.size(), 1u);
  EXPECT_EQ(g_writes[0].bytes, 0u);
  DWORD type = 0, size = 64;
  wchar_t data[32];
  ASSERT_EQ(SHGetValueW(HKEY_CURRENT_USER, kProfileKey, L"os", &type, data, &size), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(Stored(L"os"), L"");
}
