// The command handlers a/aq (create), r/rq (remove) and l (list).
#include <cstdio>

#include "cli/handlers.h"
#include "cli/status.h"
#include "device/device.h"
#include "device/device_layout.h"

namespace {

bool is_quiet(OutputMode mode) { return (mode & MODE_QUIET) != 0; }

}  // namespace

int32_t add_handler(OutputMode mode, int32_t count, char* const* args) {
  if (count <= 2) {
    if (!is_quiet(mode)) {
      std::printf("syntax: %s a <name> prop1=value [prop2=...]\n",
                  program_name);
    }
    return 1;
  }
  DeviceRecord device = {};
  device.name = args[1];
  StatusCode status = dev_create(&device);
  if (status != 0) {
    report_status(mode, status);
    return 1;
  }
  int32_t pairs = prop_set_args(&device, mode, count, args);
  status = dev_commit(&device);
  if (status != 0) report_status(mode, status);
  return (pairs == 0 && status == 0) ? 0 : 1;
}

int32_t remove_handler(OutputMode mode, int32_t count, char* const* args) {
  if (count != 2) {
    if (!is_quiet(mode))
      std::printf("Syntax: %s r <dev. name>\n", program_name);
    return 1;
  }
  DeviceRecord device = {};
  device.name = args[1];
  StatusCode status = dev_remove(&device);
  if (status != 0) {
    report_status(mode, status);
    return 1;
  }
  if (!is_quiet(mode)) std::printf("%s removed\n", args[1]);
  return 0;
}

int32_t list_handler(OutputMode mode, int32_t count, char* const*) {
  if (count > 2) {
    std::printf("warning: '%s d' command does not require arguments\n",
                program_name);
  }
  char name[LIST_NAME_CAPACITY] = {0};
  DeviceRecord cursor = {};
  cursor.name = name;
  cursor.name_capacity = sizeof(name);
  bool listed = false;
  StatusCode status = dev_first(&cursor);
  while (status == 0) {
    if (!listed) std::fputs("Configured devices:\n", stdout);
    listed = true;
    std::printf("    %s\n", name);
    status = dev_next(&cursor);
  }
  if (status == W32_ERROR_NO_MORE_ITEMS) {
    if (!listed) std::fputs("No configured devices found\n", stdout);
    return 0;
  }
  report_status(mode, status);
  return 1;
}
