#include "config/device_root.h"

#include <cstdio>
#include <cstring>

#include "config/os_class.h"
#include "config/status_codes.h"
#include "config/text.h"

namespace {

constexpr const char* DEV_REG_ROOT_KEY = "dev_reg_root";
constexpr uint32_t SEARCH_VALUE_CAPACITY = 256;
// The lock of a device root is named by this prefix and the root's path.
constexpr char DEVICE_ROOT_LOCK_PREFIX[] = "device root HKLM\\";

// Reads value_name of key as text: the data, terminated within text
// (SEARCH_VALUE_CAPACITY + 1 bytes) whatever its type and length. False when
// the value is absent or does not fit.
bool read_value_text(RegKey key, const char* value_name, char* text) {
  uint32_t size = SEARCH_VALUE_CAPACITY;
  std::memset(text, 0, SEARCH_VALUE_CAPACITY + 1);
  if (reg_query_value(key, value_name, nullptr, text, &size) != 0) {
    return false;
  }
  text[size < SEARCH_VALUE_CAPACITY ? size : SEARCH_VALUE_CAPACITY] = '\0';
  return true;
}

}  // namespace

StatusCode open_device_root(SetupInfo info, bool write, RegKey* root) {
  char path[ROOT_PATH_CAPACITY];
  if (get_setup_string(info, SECTION_STRINGS, DEV_REG_ROOT_KEY, path,
                       ROOT_PATH_CAPACITY) != 0) {
    return STATUS_INF_CORRUPT;
  }
  uint32_t access = write ? ROOT_WRITE_ACCESS : ROOT_READ_ACCESS;
  if (reg_open_key(reg_local_machine(), path, access, root) != 0) {
    return STATUS_REG_ERROR;
  }
  return 0;
}

StatusCode lock_device_root(SetupInfo info, NamedLock* lock) {
  char path[ROOT_PATH_CAPACITY];
  if (get_setup_string(info, SECTION_STRINGS, DEV_REG_ROOT_KEY, path,
                       ROOT_PATH_CAPACITY) != 0) {
    return STATUS_INF_CORRUPT;
  }
  char name[sizeof(DEVICE_ROOT_LOCK_PREFIX) + ROOT_PATH_CAPACITY];
  std::snprintf(name, sizeof name, "%s%s", DEVICE_ROOT_LOCK_PREFIX, path);
  return lock_acquire(name, lock);
}

StatusCode open_setup_and_root(bool write, SetupInfo* info, RegKey* root) {
  if (write) {
    StatusCode gate = check_write_access();
    if (gate != 0) return gate;
  }
  SetupInfo opened = nullptr;
  StatusCode status = open_setup_info(&opened);
  if (status != 0) return status;
  status = open_device_root(opened, write, root);
  if (status != 0) {
    close_setup_info(opened);
    return status;
  }
  *info = opened;
  return 0;
}

StatusCode find_subkey_by_value(RegKey root, const char* value_name,
                                const char* wanted, char* name,
                                uint32_t capacity) {
  if (wanted == nullptr || *wanted == '\0') return W32_ERROR_INVALID_PARAMETER;
  if (value_name == nullptr || *value_name == '\0') {
    return W32_ERROR_INVALID_PARAMETER;
  }
  if (name == nullptr) return W32_ERROR_INVALID_PARAMETER;

  char text[SEARCH_VALUE_CAPACITY + 1];
  std::memset(name, 0, capacity);
  for (uint32_t index = 0;; ++index) {
    uint32_t length = capacity;
    StatusCode status = reg_enum_key(root, index, name, &length);
    if (status == W32_ERROR_NO_MORE_ITEMS) return W32_ERROR_FILE_NOT_FOUND;
    if (status != 0) return status;
    RegKey subkey = nullptr;
    status = reg_open_key(root, name, W32_KEY_READ, &subkey);
    if (status != 0) return status;
    bool found = read_value_text(subkey, value_name, text);
    reg_close_key(subkey);
    if (found && equal_folded(text, wanted)) return 0;
    std::memset(name, 0, capacity);
  }
}
