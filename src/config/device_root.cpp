#include "config/device_root.h"

#include <cstdio>
#include <cstring>

#include "config/registry_text.h"
#include "config/status_codes.h"
#include "platform/fold.h"

namespace {

constexpr const char* DEV_REG_ROOT_KEY = "dev_reg_root";
constexpr uint32_t SEARCH_VALUE_CAPACITY = 256;
// The lock of a device root is named by this prefix and the root's path.
constexpr char DEVICE_ROOT_LOCK_PREFIX[] = "device root HKLM\\";

}  // namespace

StatusCode read_device_root_path(SetupInfo info, char* path) {
  if (get_setup_string(info, SECTION_STRINGS, DEV_REG_ROOT_KEY, path,
                       ROOT_PATH_CAPACITY) != 0) {
    return STATUS_INF_CORRUPT;
  }
  return 0;
}

StatusCode open_device_root(const char* path, bool write, RegKey* root) {
  uint32_t access = write ? ROOT_WRITE_ACCESS : ROOT_READ_ACCESS;
  if (reg_open_key(reg_local_machine(), path, access, root) != 0) {
    return STATUS_REG_ERROR;
  }
  return 0;
}

StatusCode lock_device_root(const char* path, NamedLock* lock) {
  char name[sizeof(DEVICE_ROOT_LOCK_PREFIX) + ROOT_PATH_CAPACITY];
  std::snprintf(name, sizeof name, "%s%s", DEVICE_ROOT_LOCK_PREFIX, path);
  return lock_acquire(name, lock);
}

StatusCode find_subkey_by_value(RegKey root, const char* value_name,
                                const char* wanted, char* name,
                                uint32_t capacity, SubkeyNames* unnamed) {
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
    status = read_text_value(subkey, value_name, text, SEARCH_VALUE_CAPACITY);
    reg_close_key(subkey);
    if (status == 0 && equal_folded(text, wanted)) return 0;
    if (status == W32_ERROR_FILE_NOT_FOUND && unnamed != nullptr) {
      unnamed->push_back(name);
    }
    // A name value that is absent or too long for any device name is no
    // match; one that could not be read might have been, so the search
    // cannot say that no such device exists.
    if (status != 0 && status != W32_ERROR_FILE_NOT_FOUND &&
        status != W32_ERROR_MORE_DATA) {
      return status;
    }
    std::memset(name, 0, capacity);
  }
}
