// Device listing, one device-root subkey per step, and device removal.
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

// Removal proper, with the root's lock held from the search to the delete.
StatusCode remove_from_root(SetupInfo info, RegKey root, const char* name) {
  char subkey[SUBKEY_NAME_CAPACITY] = {0};
  StatusCode status =
      dev_find_subkey(info, root, name, VALUE_NAME_CAPACITY, subkey);
  if (status == W32_ERROR_FILE_NOT_FOUND) return STATUS_DEV_NOT_FOUND;
  if (status != 0) return status;
  return reg_delete_key(root, subkey);
}

}  // namespace

StatusCode dev_read_at(DeviceRecord* record) {
  if (record == nullptr || record->name == nullptr) return STATUS_NO_ARGUMENT;
  SetupInfo info = nullptr;
  RegKey root = nullptr;
  StatusCode status = open_setup_and_root(false, &info, &root);
  if (status != 0) return status;
  status = read_name_at(info, root, record);
  close_setup_info(info);
  reg_close_key(root);
  return status;
}

StatusCode dev_first(DeviceRecord* record) {
  if (record == nullptr || record->name == nullptr) return STATUS_NO_ARGUMENT;
  record->index = 0;
  return dev_read_at(record);
}

StatusCode dev_next(DeviceRecord* record) {
  if (record == nullptr || record->name == nullptr) return STATUS_NO_ARGUMENT;
  ++record->index;
  return dev_read_at(record);
}

StatusCode dev_remove(DeviceRecord* record) {
  if (record == nullptr || record->name == nullptr) return STATUS_NO_ARGUMENT;
  SetupInfo info = nullptr;
  RegKey root = nullptr;
  StatusCode status = open_setup_and_root(true, &info, &root);
  if (status != 0) return status;
  NamedLock lock = nullptr;
  status = lock_device_root(info, &lock);
  if (status == 0) {
    status = remove_from_root(info, root, record->name);
    lock_release(lock);
  }
  close_setup_info(info);
  reg_close_key(root);
  return status;
}
