#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "internet.h"
#include "reply_buffer.h"
#include "update_offer.h"
#include "temp_folder.h"
#include "update_target.h"

namespace {

// --- the version reply ------------------------------------------------------

// The offer's fields: version, the three texts, address, size.
std::vector<std::wstring> Fields(const UpdateOffer& o) {
  return {o.version, o.text1, o.text2, o.text3, o.url, o.size};
}

TEST(VersionReplyTest, ReadsEveryFieldInAnyOrder) {
  EXPECT_EQ(Fields(ParseVersionReply(L"sz=1234**u=http://dl/f/Setup.exe**t3=c**t2=b**t1=New!**v=1.0.0.4**")),
            (std::vector<std::wstring>{L"1.0.0.4", L"New!", L"b", L"c", L"http://dl/f/Setup.exe", L"1234"}));
}

TEST(VersionReplyTest, KeyInsideAnEarlierValueIsFoundThere) {
  // "u=" first occurs inside the text of "t1=", so the address comes from there.
  const UpdateOffer offer = ParseVersionReply(L"v=2**t1=see u=http://a/x.exe** ok**u=http://b/y.exe**");
  EXPECT_EQ(offer.text1, L"see u=http://a/x.exe");
  EXPECT_EQ(offer.url, L"http://a/x.exe");
  // "v=" inside a value that comes first wins over the real field too.
  EXPECT_EQ(ParseVersionReply(L"t1=nov=1.0**v=2**").version, L"1.0");
}

TEST(VersionReplyTest, FieldWithoutItsClosingMarkOrMissingIsEmpty) {
  // The last field needs its "**" too.
  EXPECT_EQ(Fields(ParseVersionReply(L"v=2**t1=a**u=http://d/s.exe**sz=99")),
            (std::vector<std::wstring>{L"2", L"a", L"", L"", L"http://d/s.exe", L""}));
  EXPECT_EQ(ParseVersionReply(L"v=1.0.0.4").version, L"");
  EXPECT_EQ(ParseVersionReply(L"error").version, L"");
  EXPECT_EQ(ParseVersionReply(L"").url, L"");
  EXPECT_EQ(ParseVersionReply(L"v=**").version, L"");
}

TEST(VersionReplyTest, NulCharacterIsPartOfTheText) {
  const std::wstring reply(L"v=2**t1=a\0b**u=http://d/s.exe**", 31);
  const UpdateOffer offer = ParseVersionReply(reply);
  EXPECT_EQ(offer.text1, std::wstring(L"a\0b", 3));
  EXPECT_EQ(offer.url, L"http://d/s.exe");
}

TEST(VersionCompareTest, NewerIsGreaterAsPlainText) {
  for (const wchar_t* newer : {L"1.0.0.4", L"1.1", L"2", L"1.0.0.3.1", L"1.0.0.3 ", L"a"}) {
    EXPECT_TRUE(IsNewerVersion(newer)) << testing::PrintToString(std::wstring(newer));
  }
  for (const wchar_t* older : {L"1.0.0.3", L"1.0.0.10", L"1.0", L"", L"1.0.0.2", L"0.9", L"1.0.0.29"}) {
    EXPECT_FALSE(IsNewerVersion(older)) << testing::PrintToString(std::wstring(older));
  }
}

// --- the download target ----------------------------------------------------

TEST(FileNameFromUrlTest, LastSegmentWithoutQueryOrFragment) {
  EXPECT_EQ(FileNameFromUrl(L"http://dl.quenvo.com/f/QuenvoSetup.exe"), L"QuenvoSetup.exe");
  EXPECT_EQ(FileNameFromUrl(L"http://dl/f/Setup.exe?ch=215&x=/y"), L"Setup.exe");
  EXPECT_EQ(FileNameFromUrl(L"http://dl/f/Setup.exe#part/2"), L"Setup.exe");
  EXPECT_EQ(FileNameFromUrl(L"http://dl/f/Setup.exe#a?b"), L"Setup.exe");
  EXPECT_EQ(FileNameFromUrl(L"http://dl/f/"), L"");
  EXPECT_EQ(FileNameFromUrl(L"http://dl/f/?name=x.exe"), L"");
  EXPECT_EQ(FileNameFromUrl(L"Setup.exe"), L"");
  EXPECT_EQ(FileNameFromUrl(L""), L"");
  EXPECT_EQ(FileNameFromUrl(L"http://dl/a\\..\\b.exe"), L"a\\..\\b.exe");  // judged by IsSafeFileName
}

TEST(FileNameSafetyTest, PlainNamesPass) {
  for (const wchar_t* name :
       {L"Setup.exe", L"quenvo 2.0 setup.exe", L"%2e%2e", L"a..b", L".hidden", L"\u8bbe\u7f6e.exe", L"console.exe",
        L"nul_setup.exe", L"COM10.exe", L"LPT0.exe", L"con1.exe", L"auxiliary"}) {
    EXPECT_TRUE(IsSafeFileName(name)) << testing::PrintToString(std::wstring(name));
  }
}

TEST(FileNameSafetyTest, NamesThatCouldLeaveTheFolderFail) {
  for (const wchar_t* name :
       {L"", L".", L"..", L"...", L".. ", L"x.exe.", L"x.exe ", L"..\\x.exe", L"a/b", L"C:x.exe", L"x.exe:stream",
        L"*.exe", L"x?.exe", L"\"x\".exe", L"<x>", L"a|b", L"a\tb", L"a\x1f", L"a\x7f",
        // Device names, which the platform opens instead of a file in the folder.
        L"CON", L"nul.exe", L"Prn.txt", L"aux.tar.gz", L"NUL .exe", L"Com1.", L"com9.exe", L"LPT1", L"lpt5.msi",
        L"COM\u00b9.exe", L"conin$", L"CONOUT$.log"}) {
    EXPECT_FALSE(IsSafeFileName(name)) << testing::PrintToString(std::wstring(name));
  }
  EXPECT_FALSE(IsSafeFileName(std::wstring(L"a\0b", 3)));
}

// A temporary folder of 300 units, answered the way the platform does: the size needed
// (NUL included) when the buffer is too small.
const std::wstring kLongTemp = L"C:\\" + std::wstring(296, L't') + L"\\";
int g_calls = 0;
DWORD WINAPI LongTempPath(DWORD size, LPWSTR buffer) {
  ++g_calls;
  if (size <= kLongTemp.size()) return static_cast<DWORD>(kLongTemp.size() + 1);
  kLongTemp.copy(buffer, kLongTemp.size());
  buffer[kLongTemp.size()] = L'\0';
  return static_cast<DWORD>(kLongTemp.size());
}
DWORD WINAPI NoTempPath(DWORD, LPWSTR) {
  return 0;
}
DWORD WINAPI GrowingTempPath(DWORD size, LPWSTR) {
  return size + 10;  // never fits
}

TEST(TempFolderTest, LongPathIsAskedForAgainAndComesWhole) {
  g_calls = 0;
  EXPECT_EQ(TempFolder(LongTempPath), kLongTemp);
  EXPECT_EQ(g_calls, 2);
  EXPECT_EQ(TempFolder(NoTempPath), L"");
  EXPECT_EQ(TempFolder(GrowingTempPath), L"");  // a complete path or none
}

TEST(TempFolderTest, PlatformFolderEndsInBackslash) {
  const std::wstring folder = TempFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), L'\\');
  EXPECT_NE(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

// --- the reply bytes --------------------------------------------------------

TEST(ReplyBufferTest, NulByteKeepsWhatFollowsIt) {
  ReplyBuffer reply;
  reply.Append("v=2**t1=a\0b**", 13);
  reply.Append("u=x**", 5);
  EXPECT_EQ(reply.Text(), std::wstring(L"v=2**t1=a\0b**u=x**", 18));
}

TEST(ReplyBufferTest, AnsiBytesDecodeWithTheThreadCodePage) {
  ReplyBuffer reply;
  reply.Append("caf\xe9 \x80", 6);  // code page 1252: e acute and the euro sign
  EXPECT_EQ(reply.Text(), L"caf\u00e9 \u20ac");
}

TEST(ReplyBufferTest, MultibyteCharacterSplitBetweenReadsStaysWhole) {
  const LCID previous = GetThreadLocale();
  // Japanese: the thread's ANSI code page becomes 932, where 0x82 0xA0 is one character.
  ASSERT_TRUE(SetThreadLocale(MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), SORT_DEFAULT)));
  ReplyBuffer reply;
  reply.Append("t1=\x82", 4);
  reply.Append("\xa0**", 3);
  const std::wstring text = reply.Text();
  SetThreadLocale(previous);
  EXPECT_EQ(text, L"t1=\u3042**");
}

