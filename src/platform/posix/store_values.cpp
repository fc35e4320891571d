#include "platform/posix/store_values.h"

StatusCode store_read_dword_or(RegKey key, const char* name, uint32_t fallback,
                               uint32_t* value) {
  uint32_t type = 0;
  uint32_t data = 0;
  uint32_t size = sizeof(data);
  StatusCode status = reg_query_value(key, name, &type, &data, &size);
  if (status == W32_ERROR_FILE_NOT_FOUND || status == W32_ERROR_MORE_DATA) {
    *value = fallback;
    return W32_ERROR_SUCCESS;
  }
  if (status != W32_ERROR_SUCCESS) return status;
  bool dword = type == W32_REG_DWORD && size == sizeof(data);
  *value = dword ? data : fallback;
  return W32_ERROR_SUCCESS;
}

uint32_t store_read_dword(RegKey key, const char* name, uint32_t fallback) {
  uint32_t value = fallback;
  if (store_read_dword_or(key, name, fallback, &value) != W32_ERROR_SUCCESS) {
    return fallback;
  }
  return value;
}
