// Device listing, one device-root subkey per step.
#include <cstring>

#include "config/device_root.h"
#include "config/status_codes.h"
#include "device/device.h"
#include "device/device_layout.h"
#include "device/device_value.h"

namespace {

// Reads the device name held by subkey number record->index of root.
StatusCode read_name_at(SetupInfo info, RegKey root, DeviceRecord* record) {
  char subkey[ROOT_SUBKEY_NAME_CAPACITY];
  uint32_t length = sizeof(subkey);
  StatusCode status = reg_enum_key(root, record->index, subkey, &length);
  if (status != 0) return status;
  char value_name[VALUE_NAME_CAPACITY];
  status = name_value_name(info, value_name, sizeof(value_name));
  if (status != 0) return status;
  RegKey device = nullptr;
  status = reg_open_key(root, subkey, DEVICE_READ_RIGHTS, &device);
  if (status != 0) return status;
  char value[NAME_VALUE_CAPACITY + 1];
  status = read_text_value(device, value_name, value, NAME_VALUE_CAPACITY);
  reg_close_key(device);
  if (status != 0) return status;
  if (std::strncmp(value, DEVICE_NAME_PREFIX, DEVICE_NAME_PREFIX_LENGTH) != 0) {
    return W32_ERROR_FILE_NOT_FOUND;
  }
  const char* name = value + DEVICE_NAME_PREFIX_LENGTH;
  size_t size = std::strlen(name) + 1;
  if (size > record->name_capacity) return W32_ERROR_MORE_DATA;
  std::memset(record->name, 0, record->name_capacity);
  std::memcpy(record->name, name, size);
  return 0;
}

}  // namespace

StatusCode dev_read_at(const CommandContext* context, DeviceRecord* record) {
  if (record == nullptr || record->name == nullptr) return STATUS_NO_ARGUMENT;
  if (context == nullptr || context->root == nullptr) {
    return STATUS_NO_ARGUMENT;
  }
  return read_name_at(context->setup, context->root, record);
}

StatusCode dev_first(const CommandContext* context, DeviceRecord* record) {
  if (record == nullptr || record->name == nullptr) return STATUS_NO_ARGUMENT;
  record->index = 0;
  return dev_read_at(context, record);
}

StatusCode dev_next(const CommandContext* context, DeviceRecord* record) {
  if (record == nullptr || record->name == nullptr) return STATUS_NO_ARGUMENT;
  ++record->index;
  return dev_read_at(context, record);
}

StatusCode dev_list_names(const CommandContext* context,
                          std::vector<std::string>* names) {
  char name[LIST_NAME_CAPACITY] = {0};
  DeviceRecord cursor = {};
  cursor.name = name;
  cursor.name_capacity = sizeof(name);
  StatusCode status = dev_first(context, &cursor);
  while (status == 0) {
    names->push_back(name);
    status = dev_next(context, &cursor);
  }
  return status;
}
