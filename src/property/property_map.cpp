// Store operations on the property-map key.
#include "property/property_map.h"

#include <cstring>

#include "config/integer_literal.h"
#include "config/os_class.h"
#include "config/setup_info.h"
#include "config/status_codes.h"

namespace {

constexpr const char* MAP_PATH_KEY = "map_path";

// Opens the map key with access.
StatusCode open_map_key(const CommandContext* context, uint32_t access,
                        RegKey* key) {
  char path[MAP_PATH_CAPACITY] = {};
  StatusCode status = get_map_path(context, path, sizeof(path));
  if (status != W32_ERROR_SUCCESS) return status;
  return reg_open_key(reg_local_machine(), path, access, key);
}

// Reads the value at cursor->index of the cursor's key into the cursor.
StatusCode read_cursor_entry(MapCursor* cursor) {
  // Data shorter than 4 bytes leaves the rest of the value cleared.
  cursor->value = 0;
  uint32_t name_len = MAP_NAME_CAPACITY;
  uint32_t data_size = sizeof(cursor->value);
  return reg_enum_value(cursor->key, cursor->index, cursor->name, &name_len,
                        nullptr, &cursor->value, &data_size);
}

}  // namespace

StatusCode get_map_path(const CommandContext* context, char* path,
                        uint32_t capacity) {
  SetupInfo info = nullptr;
  StatusCode status = context_setup(context, &info);
  if (status != W32_ERROR_SUCCESS) return status;
  return get_setup_string(info, SECTION_STRINGS, MAP_PATH_KEY, path, capacity);
}

StatusCode map_write(const CommandContext* context, const MapEntry* entry) {
  if (entry == nullptr) return STATUS_NO_ARGUMENT;
  StatusCode status = check_write_access();
  if (status != W32_ERROR_SUCCESS) return status;
  RegKey key = nullptr;
  status = open_map_key(context, W32_KEY_SET_VALUE, &key);
  if (status != W32_ERROR_SUCCESS) return status;
  if (entry->value == MAP_DELETE_VALUE) {
    status = reg_delete_value(key, entry->name);
  } else {
    status = reg_set_value(key, entry->name, W32_REG_DWORD, &entry->value,
                           sizeof(entry->value));
  }
  reg_close_key(key);
  return status;
}

StatusCode map_first(const CommandContext* context, MapCursor* cursor) {
  if (cursor == nullptr) return STATUS_NO_ARGUMENT;
  cursor->index = 0;
  StatusCode status = open_map_key(context, W32_KEY_QUERY_VALUE, &cursor->key);
  if (status != W32_ERROR_SUCCESS) return status;
  return read_cursor_entry(cursor);
}

StatusCode map_next(MapCursor* cursor) {
  if (cursor == nullptr) return STATUS_NO_ARGUMENT;
  ++cursor->index;
  if (cursor->key == nullptr) return STATUS_NO_ARGUMENT;
  return read_cursor_entry(cursor);
}

void map_close(MapCursor* cursor) {
  if (cursor == nullptr || cursor->key == nullptr) return;
  reg_close_key(cursor->key);
  cursor->key = nullptr;
}

StatusCode map_read(const CommandContext* context, const char* name,
                    uint32_t* value) {
  if (name == nullptr || value == nullptr) return STATUS_NO_ARGUMENT;
  RegKey key = nullptr;
  StatusCode status = open_map_key(context, W32_KEY_QUERY_VALUE, &key);
  if (status != W32_ERROR_SUCCESS) return status;
  *value = 0;
  uint32_t data_size = sizeof(*value);
  status = reg_query_value(key, name, nullptr, value, &data_size);
  reg_close_key(key);
  return status;
}

StatusCode map_read_stored(const CommandContext* context, const char* name,
                           uint32_t* value, bool* exact) {
  if (name == nullptr || value == nullptr || exact == nullptr) {
    return STATUS_NO_ARGUMENT;
  }
  RegKey key = nullptr;
  StatusCode status = open_map_key(context, W32_KEY_QUERY_VALUE, &key);
  if (status == W32_ERROR_FILE_NOT_FOUND) return STATUS_REG_ERROR;
  if (status != W32_ERROR_SUCCESS) return status;
  *value = 0;
  uint32_t type = 0;
  uint32_t data_size = sizeof(*value);
  status = reg_query_value(key, name, &type, value, &data_size);
  reg_close_key(key);
  *exact = type == W32_REG_DWORD && data_size == sizeof(*value);
  return status;
}

StatusCode parse_map_pair(const char* text, MapEntry* entry) {
  if (text == nullptr || entry == nullptr) return STATUS_NO_ARGUMENT;
  const char* equals = std::strchr(text, '=');
  if (equals == nullptr) return STATUS_SYNTAX;
  size_t name_length = static_cast<size_t>(equals - text);
  if (name_length >= MAP_NAME_CAPACITY) return STATUS_SYNTAX;
  const char* value_text = equals + 1;
  int32_t value = -1;
  if (*value_text != '\0' && !parse_integer_literal(value_text, &value)) {
    return STATUS_SYNTAX;
  }
  std::memset(entry->name, 0, sizeof(entry->name));
  std::memcpy(entry->name, text, name_length);
  entry->value = static_cast<uint32_t>(value);
  return W32_ERROR_SUCCESS;
}
