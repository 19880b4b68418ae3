#include <gtest/gtest.h>

#include <string>

#include "client_profile.h"
#include "report_query.h"

namespace {

const std::wstring kMid = L"0123456789abcdef0123456789abcdef";

ReportValues Sample() {  // in the order of the query
  return {kMid,        L"Windows7", L"215", L"C%3A%5Cquenvo%5Fch215%2Eexe", 1033, L"2.0.0.2", L"1.9.0.1",
          L"2021-3-7", L"2021-3-8", 1};
}
// The sample's query before "reg", and from "t" to "fday".
const std::wstring kHead = L"mid=" + kMid + L"&os=Windows7&c=215&fn=C%3A%5Cquenvo%5Fch215%2Eexe";
const std::wstring kMiddle = L"&t=1033&version=2.0.0.2&fver=1.9.0.1&fday=2021-3-7";

TEST(FillTemplateTest, FillsFieldsInOrderAndKeepsOtherPercents) {
  EXPECT_EQ(FillTemplate(L"a=%s&b=%d&c=%s", {L"x", L"-5", L""}), L"a=x&b=-5&c=");
  EXPECT_EQ(FillTemplate(L"100%&%q%s", {L"v"}), L"100%&%qv");
  EXPECT_EQ(FillTemplate(L"%s%s", {L"only"}), L"only%s");  // missing arguments leave the field
  EXPECT_EQ(FillTemplate(L"%s", {L"%d%s"}), L"%d%s");      // values are not read as templates
}

TEST(ReportQueryTest, InstallAndUninstallCarryKeysInOrderWithoutRday) {
  EXPECT_EQ(InstallQuery(Sample(), true, L"f00d"), kHead + L"&reg=install" + kMiddle + L"&uac=1&flag=f00d");
  EXPECT_EQ(InstallQuery(Sample(), false, L"f00d"), kHead + L"&reg=uninstall" + kMiddle + L"&uac=1&flag=f00d");
}

TEST(ReportQueryTest, RunFamilyCarriesRdayAndVersionQueryHasNoRegOrFlag) {
  EXPECT_EQ(RunQuery(Sample(), true, L"ab"), kHead + L"&reg=dayrun" + kMiddle + L"&rday=2021-3-8&uac=1&flag=ab");
  EXPECT_EQ(RunQuery(Sample(), false, L"ab"), kHead + L"&reg=run" + kMiddle + L"&rday=2021-3-8&uac=1&flag=ab");
  EXPECT_EQ(VersionQuery(Sample()), kHead + kMiddle + L"&rday=2021-3-8&uac=1");
}

TEST(ReportQueryTest, ValuesGoInRawWithSignedLocaleAndEmptyFields) {
  ReportValues v = Sample();
  v.os = L"";
  v.fn = L"";
  v.ch = L"a b&c=d";  // not percent-encoded here
  v.locale = -1;
  v.uac = 0;
  EXPECT_EQ(InstallQuery(v, true, L"z"), L"mid=" + kMid +
                                             L"&os=&c=a b&c=d&fn=&reg=install&t=-1&version=2.0.0.2"
                                             L"&fver=1.9.0.1&fday=2021-3-7&uac=0&flag=z");
}

TEST(ReportQueryTest, UrlsNameTheirServersAndPaths) {
  EXPECT_EQ(StatUrl(L"a=1"), L"http://stat.quenvo.com/stat.php?a=1");
  EXPECT_EQ(VersionUrl(L"b=2"), L"http://update.quenvo.com/version.php?b=2");
}

TEST(ReportQueryTest, ValuesOfTakesTheProfileFieldsAndSuiteVersion) {
  ClientProfile profile(ProfileScope::kAgent);
  profile.mid = L"m";
  profile.os = L"o";
  profile.ch = L"c";
  profile.fn = L"f";
  profile.fver = L"fv";
  profile.fday = L"fd";
  profile.today = L"td";
  profile.uac = 1;
  EXPECT_EQ(InstallQuery(ValuesOf(profile, 2052), true, L"s"),
            L"mid=m&os=o&c=c&fn=f&reg=install&t=2052&version=2.0.0.2&fver=fv&fday=fd&uac=1&flag=s");
  EXPECT_EQ(VersionQuery(ValuesOf(profile, 1033)),
            L"mid=m&os=o&c=c&fn=f&t=1033&version=2.0.0.2&fver=fv&fday=fd&rday=td&uac=1");
}

TEST(SigningTest, SigningTextHasNoFnAndEndsInTheSecret) {
  EXPECT_EQ(SigningText(L"m", L"", L"1001", L"run"), L"mid=m&os=&c=1001&reg=run&secret=mer4721pkZBw53QJT610lavefoki");
}

// Expected digests computed outside this code base, with Python's hashlib over the
// code-page 1252 bytes of the signing text.
TEST(SigningTest, SignatureIsMd5HexOfTheAnsiSigningText) {
  struct Case {
    std::wstring mid, os, ch;
    const wchar_t* event;
    std::wstring digest;
  };
  ClientProfile profile(ProfileScope::kAgent);
  for (const Case& c : {Case{kMid, L"Windows7", L"1001", L"install", L"4d5d2395847f019a758ae57aa64c4d82"},
                        Case{kMid, L"", L"215", L"uninstall", L"f48b43e5dd002c6a13bfa1b2152e4793"},
                        Case{kMid, L"Windows10", L"ABC", L"run", L"feb39f4e3331deb29ee78772b6959ca5"},
                        // "caf\u00e9": one byte 0xE9 in the ANSI code page.
                        Case{L"x", L"Vista", L"caf\u00e9", L"run", L"fa37b47a13f3f92baa642336465b18a3"}}) {
    profile.mid = c.mid;
    profile.os = c.os;
    profile.ch = c.ch;
    EXPECT_EQ(profile.SignReport(c.event), c.digest) << c.event;
  }
}

}  // namespace
