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
  if (status == 0) status = write_marker(key, MARKER_COMMITTED);
  return status;
}

// True when subkey of root carries a state marker beginning with "d".
bool is_doomed(RegKey root, const char* subkey) {
  char marker[PURGE_MARKER_CAPACITY] = {0};
  int32_t size = sizeof(marker);
  if (reg_query_subkey_default(root, subkey, marker, &size) != 0) return false;
  return size > 0 && marker[0] == MARKER_DOOMED[0];
}

// Walks the subkeys of root, deleting the doomed ones and the device keys
// without a name value (value_name). After a deletion the same index holds
// the next subkey.
StatusCode purge_root(RegKey root, const char* value_name) {
  uint32_t index = 0;
  for (;;) {
    char subkey[ROOT_SUBKEY_NAME_CAPACITY];
    uint32_t length = sizeof(subkey);
    StatusCode status = reg_enum_key(root, index, subkey, &length);
    if (status == W32_ERROR_NO_MORE_ITEMS) return 0;
    if (status != 0) return status;
    bool unwanted = is_doomed(root, subkey) ||
                    is_half_made_device(root, subkey, value_name);
    if (unwanted && reg_delete_key(root, subkey) == 0) continue;
    ++index;
  }
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

StatusCode dev_open_searched(const CommandContext* context,
                             DeviceRecord* record, StatusCode* search) {
  *search = 0;
  if (record == nullptr || record->name == nullptr) return STATUS_NO_ARGUMENT;
  if (context == nullptr || context->root == nullptr) {
    return STATUS_NO_ARGUMENT;
  }
  char subkey[SUBKEY_NAME_CAPACITY] = {0};
  *search = dev_find_subkey(context, record->name, OPEN_VALUE_NAME_CAPACITY,
                            subkey);
  if (*search != 0) return STATUS_DEV_NOT_FOUND;
  bool read_only = (record->access & ACCESS_READ_ONLY) != 0;
  uint32_t rights = read_only ? DEVICE_READ_RIGHTS : DEVICE_WRITE_RIGHTS;
  return reg_open_key(context->root, subkey, rights, &record->key);
}

StatusCode dev_open(const CommandContext* context, DeviceRecord* record) {
  StatusCode search = 0;
  return dev_open_searched(context, record, &search);
}

StatusCode dev_commit(CommandContext* context, DeviceRecord* record) {
  if (record == nullptr || record->key == nullptr) return STATUS_NO_ARGUMENT;
  if (context == nullptr || context->setup == nullptr) {
    return STATUS_NO_ARGUMENT;
  }
  char marker = '\0';
  StatusCode status = read_commit_marker(record->key, &marker);
  if (status != 0) return status;
  status = configure_and_mark(context->setup, record->key);
  if (status != 0 && marker == MARKER_NEW[0]) {
    write_marker(record->key, MARKER_DOOMED);
    dev_purge(context);
  }
  return status;
}

void dev_close(DeviceRecord* record) {
  if (record == nullptr || record->key == nullptr) return;
  reg_close_key(record->key);
  record->key = nullptr;
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

StatusCode dev_purge(CommandContext* context) {
  if (context == nullptr || context->root == nullptr) {
    return STATUS_NO_ARGUMENT;
  }
  char value_name[VALUE_NAME_CAPACITY];
  StatusCode status =
      name_value_name(context->setup, value_name, sizeof(value_name));
  if (status != 0) return status;
  RegKey root = context->root;
  if (!context->root_writable) {
    status = open_device_root(context->root_path, true, &root);
    if (status != 0) return status;
  }
  status = context_lock_root(context);
  if (status == 0) status = purge_root(root, value_name);
  if (root != context->root) reg_close_key(root);
  return status;
}
