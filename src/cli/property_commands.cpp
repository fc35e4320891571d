// The command handlers s/sq (set properties) and p (list properties).
#include <cstdio>

#include "cli/handlers.h"
#include "cli/status.h"
#include "device/device.h"
#include "platform/registry.h"
#include "property/property.h"

namespace {

// Prints one line of the property listing.
void print_property(const char* name, int32_t state, const char* value) {
  std::printf("%-26s= ", name);
  switch (state) {
    case STATE_VALUE:
      std::printf("%s\n", value);
      break;
    case STATE_DEFAULT:
      std::fputs("<default>\n", stdout);
      break;
    case STATE_AUTO:
      std::fputs("<auto>\n", stdout);
      break;
    default:
      std::fputs("<error>\n", stdout);
      break;
  }
}

// Lists every property of the open device that LIST_ALL admits.
void list_properties(const CommandContext* context, OutputMode mode, RegKey key,
                     const char* device_name) {
  char name[PROPERTY_NAME_CAPACITY] = {0};
  PropertyRequest request = {};
  request.key = key;
  request.name = name;
  request.filter = LIST_ALL;
  bool shown = false;
  StatusCode status = prop_first(context->setup, &request);
  while (status == 0) {
    char value[PROPERTY_VALUE_CAPACITY];
    value[0] = '\0';
    request.value = value;
    request.value_size = sizeof(value);
    StatusCode got = prop_get(context->setup, &request);
    if (got != 0) {
      std::printf("*** failed to get %s :", name);
      std::fflush(stdout);
      report_status(context, mode, got);
    } else {
      if (!shown) std::printf("List Properties for %s\n", device_name);
      shown = true;
      print_property(name, request.state, value);
    }
    status = prop_next(context->setup, &request);
  }
}

// Opens the device args[1], applies the pairs after it and commits it.
int32_t set_properties(CommandContext* context, OutputMode mode, int32_t count,
                       char* const* args) {
  DeviceRecord device = {};
  device.name = args[1];
  StatusCode status = context_open_root(context, true);
  if (status == 0) status = dev_open(context, &device);
  if (status != 0) {
    report_status(context, mode, status);
    return 1;
  }
  return set_pairs_and_commit(context, &device, mode, count, args);
}

// Lists the properties of the device args[1].
int32_t show_properties(CommandContext* context, OutputMode mode, int32_t,
                        char* const* args) {
  DeviceRecord device = {};
  device.name = args[1];
  device.access = ACCESS_READ_ONLY;
  // The device and its properties are read from one state of the store;
  // the commit after it may write, so the snapshot ends first.
  StatusCode status = context_open_root(context, false);
  if (status == 0) status = reg_begin_snapshot();
  if (status == 0) {
    status = dev_open(context, &device);
    if (status == 0) list_properties(context, mode, device.key, args[1]);
    reg_end_snapshot();
  }
  if (status != 0) {
    report_status(context, mode, status);
    return 1;
  }
  // The commit of a read-only record writes nothing, since the registry
  // refuses its writes; what it does do is purge the doomed devices when
  // the listed device is still new, as every failed commit of a new device
  // does.
  dev_commit(context, &device);
  dev_close(&device);
  return 0;
}

}  // namespace

int32_t set_handler(OutputMode mode, int32_t count, char* const* args) {
  if (count <= 2) return pairs_syntax_error(mode, "s");
  return run_in_context(set_properties, mode, count, args);
}

int32_t props_handler(OutputMode mode, int32_t count, char* const* args) {
  if (count != 2) {
    std::printf("Syntax: %s p <dev.name>\n", program_name);
    return 1;
  }
  return run_in_context(show_properties, mode, count, args);
}
