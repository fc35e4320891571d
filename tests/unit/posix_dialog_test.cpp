// The POSIX dialogs: drawn on the controlling terminal, here a pseudo
// terminal, with a child process as the program that shows them.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/dialog.h"
#include "platform/registry.h"
#include "test_root.h"

namespace {

// Exit code of a child that reports a dialog result r: r + 2 (so -1 fits).
int encode(int32_t result) { return static_cast<int>(result + 2); }

int32_t decode(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) - 2 : -100;
}

// Reads from the terminal master until marker has appeared (or the child has
// gone); appends to *out.
void read_until(int master, const std::string& marker, std::string* out) {
  while (out->find(marker) == std::string::npos) {
    struct pollfd fd = {master, POLLIN, 0};
    // A bound so that a broken dialog fails the test instead of hanging it.
    if (poll(&fd, 1, 10000) <= 0) return;
    char chunk[512];
    ssize_t n = read(master, chunk, sizeof(chunk));
    if (n <= 0) return;
    out->append(chunk, static_cast<size_t>(n));
  }
}

class PosixDialog : public TestRoot {
 protected:
  // Runs dialog in a child on a new terminal, types input once prompt has
  // appeared, and returns the dialog's result; *screen gets what it drew.
  int32_t run_on_terminal(int32_t (*dialog)(), const std::string& prompt,
                          const std::string& input, std::string* screen) {
    registry_store_reset();  // the child opens the store for itself
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) _exit(encode(dialog()));
    EXPECT_GT(pid, 0);
    if (pid <= 0) return -100;
    read_until(master, prompt, screen);
    EXPECT_EQ(write(master, input.data(), input.size()),
              static_cast<ssize_t>(input.size()));
    read_until(master, "\x01never", screen);
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    return decode(status);
  }

  bool reboot_pending(uint32_t* value) {
    RegKey key = nullptr;
    if (reg_open_key(reg_local_machine(), "System\\Platform",
                     W32_KEY_QUERY_VALUE, &key) != 0) {
      return false;
    }
    uint32_t size = sizeof(*value);
    StatusCode status =
        reg_query_value(key, "RebootPending", nullptr, value, &size);
    reg_close_key(key);
    return status == 0;
  }
};

int32_t show_error_box() {
  return static_cast<int32_t>(dialog_message_box(
      "Setup complete\n\x1b[31mred\tend", "zebcfg", W32_MB_OK_ICONERROR));
}

TEST_F(PosixDialog, MessageBoxDrawsTitleMarkerTextAndWaitsForEnter) {
  std::string screen;
  EXPECT_EQ(run_on_terminal(show_error_box, "Press Enter", "\n", &screen), 0);
  EXPECT_NE(screen.find("zebcfg"), std::string::npos) << screen;
  EXPECT_NE(screen.find("(X) Setup complete"), std::string::npos) << screen;
  EXPECT_NE(screen.find("[ OK ]"), std::string::npos) << screen;
  // Control bytes of the text never reach the terminal.
  EXPECT_EQ(screen.find('\x1b'), std::string::npos) << screen;
  EXPECT_NE(screen.find("?[31mred end"), std::string::npos) << screen;
}

TEST_F(PosixDialog, RebootAnswers) {
  const struct {
    const char* input;
    int32_t result;
    bool recorded;
  } cases[] = {
      {"n\n", 0, false},
      {"\n", 0, false},
      {"yesterday\n", 0, false},
      {" Yes \n", W32_SPFILEQ_REBOOT_IN_PROGRESS, true},
      {"y\n", W32_SPFILEQ_REBOOT_IN_PROGRESS, true},
  };
  for (const auto& c : cases) {
    std::string screen;
    EXPECT_EQ(run_on_terminal(dialog_prompt_reboot, "[y/N]", c.input, &screen),
              c.result)
        << c.input;
    EXPECT_NE(screen.find("Restart the computer now?"), std::string::npos);
    uint32_t value = 0;
    EXPECT_EQ(reboot_pending(&value), c.recorded) << c.input;
    if (c.recorded) {
      EXPECT_EQ(value, 1u);
    }
  }
}

TEST(PosixDialogWithoutTerminal, BoxAndPromptFailAtOnce) {
  pid_t pid = fork();
  if (pid == 0) {
    setsid();  // no controlling terminal from here on
    bool ok = dialog_message_box("text", "title", W32_MB_OK_ICONERROR) ==
                  W32_ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION &&
              dialog_prompt_reboot() == -1;
    _exit(ok ? 0 : 1);
  }
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
