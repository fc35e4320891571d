#include "config/integer_literal.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/integer_scan.h"

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

// The forms of the other readers, whole texts by the shared scanner.
struct RuleCase {
  const char* rule_name;
  const IntegerRule* rule;
  const char* text;
  bool whole;
  uint64_t value;
};

class IntegerRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(IntegerRules, ReadEachFormByItsRule) {
  const RuleCase& c = GetParam();
  uint64_t value = 12345;
  std::string text = c.text;
  EXPECT_EQ(read_integer(text.data(), text.size(), *c.rule, &value), c.whole)
      << c.rule_name << " " << c.text;
  EXPECT_EQ(value, c.whole ? c.value : 12345) << c.rule_name << " " << c.text;
}

#define RULE(name) #name, &name
INSTANTIATE_TEST_SUITE_P(
    Table, IntegerRules,
    ::testing::Values(
        // reg add /d: no digits read 0, no octal, 32 bits or refused.
        RuleCase{RULE(kRegDwordRule), "", true, 0},
        RuleCase{RULE(kRegDwordRule), " \t+", true, 0},
        RuleCase{RULE(kRegDwordRule), "0x", true, 0},
        RuleCase{RULE(kRegDwordRule), " +0X1f", true, 31},
        RuleCase{RULE(kRegDwordRule), "010", true, 10},
        RuleCase{RULE(kRegDwordRule), "4294967295", true, 0xFFFFFFFFu},
        RuleCase{RULE(kRegDwordRule), "0x100000000", false, 0},
        RuleCase{RULE(kRegDwordRule), "-1", false, 0},
        RuleCase{RULE(kRegDwordRule), "\n1", false, 0},
        // A '-' wraps a REG_QWORD around; 64 bits or refused.
        RuleCase{RULE(kRegQwordRule), "-2", true, UINT64_MAX - 1},
        RuleCase{RULE(kRegQwordRule), "-", true, 0},
        RuleCase{RULE(kRegQwordRule), "18446744073709551615", true, UINT64_MAX},
        RuleCase{RULE(kRegQwordRule), "18446744073709551616", false, 0},
        RuleCase{RULE(kRegQwordRule), "-0x10000000000000000", false, 0},
        // A byte: one or two hexadecimal digits and nothing else.
        RuleCase{RULE(kHexByteRule), "f", true, 15},
        RuleCase{RULE(kHexByteRule), "Ff", true, 255},
        RuleCase{RULE(kHexByteRule), "0ff", false, 0},
        RuleCase{RULE(kHexByteRule), "", false, 0},
        RuleCase{RULE(kHexByteRule), "+1", false, 0},
        RuleCase{RULE(kHexByteRule), "0x1", false, 0}));
#undef RULE

TEST(IntegerScan, ReadsUtf16TextUpToItsFirstOtherUnit) {
  std::u16string text = u"0000000a)";
  uint64_t value = 0;
  size_t used = 0;
  ASSERT_TRUE(
      scan_integer(text.data(), text.size(), kHexWordRule, &value, &used));
  EXPECT_EQ(value, 10u);
  EXPECT_EQ(used, 8u);
  text = u"00000000a";  // nine digits
  EXPECT_FALSE(
      scan_integer(text.data(), text.size(), kHexWordRule, &value, &used));
  text = u"\u0131";  // its low byte is the digit 1, the unit no digit
  EXPECT_FALSE(
      scan_integer(text.data(), text.size(), kHexWordRule, &value, &used));
}

}  // namespace
