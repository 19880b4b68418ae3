#include <gtest/gtest.h>

#include <string>

#include "command.h"

namespace {

struct Case {
  const wchar_t* line;
  AgentCommand expected;
  const wchar_t* detached = L"";  // the tail handed to a detached copy; "" when none is started
  bool update = false;            // the line asks for the update window
};

class DispatchTest : public ::testing::TestWithParam<Case> {};

TEST_P(DispatchTest, FirstMatchingTestWins) {
  EXPECT_EQ(ParseCommand(GetParam().line), GetParam().expected)
      << "command line: " << testing::PrintToString(std::wstring(GetParam().line));
  EXPECT_EQ(DetachedCommand(GetParam().line), GetParam().detached)
      << "command line: " << testing::PrintToString(std::wstring(GetParam().line));
  EXPECT_EQ(IsUpdateCommand(GetParam().line), GetParam().update)
      << "command line: " << testing::PrintToString(std::wstring(GetParam().line));
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, DispatchTest,
    ::testing::Values(
        Case{L"data=install", AgentCommand::kInstall},
        Case{L"data=installrun", AgentCommand::kInstall},  // the install test comes first
        Case{L"data=install extra words", AgentCommand::kInstall}, Case{L"data=uninstall", AgentCommand::kUninstall},
        Case{L"data=uninstallrun", AgentCommand::kUninstall}, Case{L"data=run", AgentCommand::kRun},
        Case{L"data=dayrun", AgentCommand::kRun}, Case{L"data=xrunx", AgentCommand::kRun},
        Case{L"data=data=install", AgentCommand::kInstall},  // both prefixes removed
        Case{L"data=xdata=install", AgentCommand::kNone},    // leaves "xinstall"
        Case{L"data=xdata=run", AgentCommand::kRun},
        Case{L"data=inst", AgentCommand::kNone},  // shorter than the tested prefix
        Case{L"data=uninst", AgentCommand::kNone}, Case{L"data=", AgentCommand::kNone}, Case{L"", AgentCommand::kNone},
        Case{L"data", AgentCommand::kNone}, Case{L"Data=install", AgentCommand::kNone},
        Case{L"DATA=run", AgentCommand::kNone}, Case{L"data=Install", AgentCommand::kNone},
        Case{L"data=RUN", AgentCommand::kNone}, Case{L"\"data=install\"", AgentCommand::kNone},
        Case{L" data=install", AgentCommand::kNone},
        // One pass: the "data=" formed by removing the inner one stays and hides "install".
        Case{L"data=ddata=ata=install", AgentCommand::kNone}, Case{L"data=ddata=ata=run", AgentCommand::kRun},
        // The logon stub's form sends nothing itself; it hands only a "data=" command on.
        Case{L"/detach data=install", AgentCommand::kNone, L"data=install"},
        Case{L"/detach data=run x", AgentCommand::kNone, L"data=run x"},
        Case{L"/detach data=", AgentCommand::kNone, L"data="},
        Case{L"/detach /detach data=install", AgentCommand::kNone},  // a copy never detaches again
        Case{L"/detach install", AgentCommand::kNone}, Case{L"/detach  data=install", AgentCommand::kNone},
        Case{L"/detachdata=install", AgentCommand::kNone}, Case{L"/detach ", AgentCommand::kNone},
        Case{L"/Detach data=install", AgentCommand::kNone}, Case{L" /detach data=install", AgentCommand::kNone},
        Case{L"data=/detach data=install", AgentCommand::kNone},
        // A person's request for an update: sends nothing by itself, and is nothing else.
        Case{L"/update", AgentCommand::kNone, L"", true}, Case{L"/update \t ", AgentCommand::kNone, L"", true},
        Case{L"/update data=run", AgentCommand::kNone}, Case{L"/updates", AgentCommand::kNone},
        Case{L"/Update", AgentCommand::kNone}, Case{L" /update", AgentCommand::kNone},
        Case{L"/detach /update", AgentCommand::kNone}, Case{L"data=run /update", AgentCommand::kRun}));

TEST(RemoveAllTest, RemovesLeftToRightWithoutOverlapOrRescan) {
  EXPECT_EQ(RemoveAll(L"data=data=install", L"data="), L"install");
  EXPECT_EQ(RemoveAll(L"data=xdata=install", L"data="), L"xinstall");
  EXPECT_EQ(RemoveAll(L"ddata=ata=", L"data="), L"data=");
  EXPECT_EQ(RemoveAll(L"aaaa", L"aa"), L"");
  EXPECT_EQ(RemoveAll(L"aaa", L"aa"), L"a");
  EXPECT_EQ(RemoveAll(L"no marker", L"data="), L"no marker");
  EXPECT_EQ(RemoveAll(L"", L"data="), L"");
}

}  // namespace
