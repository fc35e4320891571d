// The scan of the raw command line for the word that starts the child's line.
#include <gtest/gtest.h>

#include <cstring>

#include "cli/script_commands.h"

namespace {

struct ScanCase {
  const char* label;
  const char* raw;
  const char* child;  // null: no child line (exit -1)
};

const ScanCase kScanCases[] = {
    {"plain word", "zebcfg wait cmd /c exit 3", "cmd /c exit 3"},
    {"quoted program path with blanks",
     "\"C:\\Program Files\\zeb\\zebcfg.exe\" wait cmd /c exit 3",
     "cmd /c exit 3"},
    {"quoted path that contains the word",
     "\"C:\\wait here\\zebcfg.exe\" wait x", "x"},
    {"unclosed quote is scanned from the start", "\"zebcfg wait x", "x"},
    {"tab before the word", "zebcfg\twait x", "x"},
    {"tab after the word", "zebcfg wait\tx", "x"},
    {"blanks after the word are skipped", "zebcfg wait  \t  x y", "x y"},
    {"trailing blanks of the child stay", "zebcfg wait x  ", "x  "},
    {"quotes and spacing reach the child", "zebcfg wait \"a  b\"  'c'\t\"\"",
     "\"a  b\"  'c'\t\"\""},
    {"word at the end of the line", "zebcfg wait", nullptr},
    {"only blanks after the word", "zebcfg wait   ", ""},
    {"word in quotes", "zebcfg \"wait\" x", nullptr},
    {"program name starting with the letters", "waiter wait x", nullptr},
    {"quoted path glued to the word", "\"zebcfg\"wait x", nullptr},
    {"mixed case word without a later word", "zebcfg Wait x", nullptr},
    {"mixed case word with a later word", "zebcfg Wait a wait b", "b"},
    {"lowercase in the child wins over the WAIT word",
     "zebcfg WAIT cmd /c echo wait now", "now"},
    {"lowercase letters inside a word hide the WAIT word",
     "zebcfg WAIT type await.txt", nullptr},
    {"WAIT word when no lowercase letters occur", "zebcfg WAIT x y", "x y"},
    {"word inside a longer word is skipped", "zebcfg awaits wait x", "x"},
    {"word followed by a non-blank is skipped", "zebcfg waits wait x", "x"},
    {"byte 0x80 and up is not white space", "zebcfg\xa0wait\xa0x", nullptr},
    {"empty line", "", nullptr},
    {"no word at all", "zebcfg osver", nullptr},
};

TEST(WaitScan, FindsTheChildLineAsTyped) {
  for (const ScanCase& c : kScanCases) {
    const char* child = find_child_command_line(c.raw);
    if (c.child == nullptr) {
      EXPECT_EQ(child, nullptr) << c.label;
    } else {
      ASSERT_NE(child, nullptr) << c.label;
      EXPECT_STREQ(child, c.child) << c.label;
      // The child line is the tail of the raw line, not a copy.
      EXPECT_EQ(child + std::strlen(child), c.raw + std::strlen(c.raw))
          << c.label;
    }
  }
}

TEST(WaitScan, NullLineHasNoChild) {
  EXPECT_EQ(find_child_command_line(nullptr), nullptr);
}

TEST(RunAndWait, EmptyLineCannotStart) {
  EXPECT_EQ(run_and_wait(""), -1);
  EXPECT_EQ(run_and_wait(nullptr), -1);
}

}  // namespace