TEST(ReplyBufferTest, BytesPastTheLimitAreDropped) {
  ReplyBuffer small(8);
  small.Append("12345", 5);
  small.Append("6789", 4);
  small.Append("abc", 3);
  EXPECT_EQ(small.size(), 8u);
  EXPECT_EQ(small.Text(), L"12345678");

  ReplyBuffer reply;
  EXPECT_EQ(ReplyBuffer::kLimit, 1024u * 1024u);
  const std::string chunk(4096, 'x');
  for (int i = 0; i < 300; ++i) reply.Append(chunk.data(), chunk.size());
  EXPECT_EQ(reply.size(), ReplyBuffer::kLimit);
  EXPECT_EQ(reply.Text().size(), ReplyBuffer::kLimit);
}

TEST(ReplyBufferTest, ReplyEndingAtTheCapIsKeptWholeAndEndsTheReading) {
  const struct {
    size_t bytes;
    bool full;
    size_t kept;
  } cases[] = {{7, false, 7}, {8, true, 8}, {9, true, 8}};
  for (const auto& c : cases) {
    ReplyBuffer reply(8);
    reply.Append(std::string(c.bytes, 'x').data(), c.bytes);
    EXPECT_EQ(reply.full(), c.full) << c.bytes;
    EXPECT_EQ(reply.size(), c.kept) << c.bytes;
  }

  ReplyBuffer reply;  // the real cap, reached by whole reads
  const std::string chunk(4096, 'v');
  for (size_t i = 0; i < ReplyBuffer::kLimit / chunk.size(); ++i) {
    EXPECT_FALSE(reply.full()) << i;
    reply.Append(chunk.data(), chunk.size());
  }
  EXPECT_TRUE(reply.full());
  EXPECT_EQ(reply.Text(), std::wstring(ReplyBuffer::kLimit, L'v'));
}

// --- the request's clock ----------------------------------------------------

TEST(RequestDeadlineTest, CallerAndRequestReadOneClock) {
  // Started at 1000 with a budget of 60 and steps of 30: reads start until 1060, the caller
  // waits until 1090, the time the last read may take, and a request goes out only while its
  // connect and send both end before that.
  const quenvo::RequestDeadline deadline(1000, 60, 30);
  const struct {
    ULONGLONG now;
    bool passed;
    bool maySend;
    DWORD wait;
  } moments[] = {{1000, false, true, 90}, {1030, false, true, 60}, {1031, false, false, 59}, {1059, false, false, 31},
                 {1060, true, false, 30}, {1089, true, false, 1},  {1090, true, false, 0},   {5000, true, false, 0}};
  for (const auto& m : moments) {
    EXPECT_EQ(deadline.PassedAt(m.now), m.passed) << m.now;
    EXPECT_EQ(deadline.MaySendAt(m.now), m.maySend) << m.now;
    EXPECT_EQ(deadline.WaitAt(m.now), m.wait) << m.now;
  }
}

}  // namespace
