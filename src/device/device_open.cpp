// Device open and commit: the name search, the automatic configuration of
// the timing values and the purge of doomed devices.
#include <cstdio>
#include <cstring>

#include "config/device_root.h"
#include "config/prop_map_line.h"
#include "config/status_codes.h"
#include "device/device.h"
#include "device/device_layout.h"
#include "device/device_value.h"
#include "platform/inf.h"

namespace {

// Reads the commit's copy of the state marker: 0 with the first character
// in *first (0 when the key has no default value), or the read's failure.
StatusCode read_commit_marker(RegKey key, char* first) {
  char marker[COMMIT_MARKER_CAPACITY] = {0};
  uint32_t size = sizeof(marker);
  StatusCode status = reg_query_value(key, nullptr, nullptr, marker, &size);
  if (status == W32_ERROR_FILE_NOT_FOUND) {
    *first = '\0';
    return 0;
  }
  if (status != 0) return status;
  *first = size > 0 ? marker[0] : '\0';
  return 0;
}

// Steps of a commit that need the transport class: 0xF000000A without one,
// else the automatic configuration, and the empty marker when it succeeds.
StatusCode configure_and_mark(SetupInfo info, RegKey key) {
  char value_name[VALUE_NAME_CAPACITY];
  StatusCode status =
      xpt_class_value_name(info, value_name, sizeof(value_name));
  if (status != 0) return status;
  char xpt_class[XPT_CLASS_CAPACITY + 1];
  if (read_text_value(key, value_name, xpt_class, XPT_CLASS_CAPACITY) != 0) {
    return STATUS_NO_XPT;
  }
  status = dev_auto_configure(info, key);
  if (status == 0) write_marker(key, MARKER_COMMITTED);
  return status;
}

// True when subkey of root carries a state marker beginning with "d".
bool is_doomed(RegKey root, const char* subkey) {
  char marker[PURGE_MARKER_CAPACITY] = {0};
  int32_t size = sizeof(marker);
  if (reg_query_subkey_default(root, subkey, marker, &size) != 0) return false;
  return size > 0 && marker[0] == MARKER_DOOMED[0];
}

// Walks the subkeys of root, deleting the doomed ones. After a deletion the
// same index holds the next subkey.
StatusCode purge_root(RegKey root) {
  uint32_t index = 0;
  for (;;) {
    char subkey[ROOT_SUBKEY_NAME_CAPACITY];
    uint32_t length = sizeof(subkey);
    StatusCode status = reg_enum_key(root, index, subkey, &length);
    if (status == W32_ERROR_NO_MORE_ITEMS) return 0;
    if (status != 0) return status;
    if (is_doomed(root, subkey) && reg_delete_key(root, subkey) == 0) continue;
    ++index;
  }
}

}  // namespace

StatusCode dev_find_subkey(SetupInfo info, RegKey root, const char* name,
                           uint32_t value_name_capacity, char* subkey) {
  if (std::strlen(name) > DEVICE_NAME_MAX_LENGTH) {
    return W32_ERROR_FILE_NOT_FOUND;
  }
  char value_name[OPEN_VALUE_NAME_CAPACITY];
  if (value_name_capacity > sizeof(value_name)) {
    value_name_capacity = sizeof(value_name);
  }
  StatusCode status = name_value_name(info, value_name, value_name_capacity);
  if (status != 0) return status;
  char wanted[WANTED_NAME_CAPACITY];
  std::snprintf(wanted, sizeof(wanted), "%s%s", DEVICE_NAME_PREFIX, name);
  return find_subkey_by_value(root, value_name, wanted, subkey,
                              SUBKEY_NAME_CAPACITY);
}

