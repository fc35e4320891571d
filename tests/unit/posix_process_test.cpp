// The POSIX process backend: Windows command-line splitting and rebuilding,
// and children started directly with their exit codes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/posix/command_line.h"
#include "platform/process.h"

namespace {

typedef std::vector<std::string> Args;

struct SplitCase {
  const char* line;
  Args args;
};

// Expected results as a Windows C runtime (msvcrt under Wine) splits them.
const SplitCase kSplitCases[] = {
    {"", {}},
    {" \t ", {}},
    {"p a b", {"p", "a", "b"}},
    {"p x\t\ty  ", {"p", "x", "y"}},
    {"p \"\" x", {"p", "", "x"}},
    {"p \"a b\" c", {"p", "a b", "c"}},
    {"p a\"\"b", {"p", "ab"}},
    {"p \"a\"\"b\" c", {"p", "a\"b", "c"}},
    {"p \"a\"\"\"b\" c", {"p", "a\"b c"}},
    {"p \"\"\"\" x", {"p", "\"", "x"}},
    {"p \"\"\" x", {"p", "\" x"}},
    {"p \"ab\"cd\" e", {"p", "abcd e"}},
    {"p \"a b\"\"c d\" e", {"p", "a b\"c d", "e"}},
    {"p a\"b c\"d\"\" e f", {"p", "ab cd", "e", "f"}},
    {"p a\\\\\\\"b", {"p", "a\\\"b"}},
    {"p a\\\\\"b c\" d", {"p", "a\\b c", "d"}},
    {"p a\\b\\\\ c", {"p", "a\\b\\\\", "c"}},
    {"p \"a\\\\\" b", {"p", "a\\", "b"}},
    {"p \\\"x\\\"", {"p", "\"x\""}},
    {"p \"unterminated x", {"p", "unterminated x"}},
    {"\"C:\\Program Files\\p.exe\" a", {"C:\\Program Files\\p.exe", "a"}},
};

TEST(PosixCommandLine, SplitsLikeTheWindowsRuntime) {
  for (const SplitCase& c : kSplitCases) {
    EXPECT_EQ(posix_split_command_line(c.line), c.args) << "line: " << c.line;
  }
}

TEST(PosixCommandLine, JoinedArgumentsSplitBackUnchanged) {
  const Args cases[] = {
      {"prog"},
      {"prog", ""},
      {"prog", "a b", "\t", "c"},
      {"prog", "say \"hi\"", "\"", "\"\""},
      {"prog", "dir\\", "dir\\ x", "a\\\\b", "\\\"", "end\\\\"},
      {"/usr/bin/prog", "x\ny", "v\vw", "%PATH%", "a\\b c\\"},
  };
  for (const Args& args : cases) {
    std::string line = posix_join_command_line(args);
    EXPECT_EQ(posix_split_command_line(line.c_str()), args) << line;
  }
}

TEST(PosixCommandLine, PlainArgumentsStayUnquoted) {
  EXPECT_EQ(posix_join_command_line({"zebcfg", "wait", "a\\b", "x=1"}),
            "zebcfg wait a\\b x=1");
  EXPECT_EQ(posix_join_command_line({"zebcfg", "msg", "Setup complete", ""}),
            "zebcfg msg \"Setup complete\" \"\"");
}

TEST(PosixProcess, CommandLineRebuildsThisProcessArguments) {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  std::string raw((std::istreambuf_iterator<char>(file)),
                  std::istreambuf_iterator<char>());
  Args argv;
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find('\0', start);
    argv.push_back(raw.substr(start, end - start));
    start = end + 1;
  }
  EXPECT_EQ(posix_split_command_line(process_command_line()), argv);
  EXPECT_EQ(process_command_line(), process_command_line());
}

TEST(PosixProcess, ModulePathUsesBackslashesAndIsCut) {
  char path[260];
  size_t length = process_module_path(path, sizeof(path));
  ASSERT_GT(length, 0u);
  EXPECT_EQ(std::string(path).find('/'), std::string::npos);
  EXPECT_EQ(path[0], '\\');
  char small[4];
  EXPECT_EQ(process_module_path(small, sizeof(small)), 3u);
  EXPECT_EQ(std::string(small), std::string(path, 3));
}

// Starts command_line and waits; the start status, and the exit code in *code.
StatusCode run(const std::string& command_line, uint32_t* code) {
  ProcessHandle process = nullptr;
  StatusCode status = process_start(command_line.c_str(), &process);
  if (status != 0) return status;
  process_wait(process);
  EXPECT_TRUE(process_exit_code(process, code));
  process_close(process);
  return 0;
}

struct ExitCase {
  const char* command_line;
  uint32_t code;
};

TEST(PosixProcess, ChildExitCodes) {
  const ExitCase cases[] = {
      {"true", 0},
      {"sh -c \"exit 3\"", 3},
      {"sh -c \"exit 255\"", 255},
      {"  sh  -c  \"exit 4\"  ", 4},
      {"sh -c \"kill -TERM $$\"", 128 + 15},
      {"sh -c \"kill -KILL $$\"", 128 + 9},
      {"sh -c \"[ \\\"$1\\\" = 'a \\\"b' ] && exit 7\" sh \"a \\\"b\"", 7},
  };
  for (const ExitCase& c : cases) {
    uint32_t code = 0xDEAD;
    EXPECT_EQ(run(c.command_line, &code), 0u) << c.command_line;
    EXPECT_EQ(code, c.code) << c.command_line;
  }
}

class PosixProcessFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zebcfg-process-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    ASSERT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0);
  }
  // Writes a shell script at path with the given mode.
  void write_script(const std::string& path, const std::string& body,
                    mode_t mode) {
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
  }
  std::string dir_;
};

TEST_F(PosixProcessFiles, ProgramsThatCannotStartFailTheStart) {
  write_script(dir_ + "/plain", "exit 0", 0644);
  const struct {
    std::string command_line;
    StatusCode status;
  } cases[] = {
      {"zebcfg-no-such-program-h3 x", 2},
      {dir_ + "/missing", 2},
      {"\"\" x", 2},
      {"", 2},
      {dir_ + "/plain", 5},
      {dir_, 5},
  };
  for (const auto& c : cases) {
    ProcessHandle process = nullptr;
    EXPECT_EQ(process_start(c.command_line.c_str(), &process), c.status)
        << c.command_line;
  }
}

TEST_F(PosixProcessFiles, QuotedProgramPathWithBlanks) {
  ASSERT_EQ(mkdir((dir_ + "/with blank").c_str(), 0755), 0);
  std::string program = dir_ + "/with blank/check";
  write_script(program,
               "[ $# -eq 2 ] && [ \"$1\" = 'a b' ] && [ \"$2\" = 'c\"d' ] "
               "&& exit 9\nexit 1",
               0755);
  uint32_t code = 0;
  EXPECT_EQ(run("\"" + program + "\" \"a b\" c\\\"d", &code), 0u);
  EXPECT_EQ(code, 9u);
  EXPECT_EQ(run(program + " x", &code), 2u);
}

}  // namespace
