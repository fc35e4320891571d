#include "cli/entry.h"

#include <cstdio>
#include <cstring>

#include "cli/handlers.h"
#include "platform/fold.h"
#include "platform/process.h"

char program_name[PROGRAM_NAME_CAPACITY];

namespace {

constexpr size_t MODULE_PATH_CAPACITY = 260;

}  // namespace

const CommandEntry kCommandTable[] = {
    {"a", add_handler, MODE_NORMAL},
    {"aq", add_handler, MODE_QUIET},
    {"r", remove_handler, MODE_NORMAL},
    {"rq", remove_handler, MODE_QUIET},
    {"l", list_handler, MODE_NORMAL},
    {"p", props_handler, MODE_NORMAL},
    {"s", set_handler, MODE_NORMAL},
    {"sq", set_handler, MODE_QUIET},
    {"ml", map_list_handler, MODE_NORMAL},
    {"ms", map_set_handler, MODE_NORMAL},
    {"msq", map_set_handler, MODE_QUIET},
    {"osver", osver_handler, MODE_NORMAL},
    {"reboot", reboot_handler, MODE_NORMAL},
    {"stop", stop_handler, MODE_NORMAL},
    {"stopq", stop_handler, MODE_QUIET},
    {"stopd", stop_handler, MODE_DIALOG},
    {"restart", restart_handler, MODE_NORMAL},
    {"restartq", restart_handler, MODE_QUIET},
    {"restartd", restart_handler, MODE_DIALOG},
    {"msg", msg_handler, MODE_NORMAL},
    {"wait", wait_handler, MODE_NORMAL},
    {nullptr, nullptr, MODE_NORMAL},
};

void set_program_name(const char* module_path) {
  const char* base = std::strrchr(module_path, '\\');
  base = (base != nullptr) ? base + 1 : module_path;
  size_t length = std::strcspn(base, ".");
  if (length > PROGRAM_NAME_CAPACITY - 1) length = PROGRAM_NAME_CAPACITY - 1;
  std::memcpy(program_name, base, length);
  program_name[length] = '\0';
}

static const CommandEntry* find_command(const char* word) {
  for (const CommandEntry* row = kCommandTable; row->name != nullptr; ++row) {
    if (equal_folded(row->name, word)) return row;
  }
  return nullptr;
}

int32_t run_entry(int argc, char** argv) {
  char module_path[MODULE_PATH_CAPACITY] = {0};
  process_module_path(module_path, sizeof module_path);
  set_program_name(module_path);
  if (program_name[0] == '\0') return -1;

  if (argc <= 1) {
    std::printf("syntax: %s <cmd> [args]\n", program_name);
    return -1;
  }
  const CommandEntry* row = find_command(argv[1]);
  if (row == nullptr) {
    std::printf("unknown command: %s\n", argv[1]);
    return -1;
  }
  int32_t result = row->handler(row->mode, argc - 1, argv + 1);
  std::fflush(stdout);
  return result;
}

int32_t run_in_context(ContextCommand command, OutputMode mode, int32_t count,
                       char* const* args) {
  CommandContext context;
  context_open(&context);
  int32_t result = command(&context, mode, count, args);
  context_close(&context);
  return result;
}
