// What the a and s commands share: their syntax line, and the application
// of their name=value pairs to an open device, with its commit.
#include <cstdio>

#include "cli/handlers.h"
#include "cli/status.h"
#include "device/device.h"
#include "property/property.h"

int32_t pairs_syntax_error(OutputMode mode, const char* word) {
  if (!is_quiet(mode)) {
    std::printf("syntax: %s %s <name> prop1=value [prop2=...]\n", program_name,
                word);
  }
  return 1;
}

int32_t prop_set_args(CommandContext* context, const DeviceRecord* device,
                      OutputMode mode, int32_t count, char* const* args) {
  StatusCode status = 0;
  if (device == nullptr || args == nullptr) status = STATUS_NO_ARGUMENT;
  SetupInfo info = nullptr;
  if (status == 0) status = context_setup(context, &info);
  for (int32_t i = 2; status == 0 && i < count; ++i) {
    status = prop_set_assignment(info, device->key, args[i]);
  }
  if (status == 0) return 0;
  report_status(context, mode, status);
  return 1;
}

int32_t set_pairs_and_commit(CommandContext* context, DeviceRecord* device,
                             OutputMode mode, int32_t count,
                             char* const* args) {
  int32_t result = prop_set_args(context, device, mode, count, args);
  StatusCode status = dev_commit(context, device);
  dev_close(device);
  if (status != 0) {
    report_status(context, mode, status);
    result = 1;
  }
  return result;
}
