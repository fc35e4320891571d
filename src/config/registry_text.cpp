#include "config/registry_text.h"

StatusCode read_text_value(RegKey key, const char* name, char* buffer,
                           uint32_t data_limit) {
  uint32_t size = data_limit;
  StatusCode status = reg_query_value(key, name, nullptr, buffer, &size);
  if (status != 0 || size > data_limit) {
    buffer[0] = '\0';
    return status != 0 ? status : W32_ERROR_MORE_DATA;
  }
  buffer[size] = '\0';
  return 0;
}
