#include "config/integer_literal.h"

#include <gtest/gtest.h>

namespace {

struct LiteralCase {
  const char* text;
  bool whole;
  int32_t value;
};

class IntegerLiteral : public ::testing::TestWithParam<LiteralCase> {};

TEST_P(IntegerLiteral, ReadsWithAutomaticBaseAndClamps) {
  const LiteralCase& c = GetParam();
  int32_t value = -12345;
  EXPECT_EQ(parse_integer_literal(c.text, &value), c.whole) << c.text;
  if (c.whole) {
    EXPECT_EQ(value, c.value) << c.text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, IntegerLiteral,
    ::testing::Values(
        LiteralCase{"", true, 0}, LiteralCase{"42", true, 42},
        LiteralCase{"0x10", true, 16}, LiteralCase{"0X1f", true, 31},
        LiteralCase{"010", true, 8}, LiteralCase{"+7", true, 7},
        LiteralCase{" \t-7", true, -7}, LiteralCase{"-0x1", true, -1},
        LiteralCase{"4294967295", true, INT32_MAX},
        LiteralCase{"0xffffffff", true, INT32_MAX},
        LiteralCase{"-99999999999", true, INT32_MIN},
        LiteralCase{"09", false, 0}, LiteralCase{"0x", false, 0},
        LiteralCase{"0b101", false, 0}, LiteralCase{"12abc", false, 0},
        LiteralCase{"7 ", false, 0}, LiteralCase{"1=2", false, 0},
        LiteralCase{" ", false, 0}, LiteralCase{"-", false, 0}));

}  // namespace
