#include "platform/posix/store_values.h"

uint32_t store_read_dword(RegKey key, const char* name, uint32_t fallback) {
  uint32_t type = 0;
  uint32_t value = 0;
  uint32_t size = sizeof(value);
  if (reg_query_value(key, name, &type, &value, &size) != W32_ERROR_SUCCESS ||
      type != W32_REG_DWORD || size != sizeof(value)) {
    return fallback;
  }
  return value;
}
