// The command handlers s/sq (set properties) and p (list properties).
#include <cstdio>

#include "cli/handlers.h"
#include "cli/status.h"
#include "device/device.h"
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
void list_properties(OutputMode mode, RegKey key, const char* device_name) {
  char name[PROPERTY_NAME_CAPACITY] = {0};
  PropertyRequest request = {};
  request.key = key;
  request.name = name;
  request.filter = LIST_ALL;
  bool shown = false;
  StatusCode status = prop_first(&request);
  while (status == 0) {
    char value[PROPERTY_VALUE_CAPACITY];
    value[0] = '\0';
    request.value = value;
    request.value_size = sizeof(value);
    StatusCode got = prop_get(&request);
    if (got != 0) {
      std::printf("*** failed to get %s :", name);
      std::fflush(stdout);
      report_status(mode, got);
    } else {
      if (!shown) std::printf("List Properties for %s\n", device_name);
      shown = true;
      print_property(name, request.action, value);
    }
    status = prop_next(&request);
  }
}

}  // namespace

int32_t prop_set_args(const DeviceRecord* device, OutputMode mode,
                      int32_t count, char* const* args) {
  StatusCode status = 0;
  if (device == nullptr || args == nullptr) status = STATUS_NO_ARGUMENT;
  for (int32_t i = 2; status == 0 && i < count; ++i) {
    status = prop_set_assignment(device->key, args[i]);
  }
  if (status == 0) return 0;
  report_status(mode, status);
  return 1;
}

int32_t set_handler(OutputMode mode, int32_t count, char* const* args) {
  if (count <= 2) {
    if ((mode & MODE_QUIET) == 0) {
      std::printf("syntax: %s s <name> prop1=value [prop2=...]\n",
                  program_name);
    }
    return 1;
  }
  DeviceRecord device = {};
  device.name = args[1];
  device.access = 0;
  StatusCode status = dev_open(&device);
  if (status != 0) {
    report_status(mode, status);
    return 1;
  }
  int32_t result = prop_set_args(&device, mode, count, args);
  dev_commit(&device);
  return result;
}

int32_t props_handler(OutputMode mode, int32_t count, char* const* args) {
  if (count != 2) {
    std::printf("Syntax: %s p <dev.name>\n", program_name);
    return 1;
  }
  DeviceRecord device = {};
  device.name = args[1];
  device.access = ACCESS_READ_ONLY;
  StatusCode status = dev_open(&device);
  if (status != 0) {
    report_status(mode, status);
    return 1;
  }
  list_properties(mode, device.key, args[1]);
  dev_commit(&device);
  return 0;
}
