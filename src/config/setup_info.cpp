#include "config/setup_info.h"

#include <cstring>

#include "config/status_codes.h"
#include "platform/fold.h"

namespace {

// Copies text into buffer (capacity bytes), cut to fit and terminated.
void copy_text(const char* text, char* buffer, uint32_t capacity) {
  if (capacity == 0) return;
  size_t length = std::strlen(text);
  if (length >= capacity) length = capacity - 1;
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
}

}  // namespace

StatusCode open_setup_info(SetupInfo* out) {
  InfHandle inf = nullptr;
  StatusCode status = inf_open(SETUP_FILE_NAME, &inf);
  if (status == 0) {
    *out = inf;
    return 0;
  }
  return status == W32_ERROR_FILE_NOT_FOUND ? STATUS_INF_NOT_FOUND
                                            : STATUS_INF_CORRUPT;
}

void close_setup_info(SetupInfo info) {
  if (info != nullptr) inf_close(info);
}

StatusCode get_setup_string(SetupInfo info, const char* section,
                            const char* key, char* buffer, uint32_t capacity) {
  InfLine line{};
  StatusCode status = inf_find_first_line(info, section, key, &line);
  if (status != 0) return status;
  return inf_get_string_field(&line, 1, buffer, capacity, nullptr);
}

StatusCode get_setup_int(SetupInfo info, const char* section, const char* key,
                         uint32_t field, int32_t* value) {
  InfLine line{};
  StatusCode status = inf_find_first_line(info, section, key, &line);
  if (status != 0) return status;
  return inf_get_int_field(&line, field, value);
}

StatusCode find_setup_key(SetupInfo info, const char* section,
                          const char* value, char* buffer, uint32_t capacity) {
  InfLine line{};
  StatusCode status = inf_find_first_line(info, section, nullptr, &line);
  while (status == 0) {
    status = inf_get_string_field(&line, 1, buffer, capacity, nullptr);
    if (status != 0) return status;
    if (equal_folded(buffer, value)) {
      return inf_get_string_field(&line, 0, buffer, capacity, nullptr);
    }
    InfLine next{};
    status = inf_find_next_line(&line, &next);
    line = next;
  }
  return status;
}

StatusCode get_setup_string_or(SetupInfo info, const char* key,
                               const char* fallback, char* buffer,
                               uint32_t capacity) {
  StatusCode status =
      get_setup_string(info, SECTION_STRINGS, key, buffer, capacity);
  if (status == 0) return 0;
  copy_text(fallback, buffer, capacity);
  // No section or line; no such field (31 where SetupAPI sets no code, as
  // Wine's does not; 87 otherwise); a text too long for buffer.
  bool absent = status == W32_ERROR_LINE_NOT_FOUND ||
                status == W32_ERROR_SECTION_NOT_FOUND ||
                status == W32_ERROR_GEN_FAILURE ||
                status == W32_ERROR_INVALID_PARAMETER ||
                status == W32_ERROR_INSUFFICIENT_BUFFER;
  return absent ? 0 : status;
}
