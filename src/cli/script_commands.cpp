// The script commands osver, msg and wait.
#include "cli/script_commands.h"

#include <cstring>

#include "cli/handlers.h"
#include "cli/status.h"
#include "config/os_class.h"
#include "platform/dialog.h"
#include "platform/process.h"

namespace {

// Space, tab, line feed, vertical tab, form feed, carriage return; never the
// terminator or a byte from 0x80 up.
bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// Where the search for the word starts: after a quoted program path, else at
// the start of the line.
const char* scan_start(const char* raw) {
  if (raw[0] != '"') return raw;
  const char* closing = std::strchr(raw + 1, '"');
  return closing != nullptr ? closing + 1 : raw;
}

// The first "wait" at or after position, or "WAIT" only when there is none.
const char* find_word_candidate(const char* position) {
  const char* hit = std::strstr(position, "wait");
  return hit != nullptr ? hit : std::strstr(position, "WAIT");
}

}  // namespace

const char* find_child_command_line(const char* raw) {
  if (raw == nullptr) return nullptr;
  const char* position = scan_start(raw);
  for (;;) {
    const char* hit = find_word_candidate(position);
    if (hit == nullptr || hit == position) return nullptr;
    if (is_blank(hit[-1]) && is_blank(hit[4])) {
      const char* child = hit + 4;
      while (is_blank(*child)) ++child;
      return child;
    }
    position = hit + 1;
  }
}

int32_t run_and_wait(const char* command_line) {
  if (command_line == nullptr || *command_line == '\0') return -1;
  ProcessHandle process = nullptr;
  if (process_start(command_line, &process) != W32_ERROR_SUCCESS) return -1;
  process_wait(process);
  uint32_t exit_code = 0xFFFFFFFF;
  if (!process_exit_code(process, &exit_code)) exit_code = 0xFFFFFFFF;
  process_close(process);
  return static_cast<int32_t>(exit_code);
}

int32_t msg_handler(OutputMode, int32_t count, char* const* args) {
  if (count < 2) return -1;
  // The text is shown verbatim; it is never used as a format. A box nobody
  // could see was never closed: that is a failure.
  return dialog_message_box(args[1], program_name, W32_MB_OK_ICONERROR) == 0
             ? 0
             : -1;
}

namespace {

// The platform class as the exit code. A version record that cannot be read
// is reported, and its class is 100, as for any failed version query: a
// class is only answered when the record was read.
int32_t answer_os_class(CommandContext* context, OutputMode mode, int32_t,
                        char* const*) {
  OsClass os_class = 0;
  StatusCode status = get_os_class(&os_class);
  if (status != 0) report_status(context, mode, status);
  return os_class;
}

}  // namespace

int32_t osver_handler(OutputMode mode, int32_t count, char* const* args) {
  return run_in_context(answer_os_class, mode, count, args);
}

int32_t wait_handler(OutputMode, int32_t, char* const*) {
  const char* child = find_child_command_line(process_command_line());
  if (child == nullptr) return -1;
  return run_and_wait(child);
}
