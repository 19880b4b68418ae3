#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

#include <sddl.h>

#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "client_profile.h"
#include "marks.h"
#include "policy.h"
#include "recorded_writes.h"
#include "registry.h"
#include "reports.h"
#include "temp_folder.h"

namespace {

// What went over the "network": each URL with the "install" and "rday" values as they
// stood when it was sent.
struct Sent {
  std::wstring url;
  std::wstring install;
  std::wstring rday;
};
std::vector<Sent> g_sent;
std::wstring g_versionReply;

std::wstring FakeTransport(const std::wstring& url) {
  g_sent.push_back({url, Stored(L"install"), Stored(L"rday")});
  return url.find(L"/version.php?") != std::wstring::npos ? g_versionReply : L"ok";
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Touch(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
}

class ReportTest : public RecordedWritesTest {
 protected:
  void SetUp() override {
    RecordedWritesTest::SetUp();
    profile_ = new ClientProfile(ProfileScope::kAgent);
    profile_->mid = L"0123456789abcdef0123456789abcdef";
    profile_->os = L"Windows7";
    profile_->ch = L"1001";
    g_writes.clear();  // the tests look at the reports' writes, not at the profile's first ones
    g_sent.clear();
    g_versionReply.clear();
    previousTransport_ = SetReportTransport(FakeTransport);
  }
  void TearDown() override {
    SetReportTransport(previousTransport_);
    delete profile_;
    RecordedWritesTest::TearDown();
  }
  std::vector<std::wstring> Urls() const {
    std::vector<std::wstring> urls;
    for (const Sent& s : g_sent) urls.push_back(s.url);
    return urls;
  }
  // The address of the report `reg`, signed as `event`; without them, of the version query.
  std::wstring Url(const wchar_t* reg, bool rday, const wchar_t* event = nullptr) const {
    const ClientProfile& p = *profile_;
    const std::wstring query =
        L"mid=" + p.mid + L"&os=" + p.os + L"&c=" + p.ch + L"&fn=" + p.fn + (reg ? std::wstring(L"&reg=") + reg : L"") +
        L"&t=" + std::to_wstring(GetSystemDefaultLCID()) + L"&version=2.0.0.2&fver=" + p.fver + L"&fday=" + p.fday +
        (rday ? L"&rday=" + p.today : L"") + L"&uac=" + std::to_wstring(p.uac);
    return reg ? L"http://stat.quenvo.com/stat.php?" + query + L"&flag=" + p.SignReport(event)
               : L"http://update.quenvo.com/version.php?" + query;
  }

  ClientProfile* profile_ = nullptr;
  ReportTransport previousTransport_ = nullptr;
};

TEST_F(ReportTest, InstallMarkIsTwoBytesAndWrittenBeforeTheOneRequest) {
  profile_->ReportInstallEvent(true);
  ASSERT_EQ(g_writes.size(), 1u);
  const Write& mark = g_writes[0];
  // "1" without a NUL: two bytes.
  EXPECT_EQ(std::tuple(mark.name, mark.type, mark.text, mark.bytes), std::tuple(L"install", DWORD{REG_SZ}, L"1", 2u));
  ASSERT_EQ(g_sent.size(), 1u);
  EXPECT_EQ(g_sent[0].install, L"1");  // already marked when the request left
  EXPECT_EQ(g_sent[0].url, Url(L"install", false, L"install"));
}

TEST_F(ReportTest, AnyStoredInstallTextSuppressesTheReport) {
  for (const wchar_t* mark : {L"1", L"0", L"x"}) {
    Put(L"install", mark);
    profile_->ReportInstallEvent(true);
    EXPECT_TRUE(g_sent.empty()) << testing::PrintToString(std::wstring(mark));
    EXPECT_TRUE(g_writes.empty());
  }
}

TEST_F(ReportTest, InstallUninstallInstallSendsOneInstallAndLeavesTheMark) {
  profile_->ReportInstallEvent(true);
  profile_->ReportInstallEvent(false);
  profile_->ReportInstallEvent(true);
  profile_->ReportInstallEvent(false);
  const std::wstring uninstall = Url(L"uninstall", false, L"uninstall");
  ASSERT_EQ(g_sent.size(), 3u);
  EXPECT_NE(g_sent[0].url.find(L"&reg=install&"), std::wstring::npos);
  EXPECT_EQ(g_sent[1].url, uninstall);
  EXPECT_EQ(g_sent[2].url, uninstall);
  EXPECT_EQ(g_writes.size(), 1u);  // the uninstall report writes nothing
  EXPECT_EQ(Stored(L"install"), L"1");
}

TEST_F(ReportTest, FirstRunOfTheDaySendsThreeRequestsAfterMarkingTheDay) {
  g_versionReply = L"v=1.0.0.3**";
  EXPECT_EQ(profile_->ReportRun(), 0);
  EXPECT_EQ(Urls(),
            (std::vector<std::wstring>{Url(L"dayrun", true, L"run"), Url(L"run", true, L"run"), Url(nullptr, true)}));
  EXPECT_EQ(g_sent[0].rday, L"");  // the daily report goes before the day is looked at
  EXPECT_EQ(g_sent[1].rday, profile_->today);
  ASSERT_EQ(g_writes.size(), 1u);
  EXPECT_EQ(g_writes[0].name, L"rday");
  EXPECT_EQ(g_writes[0].bytes, 2 * profile_->today.size());

  g_sent.clear();
  EXPECT_EQ(profile_->ReportRun(), 0);  // same day: the daily report only
  EXPECT_EQ(Urls(), (std::vector<std::wstring>{Url(L"dayrun", true, L"run")}));

  Put(L"rday", L"2000-1-1");  // another day, even an earlier one, is a new day
  g_sent.clear();
  EXPECT_EQ(profile_->ReportRun(), 0);
  EXPECT_EQ(g_sent.size(), 3u);
  EXPECT_EQ(Stored(L"rday"), profile_->today);
}

// Another account can make the lock's name first and hold it, or keep this user out of it: the
// agent then waits a moment at most, and claims and reports as a lone agent does.
TEST_F(ReportTest, ALockThatCannotBeHadCostsAMomentAndNoReport) {
  const std::wstring name = MarksLockName();
  ASSERT_EQ(name.rfind(L"Global\\quenvo-marks-S-1-5-", 0), 0u) << name;
  const struct {
    const wchar_t* dacl;
    bool waits;
  } makers[] = {{L"D:(A;;GA;;;WD)", true}, {L"D:P", false}};  // held by its maker for 10 s; open to no one
  for (const auto& maker : makers) {
    SCOPED_TRACE(maker.dacl);
    Put(L"rday", L"2000-1-1");
    g_sent.clear();
    quenvo::ScopedKernelHandle held(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    quenvo::ScopedKernelHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread holder([&] {
      PSECURITY_DESCRIPTOR raw = nullptr;
      ConvertStringSecurityDescriptorToSecurityDescriptorW(maker.dacl, SDDL_REVISION_1, &raw, nullptr);
      const quenvo::ScopedLocalMemory descriptor(raw);
      SECURITY_ATTRIBUTES attributes = {sizeof attributes, raw, FALSE};
      quenvo::ScopedKernelHandle lock(
          CreateMutexExW(&attributes, name.c_str(), CREATE_MUTEX_INITIAL_OWNER, MUTEX_ALL_ACCESS));
      SetEvent(held.Get());
      WaitForSingleObject(done.Get(), 10000);
      ReleaseMutex(lock.Get());
    });
    WaitForSingleObject(held.Get(), INFINITE);
    const ULONGLONG started = GetTickCount64();
    profile_->ReportRun();
    const ULONGLONG took = GetTickCount64() - started;
    SetEvent(done.Get());
    holder.join();
    EXPECT_EQ(g_sent.size(), 3u);
    EXPECT_EQ(Stored(L"rday"), profile_->today);
    EXPECT_LT(took, 5000u);
    EXPECT_EQ(took >= 900, maker.waits);  // waited for the held one: the claim takes the lock of that name
  }
}

TEST_F(ReportTest, NewerVersionRecordsTheOfferAndClearsTheTarget) {
  const std::wstring target = TempFolder() + L"agent_report_test_setup.exe";
  Touch(target);
  g_versionReply =
      L"t1=Update ready**t2=Faster**t3=Safer**v=1.0.0.4**sz=4096**"
      L"u=http://dl.quenvo.com/f/agent_report_test_setup.exe?ch=1001**";
  EXPECT_EQ(profile_->ReportRun(), 1);
  const ClientProfile& p = *profile_;
  EXPECT_EQ(std::tuple(p.updateText1, p.updateText2, p.updateText3, p.updateUrl, p.updateSize, p.updateFilePath),
            std::tuple(L"Update ready", L"Faster", L"Safer",
                       L"http://dl.quenvo.com/f/agent_report_test_setup.exe?ch=1001", L"4096", target));
  EXPECT_FALSE(Exists(target));
}

TEST_F(ReportTest, VersionsNotNewerRecordNothing) {
  for (const wchar_t* reply : {L"v=1.0.0.3**u=http://d/f/x.exe**", L"v=1.0.0.10**u=http://d/f/x.exe**",
                               L"t1=a**u=http://d/f/x.exe**v=1.0.0.4", L"error", L""}) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kProfileKey, L"rday");
    g_versionReply = reply;
    EXPECT_EQ(profile_->ReportRun(), 0) << testing::PrintToString(std::wstring(reply));
    EXPECT_EQ(profile_->updateUrl, L"");
    EXPECT_EQ(profile_->updateText1, L"");
    EXPECT_EQ(profile_->updateFilePath, L"");
  }
}

TEST_F(ReportTest, UnsafeFileNameRecordsTheTextsButPreparesNoTarget) {
  const std::wstring outside = TempFolder() + L"..\\agent_report_test_victim.txt";
  Touch(outside);
  for (const wchar_t* url : {L"http://d/f/..\\agent_report_test_victim.txt", L"http://d/f/..", L"http://d/f/",
                             L"agent_report_test_victim.txt", L"http://d/f/C:agent_report_test_victim.txt"}) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kProfileKey, L"rday");
    g_versionReply = std::wstring(L"v=2**t1=a**t2=b**t3=c**sz=7**u=") + url + L"**";
    EXPECT_EQ(profile_->ReportRun(), 0) << testing::PrintToString(std::wstring(url));
    EXPECT_EQ(profile_->updateUrl, url);
    EXPECT_EQ(profile_->updateText3, L"c");
    EXPECT_EQ(profile_->updateSize, L"7");
    EXPECT_EQ(profile_->updateFilePath, L"");
    EXPECT_TRUE(Exists(outside));
  }
  DeleteFileW(outside.c_str());
}

