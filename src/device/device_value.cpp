#include "device/device_value.h"

#include <cstring>

#include "device/device_layout.h"
#include "platform/fold.h"

namespace {

// True when name is a name that creation gives a device subkey.
bool is_device_subkey_name(const char* name) {
  size_t prefix = std::strlen(DEVICE_SUBKEY_PREFIX);
  if (std::strlen(name) <= prefix ||
      !equal_folded_bytes(name, prefix, DEVICE_SUBKEY_PREFIX, prefix)) {
    return false;
  }
  const char* number = name + prefix;
  if (number[0] == '0' && number[1] != '\0') return false;
  for (const char* digit = number; *digit != '\0'; ++digit) {
    if (*digit < '0' || *digit > '9') return false;
  }
  return true;
}

}  // namespace

StatusCode read_dword_value(RegKey key, const char* name, uint32_t* value) {
  unsigned char bytes[4] = {0, 0, 0, 0};
  uint32_t size = sizeof(bytes);
  StatusCode status = reg_query_value(key, name, nullptr, bytes, &size);
  if (status != 0) return status;
  uint32_t number = 0;
  std::memcpy(&number, bytes, sizeof(number));
  *value = number;
  return 0;
}

StatusCode read_dword_or(RegKey key, const char* name, uint32_t fallback,
                         uint32_t* value) {
  StatusCode status = read_dword_value(key, name, value);
  if (status == W32_ERROR_FILE_NOT_FOUND || status == W32_ERROR_MORE_DATA) {
    *value = fallback;
    return 0;
  }
  return status;
}

StatusCode write_text_value(RegKey key, const char* name, const char* text) {
  uint32_t size = static_cast<uint32_t>(std::strlen(text) + 1);
  return reg_set_value(key, name, W32_REG_SZ, text, size);
}

StatusCode write_dword_value(RegKey key, const char* name, uint32_t number) {
  return reg_set_value(key, name, W32_REG_DWORD, &number, sizeof(number));
}

StatusCode write_marker(RegKey key, const char* marker) {
  return reg_set_value(key, nullptr, W32_REG_SZ, marker, MARKER_SIZE);
}

StatusCode xpt_class_value_name(SetupInfo info, char* buffer,
                                uint32_t capacity) {
  return get_setup_string_or(info, KEY_XPT_CLASS_NAME,
                             DEFAULT_XPT_CLASS_VALUE_NAME, buffer, capacity);
}

StatusCode name_value_name(SetupInfo info, char* buffer, uint32_t capacity) {
  return get_setup_string_or(info, KEY_CONN_PORT_NAME, DEFAULT_NAME_VALUE_NAME,
                             buffer, capacity);
}

bool value_exists(RegKey key, const char* name) {
  uint32_t size = 0;
  return reg_query_value(key, name, nullptr, nullptr, &size) == 0;
}

bool is_half_made_device(RegKey root, const char* subkey,
                         const char* value_name) {
  if (!is_device_subkey_name(subkey)) return false;
  RegKey key = nullptr;
  if (reg_open_key(root, subkey, DEVICE_READ_RIGHTS, &key) != 0) return false;
  uint32_t size = 0;
  StatusCode status = reg_query_value(key, value_name, nullptr, nullptr, &size);
  reg_close_key(key);
  return status == W32_ERROR_FILE_NOT_FOUND;
}
