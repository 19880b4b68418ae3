// Which hive decides a switch, and which values count as set at all.
#include <gtest/gtest.h>

#include "policy.h"

namespace {

PolicyValue Dword(DWORD data) {
  return {true, REG_DWORD, sizeof(DWORD), data};
}
const PolicyValue kMissing;
const PolicyValue kOn = Dword(1);
const PolicyValue kOff = Dword(0);

struct Case {
  PolicyValue machine;
  PolicyValue user;
  bool on;
};

class PrecedenceTest : public ::testing::TestWithParam<Case> {};

TEST_P(PrecedenceTest, ComputerDecidesThenUserThenOff) {
  EXPECT_EQ(IsSwitchOn(GetParam().machine, GetParam().user), GetParam().on);
}

INSTANTIATE_TEST_SUITE_P(Hives, PrecedenceTest,
                         ::testing::Values(Case{kMissing, kMissing, false}, Case{kOn, kMissing, true},
                                           Case{kOff, kMissing, false}, Case{kMissing, kOn, true},
                                           Case{kMissing, kOff, false}, Case{kOff, kOn, false}, Case{kOn, kOff, true},
                                           Case{kOn, kOn, true}));

// Values that say nothing: the computer's leaves the decision to the user's, and either alone is off.
class NotSetTest : public ::testing::TestWithParam<PolicyValue> {};

TEST_P(NotSetTest, CountsAsMissing) {
  EXPECT_FALSE(IsSwitchOn(GetParam(), kMissing));
  EXPECT_FALSE(IsSwitchOn(kMissing, GetParam()));
  EXPECT_TRUE(IsSwitchOn(GetParam(), kOn));
  EXPECT_FALSE(IsSwitchOn(GetParam(), kOff));
}

INSTANTIATE_TEST_SUITE_P(Values, NotSetTest,
                         ::testing::Values(Dword(2), Dword(0xFFFFFFFF),
                                           PolicyValue{true, REG_SZ, 4, L'1'},  // "1" with its NUL, as read
                                           PolicyValue{true, REG_BINARY, 4, 1},
                                           PolicyValue{true, REG_DWORD_BIG_ENDIAN, 4, 0x01000000},
                                           PolicyValue{true, REG_DWORD, 2, 1},     // too short for a DWORD
                                           PolicyValue{false, REG_DWORD, 4, 1}));  // the query failed

}  // namespace
