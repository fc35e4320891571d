// Creation of a device key under the lowest free subkey number.
#include <cstdio>
#include <cstring>

#include "config/device_root.h"
#include "config/status_codes.h"
#include "device/device.h"
#include "device/device_layout.h"
#include "device/device_value.h"

namespace {

// Deletes the half-made device keys among the subkeys that the duplicate
// check found without a name value (unnamed), each checked against the name
// value that creation writes: the check searches by the name of the device
// open, which a name of 256 to 264 characters makes another value. A
// deletion that fails leaves the key as it was, and the choice of a number
// passes over it.
StatusCode delete_half_made_devices(SetupInfo info, RegKey root,
                                    const SubkeyNames& unnamed,
                                    SubkeyNames* deleted = nullptr) {
  if (unnamed.empty()) return 0;
  char value_name[VALUE_NAME_CAPACITY];
  StatusCode status = name_value_name(info, value_name, sizeof(value_name));
  if (status != 0) return status;
  for (const std::string& subkey : unnamed) {
    if (is_half_made_device(root, subkey.c_str(), value_name) &&
        reg_delete_key(root, subkey.c_str()) == 0 && deleted != nullptr) {
      deleted->push_back(subkey);
    }
  }
  return 0;
}

// Writes "zeb_dev_<n>" for the lowest n whose subkey of root cannot be
// opened into subkey. The probes read one state of the root.
StatusCode lowest_free_subkey(RegKey root, char* subkey, size_t capacity) {
  StatusCode status = reg_begin_snapshot();
  if (status != 0) return status;
  for (uint32_t number = 0;; ++number) {
    std::snprintf(subkey, capacity, "%s%u", DEVICE_SUBKEY_PREFIX, number);
    RegKey key = nullptr;
    if (reg_open_key(root, subkey, DEVICE_READ_RIGHTS, &key) != 0) break;
    reg_close_key(key);
    if (number == UINT32_MAX) break;
  }
  reg_end_snapshot();
  return 0;
}

// As lowest_free_subkey, for a run that walked the root under the lock it
// still holds: the numbers that the walk met are taken (numbers below the
// first free one are not probed again); the first one it did not meet is
// probed, and passed over should it exist after all.
void lowest_unknown_subkey(RegKey root, const DeviceIndex& index, char* subkey,
                           size_t capacity) {
  for (uint32_t number = 0;; ++number) {
    std::snprintf(subkey, capacity, "%s%u", DEVICE_SUBKEY_PREFIX, number);
    if (subkey_index_has(index, subkey)) continue;
    RegKey key = nullptr;
    if (reg_open_key(root, subkey, DEVICE_READ_RIGHTS, &key) != 0) return;
    reg_close_key(key);
    if (number == UINT32_MAX) return;
  }
}

// Writes the marker "n", the name value and the all-ones mask of a new key.
StatusCode write_new_device_values(SetupInfo info, RegKey key,
                                   const char* name) {
  StatusCode status = write_marker(key, MARKER_NEW);
  if (status != 0) return status;
  char value_name[VALUE_NAME_CAPACITY];
  status = name_value_name(info, value_name, sizeof(value_name));
  if (status != 0) return status;
  char name_value[WANTED_NAME_CAPACITY];
  std::snprintf(name_value, sizeof(name_value), "%s%s", DEVICE_NAME_PREFIX,
                name);
  status = write_text_value(key, value_name, name_value);
  if (status != 0) return status;
  return write_dword_value(key, VALUE_AUTOCFG_MASK, AUTOCFG_MASK_ALL);
}

// Creates the new subkey and writes its values. A key that existed already
// is left untouched (0xF0000001); when a write fails, the half-made key is
// deleted again, so that no key without its marker, name or mask remains.
StatusCode create_device_key(SetupInfo info, RegKey root, const char* subkey,
                             const char* name, RegKey* out) {
  RegKey key = nullptr;
  uint32_t disposition = 0;
  StatusCode status =
      reg_create_key(root, subkey, DEVICE_CREATE_RIGHTS, &key, &disposition);
  if (status != 0) return status;
  if (disposition != W32_REG_CREATED_NEW_KEY) {
    reg_close_key(key);
    return STATUS_DUP_DEVICE;
  }
  status = write_new_device_values(info, key, name);
  if (status != 0) {
    reg_close_key(key);
    reg_delete_key(root, subkey);
    return status;
  }
  *out = key;
  return 0;
}

// Creates the device key as one group of writes, so that where the platform
// can do so it is born whole: a crash leaves no key or all of it.
StatusCode create_whole_device_key(SetupInfo info, RegKey root,
                                   const char* subkey, const char* name,
                                   RegKey* out) {
  StatusCode status = reg_begin_group();
  if (status != 0) return status;
  RegKey key = nullptr;
  status = create_device_key(info, root, subkey, name, &key);
  StatusCode landed = reg_end_group();
  if (status == 0 && landed != 0) {
    reg_close_key(key);
    status = landed;
  }
  if (status == 0) *out = key;
  return status;
}

// The checks that every creation begins with: the arguments, the root's
// lock and the length of the name.
StatusCode begin_creation(CommandContext* context, const DeviceRecord* record) {
  if (record == nullptr || record->name == nullptr) return STATUS_NO_ARGUMENT;
  if (context == nullptr || context->root == nullptr) {
    return STATUS_NO_ARGUMENT;
  }
  StatusCode status = context_lock_root(context);
  if (status != 0) return status;
  if (std::strlen(record->name) > DEVICE_NAME_MAX_LENGTH) {
    return STATUS_INVALID_PARAM;
  }
  return 0;
}

}  // namespace

StatusCode dev_create(CommandContext* context, DeviceRecord* record) {
  StatusCode status = begin_creation(context, record);
  if (status != 0) return status;
  char found[SUBKEY_NAME_CAPACITY] = {0};
  SubkeyNames unnamed;
  status = dev_find_subkey(context, record->name, OPEN_VALUE_NAME_CAPACITY,
                           found, &unnamed);
  if (status == 0) return STATUS_DUP_DEVICE;
  if (status != W32_ERROR_FILE_NOT_FOUND) return status;
  status = delete_half_made_devices(context->setup, context->root, unnamed);
  if (status != 0) return status;
  char subkey[DEVICE_SUBKEY_NAME_CAPACITY];
  status = lowest_free_subkey(context->root, subkey, sizeof(subkey));
  if (status != 0) return status;
  return create_whole_device_key(context->setup, context->root, subkey,
                                 record->name, &record->key);
}

StatusCode dev_create_indexed(CommandContext* context, DeviceIndex* index,
                              DeviceRecord* record) {
  StatusCode status = begin_creation(context, record);
  if (status != 0) return status;
  std::string found;
  status = dev_find_indexed(*index, record->name, &found);
  if (status == 0) return STATUS_DUP_DEVICE;
  if (status != W32_ERROR_FILE_NOT_FOUND) return status;
  SubkeyNames deleted;
  status = delete_half_made_devices(context->setup, context->root,
                                    index->unnamed, &deleted);
  if (status != 0) return status;
  index->unnamed.clear();
  for (const std::string& subkey : deleted) {
    subkey_index_remove(index, subkey, nullptr);
  }
  char subkey[DEVICE_SUBKEY_NAME_CAPACITY];
  lowest_unknown_subkey(context->root, *index, subkey, sizeof(subkey));
  status = create_whole_device_key(context->setup, context->root, subkey,
                                   record->name, &record->key);
  if (status != 0) return status;
  subkey_index_add(index, subkey, device_name_text(record->name).c_str());
  return 0;
}