// Under the switches DisableStatistics and DisableUpdateCheck, each set to 0 or 1 as user policy.
class PolicyReportTest : public ReportTest, public ::testing::WithParamInterface<std::tuple<bool, bool>> {
 protected:
  // Install, uninstall, and the first run of the day with an offer; the run's result.
  int ReportEveryEvent() {
    g_versionReply = L"v=2**u=http://d/f/agent_report_test_policy.exe**";
    profile_->ReportInstallEvent(true);
    profile_->ReportInstallEvent(false);
    return profile_->ReportRun();
  }
  // The statistics reports and the version queries sent, each with the day stored as it left.
  static std::vector<std::wstring> Requests(bool statistics, bool updateCheck) {
    std::vector<std::wstring> kept;
    for (const Sent& s : g_sent) {
      if (s.url.find(L"/stat.php?") != std::wstring::npos ? statistics : updateCheck) {
        kept.push_back(s.url + L" rday=" + s.rday);
      }
    }
    return kept;
  }
  static std::vector<std::wstring> Marks(bool install, bool rday) {
    std::vector<std::wstring> kept;
    for (const Write& w : g_writes) {
      if (w.name == L"install" ? install : rday) {
        kept.push_back(w.name + L"=" + w.text + L"/" + std::to_wstring(w.bytes));
      }
    }
    return kept;
  }
};

