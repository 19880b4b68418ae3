#include "text.h"

#include <gtest/gtest.h>

#include "client_profile.h"
#include "command_line.h"

TEST(TextBetween, FindsFirstStartThenNextEnd) {
  EXPECT_EQ(TextBetween(L"v=1.0.4**t1=a**", L"v=", L"**"), L"1.0.4");
  EXPECT_EQ(TextBetween(L"t1=see u=x**u=real**", L"u=", L"**"), L"x");  // inside an earlier value
  EXPECT_EQ(TextBetween(L"sz=12", L"sz=", L"**"), L"");                 // end marker missing
  EXPECT_EQ(TextBetween(L"abc", L"x=", L"**"), L"");                    // start marker missing
  EXPECT_EQ(TextBetween(L"v=**", L"v=", L"**"), L"");
  EXPECT_EQ(TextBetween(L"abc**", L"", L"**"), L"abc");
  EXPECT_EQ(TextBetween(L"", L"", L""), L"");
}

TEST(UrlEncode, KeepsAlnumTurnsSpaceToPlusAndEscapesTheRest) {
  EXPECT_STREQ(UrlEncode("C:\\Down\\quenvo_ch215.exe").get(), "C%3A%5CDown%5Cquenvo%5Fch215%2Eexe");
  EXPECT_STREQ(UrlEncode("a b\tc\r\n").get(), "a+b+c++");
  EXPECT_STREQ(UrlEncode("-_.~").get(), "%2D%5F%2E%7E");
  EXPECT_STREQ(UrlEncode("\xC3\xA9\xFF").get(), "%C3%A9%FF");
  EXPECT_STREQ(UrlEncode("").get(), "");
}

TEST(Conversions, RoundTripThroughAnsiAndUtf8) {
  EXPECT_EQ(FromAnsi(nullptr), L"");
  EXPECT_EQ(FromAnsi(""), L"");
  EXPECT_EQ(FromAnsi("caf\xE9"), L"caf\u00e9");  // code page 1252 under test
  EXPECT_EQ(ToAnsi(L"caf\u00e9"), "caf\xE9");
  EXPECT_EQ(ToAnsi(L""), "");
  EXPECT_STREQ(ToUtf8(L"\u00e9\u8f6f").get(), "\xC3\xA9\xE8\xBD\xAF");
  EXPECT_STREQ(ToUtf8(L"").get(), "");
  EXPECT_EQ(FromAnsiBytes("a\0b", 3), std::wstring(L"a\0b", 3));
}

TEST(Profile, ChannelComesFromTheLoweredInstallerName) {
  EXPECT_EQ(DeriveChannel(L"C:\\Down\\quenvo_ch215.exe"), L"215");
  EXPECT_EQ(DeriveChannel(L"QUENVO_CH77.EXE"), L"77");
  EXPECT_EQ(DeriveChannel(L"quenvo_ch12.exe.exe"), L"12");
  EXPECT_EQ(DeriveChannel(L"quenvo_ch3.exe quenvo_ch4.exe"), L"3");
  EXPECT_EQ(DeriveChannel(L"quenvo_chAB.exe"), L"ab");
  for (const wchar_t* name : {L"quenvo_ch.exe", L"quenvo_ch12", L"setup.exe", L""}) {
    EXPECT_EQ(DeriveChannel(name), L"1001") << testing::PrintToString(std::wstring(name));
  }
}

TEST(Profile, InstallerNameIsEncodedUnchanged) {
  EXPECT_EQ(EncodeInstallerName(L"QUENVO_CH77.EXE"), L"QUENVO%5FCH77%2EEXE");
  EXPECT_EQ(EncodeInstallerName(L"my setup \u00e9.exe"), L"my+setup+%C3%A9%2Eexe");
}

TEST(Profile, DayHasNoLeadingZeros) {
  SYSTEMTIME t = {2021, 3, /*day of the week*/ 0, 7, /*time*/ 0, 0, 0, 0};
  EXPECT_EQ(FormatDay(t), L"2021-3-7");
  t.wMonth = 12;
  t.wDay = 31;
  EXPECT_EQ(FormatDay(t), L"2021-12-31");
}

TEST(CommandLineTail, DropsTheNameAndTheBlanksBehindIt) {
  EXPECT_STREQ(CommandLineTail(L"\"C:\\a b\\Q.exe\" \"C:\\d e\\x.docx\""), L"\"C:\\d e\\x.docx\"");
  EXPECT_STREQ(CommandLineTail(L"Q.exe \t  \t doc.docx  "), L"doc.docx  ");
  EXPECT_STREQ(CommandLineTail(L"C:\\a\\Q.exe one two  three"), L"one two  three");
  EXPECT_STREQ(CommandLineTail(L"C:\\a b\\Q.exe x"), L"b\\Q.exe x");  // unquoted: ends at the first blank
  EXPECT_STREQ(CommandLineTail(L"\"C:\\a\\Q.exe\""), L"");
  EXPECT_STREQ(CommandLineTail(L"\"C:\\a\\Q.exe\"tail"), L"");  // no blank: all of it is the name
  EXPECT_STREQ(CommandLineTail(L"Q.exe\001\037doc"), L"doc");   // every control character ends the name
  EXPECT_STREQ(CommandLineTail(L"Q\"a b\"c d"), L"d");
  EXPECT_STREQ(CommandLineTail(L""), L"");
  EXPECT_STREQ(CommandLineTail(nullptr), L"");
}
