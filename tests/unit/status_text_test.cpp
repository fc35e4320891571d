#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cli/safe_format.h"
#include "cli/status.h"
#include "platform/posix/fault.h"
#include "test_root.h"

namespace {

std::string format(const char* text, int32_t value) {
  char out[400];
  std::memset(out, 'Z', sizeof out);
  format_status_text(text, value, out, sizeof out);
  return out;
}

struct FormatCase {
  const char* format;
  int32_t value;
  const char* expected;
};

class SafeFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(SafeFormat, RendersIntegersAndCopiesEverythingElse) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(format(c.format, c.value), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SafeFormat,
    ::testing::Values(
        FormatCase{"Unrecognized system error %d(0x%x)", 2,
                   "Unrecognized system error 2(0x2)"},
        FormatCase{"Unrecognized system error %d(0x%x)",
                   static_cast<int32_t>(0xF0000040),
                   "Unrecognized system error -268435392(0xf0000040)"},
        FormatCase{"100%% sure %u", -1, "100% sure 4294967295"},
        FormatCase{"[%5d|%-4x|%08X]", 10, "[   10|a   |%08X]"},
        FormatCase{"%08X %o", 10, "0000000A 12"},
        FormatCase{"%+.3i and %#x", 7, "+007 and 0x7"},
        FormatCase{"%ld %hd", 5, "5 5"}, FormatCase{"%s %n %p", 5, "%s %n %p"},
        FormatCase{"%hd(0x%hx)", static_cast<int32_t>(0xF0000040), "64(0x40)"},
        FormatCase{"%hu %hhd", -1, "65535 -1"},
        FormatCase{"%hhu|%hhx", 0x1FF, "255|ff"},
        FormatCase{"%*d %.*d %lld", 5, "%*d %.*d %lld"},
        FormatCase{"%d %d %d", 3, "3 3 %d"},
        FormatCase{"%s then %d", 4, "%s then 4"},
        FormatCase{"trailing %", 1, "trailing %"}, FormatCase{"%c", 65, "A"},
        FormatCase{"plain text", 9, "plain text"}));

TEST(SafeFormat, HugeWidthsStayWithin399Characters) {
  std::string text = format("%999999999d%2000x", 1);
  EXPECT_EQ(text.size(), 399u);
  EXPECT_EQ(text.back(), ' ');
}

TEST(SafeFormat, SmallBufferIsTerminated) {
  char out[6];
  format_status_text("abc%ddef", 12345, out, sizeof out);
  EXPECT_STREQ(out, "abc12");
}

class StatusText : public TestRoot {
 protected:
  // The text of code with the setup file as it is now, if there is one.
  std::string text(StatusCode code) {
    CommandContext context;
    context_open(&context);
    char buffer[STATUS_TEXT_CAPACITY];
    std::memset(buffer, 0, sizeof buffer);
    get_status_text(context.setup, code, buffer, sizeof buffer);
    context_close(&context);
    return buffer;
  }
};

TEST_F(StatusText, DefaultsWithoutSetupFile) {
  EXPECT_EQ(text(5), "Access denied (admin privilege required)");
  EXPECT_EQ(text(2), "Unrecognized system error 2(0x2)");
  EXPECT_EQ(text(0xF000000B),
            "Error in configuration database found - driver "
            "re-installation recommended");
  EXPECT_EQ(text(0xF0000040),
            "Unrecognized system error -268435392(0xf0000040)");
}

TEST_F(StatusText, ReplacementsFromTheSetupFile) {
  std::string long_text(380, 'x');
  std::string too_long(400, 'y');
  write_inf(
      "[Version]\nSignature=\"$Windows NT$\"\n[cfg_strings]\n"
      "msg_access=\"first %d\"\nMSG_ACCESS=second\n"
      "msg_unknown=\"code %x (%d) %s %n\"\n"
      "msg_range=" +
      long_text + "\nmsg_syntax=" + too_long + "\n");
  EXPECT_EQ(text(5), "first 5");
  EXPECT_EQ(text(0x424), "code 424 (1060) %s %n");
  EXPECT_EQ(text(0xF0000007), std::string(368, 'x'));
  EXPECT_EQ(text(0xF0000008), "Command line syntax error");
  EXPECT_EQ(text(0xF0000002), "Device not found");
}

// The dialog form prints only when no box can be shown; a terminal of the
// test run must not get a box, so the box fails by a fault of its own.
TEST_F(StatusText, ReportPrintsInNormalModeAndWhereNoBoxCanBeShown) {
  CommandContext context;
  context_open(&context);
  testing::internal::CaptureStdout();
  report_status(&context, MODE_NORMAL, 5);
  report_status(&context, MODE_QUIET, 5);
  fault_arm(FaultPoint::kDialogMessageBox, 1,
            W32_ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION);
  report_status(&context, MODE_DIALOG, 0xF000000C);
  fault_clear();
  context_close(&context);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Access denied (admin privilege required)\n"
            "Can not continue: an instance of the driver is still open.\n");
}

}  // namespace
