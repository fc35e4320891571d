// The purge of doomed devices and of device keys a creation cut short.
#include "config/device_root.h"
#include "config/status_codes.h"
#include "device/device.h"
#include "device/device_layout.h"
#include "device/device_value.h"

namespace {

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