TEST_P(PolicyReportTest, SendsAndMarksWhatTheSwitchesLeave) {
  const auto [noStatistics, noUpdateCheck] = GetParam();
  for (const auto& [name, on] :
       {std::pair{L"DisableStatistics", noStatistics}, std::pair{L"DisableUpdateCheck", noUpdateCheck}}) {
    const DWORD value = on;
    ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, kPolicyKey, name, REG_DWORD, &value, sizeof value), ERROR_SUCCESS);
  }
  EXPECT_EQ(ReportEveryEvent(), noUpdateCheck ? 0 : 1);
  EXPECT_EQ(profile_->updateUrl.empty(), noUpdateCheck);
  EXPECT_EQ(profile_->updateFilePath.empty(), noUpdateCheck);
  const std::vector<std::wstring> sent = Requests(true, true);
  const std::vector<std::wstring> marks = Marks(true, true);

  // The same events for a new user without a policy, less what the switches stop: with both
  // off, the very same requests.
  RegDeleteTreeW(HKEY_CURRENT_USER, kPolicyKey);
  RegDeleteTreeW(HKEY_CURRENT_USER, kProfileKey);
  g_sent.clear();
  g_writes.clear();
  EXPECT_EQ(ReportEveryEvent(), 1);
  EXPECT_EQ(sent, Requests(!noStatistics, !noUpdateCheck));
  EXPECT_EQ(marks, Marks(!noStatistics, !(noStatistics && noUpdateCheck)));
}

INSTANTIATE_TEST_SUITE_P(Switches, PolicyReportTest, ::testing::Combine(::testing::Bool(), ::testing::Bool()));

}  // namespace
