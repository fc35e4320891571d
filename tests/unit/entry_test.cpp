#include "cli/entry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct NameCase {
  const char* path;
  const char* expected;
};

class ProgramName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ProgramName, IsTheFileNameBeforeItsFirstDot) {
  set_program_name(GetParam().path);
  EXPECT_STREQ(program_name, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProgramName,
    ::testing::Values(NameCase{"C:\\tools\\cfg.tool.exe", "cfg"},
                      NameCase{"C:\\tools\\ZebCfg.exe", "ZebCfg"},
                      NameCase{"zebcfg", "zebcfg"},
                      NameCase{"\\usr\\bin\\zebcfg", "zebcfg"},
                      NameCase{"C:\\tools\\.hidden.exe", ""},
                      NameCase{"C:\\dir.d\\name", "name"}));

TEST(ProgramName, LongNamesAreCutTo99Characters) {
  std::string path = "C:\\" + std::string(150, 'n') + ".exe";
  set_program_name(path.c_str());
  EXPECT_EQ(std::strlen(program_name), 99u);
}

TEST(CommandTable, HoldsTheTwentyOneWordsInOrder) {
  const char* words[] = {
      "a",     "aq",    "r",       "rq",       "l",        "p",      "s",
      "sq",    "ml",    "ms",      "msq",      "osver",    "reboot", "stop",
      "stopq", "stopd", "restart", "restartq", "restartd", "msg",    "wait"};
  int rows = 0;
  for (const CommandEntry* row = kCommandTable; row->name; ++row, ++rows) {
    ASSERT_LT(rows, 21);
    EXPECT_STREQ(row->name, words[rows]);
    size_t length = std::strlen(row->name);
    char last = row->name[length - 1];
    bool suffixed = length > 1 && (last == 'q' || last == 'd') &&
                    std::strcmp(row->name, "osver") != 0;
    OutputMode expected = !suffixed     ? MODE_NORMAL
                          : last == 'q' ? MODE_QUIET
                                        : MODE_DIALOG;
    EXPECT_EQ(row->mode, expected) << row->name;
  }
  EXPECT_EQ(rows, 21);
}

}  // namespace