StatusCode dev_open(DeviceRecord* record) {
  if (record == nullptr || record->name == nullptr) return STATUS_NO_ARGUMENT;
  bool read_only = (record->access & ACCESS_READ_ONLY) != 0;
  SetupInfo info = nullptr;
  RegKey root = nullptr;
  StatusCode status = open_setup_and_root(!read_only, &info, &root);
  if (status != 0) return status;
  char subkey[SUBKEY_NAME_CAPACITY] = {0};
  status = dev_find_subkey(info, root, record->name, OPEN_VALUE_NAME_CAPACITY,
                           subkey);
  if (status != 0) {
    status = STATUS_DEV_NOT_FOUND;
  } else {
    RegKey key = nullptr;
    uint32_t rights = read_only ? DEVICE_READ_RIGHTS : DEVICE_WRITE_RIGHTS;
    status = reg_open_key(root, subkey, rights, &key);
    if (status == 0) record->key = key;
  }
  close_setup_info(info);
  reg_close_key(root);
  return status;
}

StatusCode dev_commit(DeviceRecord* record) {
  if (record == nullptr || record->key == nullptr) return STATUS_NO_ARGUMENT;
  RegKey key = record->key;
  record->key = nullptr;
  char marker = '\0';
  StatusCode status = read_commit_marker(key, &marker);
  if (status != 0) {
    reg_close_key(key);
    return status;
  }
  SetupInfo info = nullptr;
  status = open_setup_info(&info);
  if (status != 0) {
    reg_close_key(key);
    return status;
  }
  status = configure_and_mark(info, key);
  bool doomed = status != 0 && marker == MARKER_NEW[0];
  if (doomed) write_marker(key, MARKER_DOOMED);
  reg_close_key(key);
  if (doomed) dev_purge(info);
  close_setup_info(info);
  return status;
}

uint32_t auto_value(uint32_t k, uint32_t baud) {
  if (baud == 0) baud = DEFAULT_BAUD_RATE;
  switch (k) {
    case 0:
      return 14000u / baud + 10u;
    case 1: {
      uint32_t value = 45056000u / baud + 50u;
      return value < 250u ? 250u : value;
    }
    case 2: {
      uint32_t value = 90112000u / baud + 100u;
      return value < 3000u ? 3000u : value;
    }
    default:
      return 0;
  }
}

StatusCode dev_auto_configure(SetupInfo info, RegKey device) {
  uint32_t mask = 0;
  StatusCode status = read_dword_or(device, VALUE_AUTOCFG_MASK, 0, &mask);
  if (status != 0) return status;
  uint32_t baud = 0;
  status = read_dword_or(device, VALUE_BAUD_RATE, DEFAULT_BAUD_RATE, &baud);
  if (status != 0) return status;
  if (baud == 0) baud = DEFAULT_BAUD_RATE;
  for (uint32_t index = 0;; ++index) {
    InfLine line;
    status = inf_get_line_by_index(info, SECTION_PROP_MAP, index, &line);
    if (status == W32_ERROR_LINE_NOT_FOUND) return 0;
    if (status != 0) return status;
    char key[VALUE_NAME_CAPACITY];
    status = inf_get_string_field(&line, 0, key, sizeof(key), nullptr);
    if (status != 0) return status;
    int32_t flags = 0;
    status = inf_get_int_field(&line, 2, &flags);
    if (status != 0) return status;
    uint32_t flag_bits = static_cast<uint32_t>(flags);
    uint32_t bit = 0;
    if (!auto_mask_bit(flag_bits, &bit) || (mask & bit) == 0) continue;
    status =
        write_dword_value(device, key, auto_value(auto_index(flag_bits), baud));
    if (status != 0) return status;
  }
}

StatusCode dev_purge(SetupInfo info) {
  RegKey root = nullptr;
  StatusCode status = open_device_root(info, true, &root);
  if (status != 0) return status;
  NamedLock lock = nullptr;
  status = lock_device_root(info, &lock);
  if (status == 0) {
    status = purge_root(root);
    lock_release(lock);
  }
  reg_close_key(root);
  return status;
}
