// The command handlers a/aq (create), r/rq (remove) and l (list).
#include <cstdio>
#include <string>
#include <vector>

#include "cli/handlers.h"
#include "cli/status.h"
#include "device/device.h"
#include "device/device_layout.h"
#include "platform/registry.h"

namespace {

// Creates the device args[1], gives it the pairs after it and commits it.
int32_t add_device(CommandContext* context, OutputMode mode, int32_t count,
                   char* const* args) {
  DeviceRecord device = {};
  device.name = args[1];
  StatusCode status = context_open_root(context, true);
  if (status == 0) status = dev_create(context, &device);
  if (status != 0) {
    report_status(context, mode, status);
    return 1;
  }
  return set_pairs_and_commit(context, &device, mode, count, args);
}

// Deletes the device args[1].
int32_t remove_device(CommandContext* context, OutputMode mode, int32_t,
                      char* const* args) {
  DeviceRecord device = {};
  device.name = args[1];
  StatusCode status = context_open_root(context, true);
  if (status == 0) status = dev_remove(context, &device);
  if (status != 0) {
    report_status(context, mode, status);
    return 1;
  }
  if (!is_quiet(mode)) std::printf("%s removed\n", args[1]);
  return 0;
}

// Prints the name of every device, in the order of the root's subkeys,
// with the header before the first; *listed tells whether there was one.
// The status that ended the walk: 259 at its normal end.
StatusCode print_device_names(const CommandContext* context, bool* listed) {
  std::vector<std::string> names;
  StatusCode status = dev_list_names(context, &names);
  for (const std::string& name : names) {
    if (!*listed) std::fputs("Configured devices:\n", stdout);
    *listed = true;
    std::fputs("    ", stdout);
    std::fputs(name.c_str(), stdout);
    std::fputc('\n', stdout);
  }
  return status;
}

// Lists the devices. The listing reads one state of the root: each device
// that exists throughout is listed once, whatever others add or remove
// meanwhile.
int32_t list_devices(CommandContext* context, OutputMode mode, int32_t,
                     char* const*) {
  bool listed = false;
  StatusCode status = context_open_root(context, false);
  if (status == 0) status = reg_begin_snapshot();
  if (status == 0) {
    status = print_device_names(context, &listed);
    reg_end_snapshot();
  }
  if (status == W32_ERROR_NO_MORE_ITEMS) {
    if (!listed) std::fputs("No configured devices found\n", stdout);
    return 0;
  }
  report_status(context, mode, status);
  return 1;
}

}  // namespace

int32_t add_handler(OutputMode mode, int32_t count, char* const* args) {
  if (count <= 2) return pairs_syntax_error(mode, "a");
  return run_in_context(add_device, mode, count, args);
}

int32_t remove_handler(OutputMode mode, int32_t count, char* const* args) {
  if (count != 2) {
    if (!is_quiet(mode))
      std::printf("Syntax: %s r <dev. name>\n", program_name);
    return 1;
  }
  return run_in_context(remove_device, mode, count, args);
}

int32_t list_handler(OutputMode mode, int32_t count, char* const* args) {
  if (count > 2) {
    std::printf("warning: '%s d' command does not require arguments\n",
                program_name);
  }
  return run_in_context(list_devices, mode, count, args);
}
