// Finding a device by its name, opening and closing its key, and removing
// it.
#include <cstdio>
#include <cstring>

#include "config/device_root.h"
#include "config/status_codes.h"
#include "device/device.h"
#include "device/device_layout.h"
#include "device/device_value.h"

namespace {

// Opens subkey of the context's root with the rights of record->access.
StatusCode open_device_subkey(const CommandContext* context, const char* subkey,
                              DeviceRecord* record) {
  bool read_only = (record->access & ACCESS_READ_ONLY) != 0;
  uint32_t rights = read_only ? DEVICE_READ_RIGHTS : DEVICE_WRITE_RIGHTS;
  return reg_open_key(context->root, subkey, rights, &record->key);
}

}  // namespace

StatusCode dev_find_subkey(const CommandContext* context, const char* name,
                           uint32_t value_name_capacity, char* subkey,
                           SubkeyNames* unnamed) {
  if (std::strlen(name) > DEVICE_NAME_MAX_LENGTH) {
    return W32_ERROR_FILE_NOT_FOUND;
  }
  char value_name[OPEN_VALUE_NAME_CAPACITY];
  if (value_name_capacity > sizeof(value_name)) {
    value_name_capacity = sizeof(value_name);
  }
  StatusCode status =
      name_value_name(context->setup, value_name, value_name_capacity);
  if (status != 0) return status;
  char wanted[WANTED_NAME_CAPACITY];
  std::snprintf(wanted, sizeof(wanted), "%s%s", DEVICE_NAME_PREFIX, name);
  // One state of the root for the whole walk: a subkey that others add or
  // delete meanwhile neither ends the search nor is met twice.
  status = reg_begin_snapshot();
  if (status != 0) return status;
  status = find_subkey_by_value(context->root, value_name, wanted, subkey,
                                SUBKEY_NAME_CAPACITY, unnamed);
  reg_end_snapshot();
  return status;
}

StatusCode dev_open(const CommandContext* context, DeviceRecord* record) {
  if (record == nullptr || record->name == nullptr) return STATUS_NO_ARGUMENT;
  if (context == nullptr || context->root == nullptr) {
    return STATUS_NO_ARGUMENT;
  }
  char subkey[SUBKEY_NAME_CAPACITY] = {0};
  if (dev_find_subkey(context, record->name, OPEN_VALUE_NAME_CAPACITY,
                      subkey) != 0) {
    return STATUS_DEV_NOT_FOUND;
  }
  return open_device_subkey(context, subkey, record);
}

StatusCode dev_index(const CommandContext* context, DeviceIndex* index) {
  if (context == nullptr || context->root == nullptr) {
    return STATUS_NO_ARGUMENT;
  }
  char value_name[OPEN_VALUE_NAME_CAPACITY];
  StatusCode status =
      name_value_name(context->setup, value_name, sizeof(value_name));
  if (status != 0) return status;
  status = reg_begin_snapshot();
  if (status != 0) return status;
  index_subkeys_by_value(context->root, value_name, SUBKEY_NAME_CAPACITY,
                         index);
  reg_end_snapshot();
  return 0;
}

StatusCode dev_find_indexed(const DeviceIndex& index, const char* name,
                            std::string* subkey) {
  if (std::strlen(name) > DEVICE_NAME_MAX_LENGTH) {
    return W32_ERROR_FILE_NOT_FOUND;
  }
  return find_in_subkey_index(index, device_name_text(name).c_str(), subkey);
}

StatusCode dev_open_indexed(const CommandContext* context,
                            const DeviceIndex& index, DeviceRecord* record) {
  if (record == nullptr || record->name == nullptr) return STATUS_NO_ARGUMENT;
  std::string subkey;
  StatusCode status = dev_find_indexed(index, record->name, &subkey);
  if (status != 0) return status;
  return open_device_subkey(context, subkey.c_str(), record);
}

void dev_close(DeviceRecord* record) {
  if (record == nullptr || record->key == nullptr) return;
  reg_close_key(record->key);
  record->key = nullptr;
}

StatusCode dev_remove(CommandContext* context, DeviceRecord* record) {
  if (record == nullptr || record->name == nullptr) return STATUS_NO_ARGUMENT;
  if (context == nullptr || context->root == nullptr) {
    return STATUS_NO_ARGUMENT;
  }
  StatusCode status = context_lock_root(context);
  if (status != 0) return status;
  char subkey[SUBKEY_NAME_CAPACITY] = {0};
  status = dev_find_subkey(context, record->name, VALUE_NAME_CAPACITY, subkey);
  if (status == W32_ERROR_FILE_NOT_FOUND) return STATUS_DEV_NOT_FOUND;
  if (status != 0) return status;
  return reg_delete_key(context->root, subkey);
}

StatusCode dev_remove_indexed(CommandContext* context, DeviceIndex* index,
                              DeviceRecord* record) {
  if (record == nullptr || record->name == nullptr) return STATUS_NO_ARGUMENT;
  if (context == nullptr || context->root == nullptr) {
    return STATUS_NO_ARGUMENT;
  }
  StatusCode status = context_lock_root(context);
  if (status != 0) return status;
  std::string subkey;
  status = dev_find_indexed(*index, record->name, &subkey);
  if (status == W32_ERROR_FILE_NOT_FOUND) return STATUS_DEV_NOT_FOUND;
  if (status != 0) return status;
  status = reg_delete_key(context->root, subkey.c_str());
  if (status != 0) return status;
  subkey_index_remove(index, subkey, device_name_text(record->name).c_str());
  return 0;
}
