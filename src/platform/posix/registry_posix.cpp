// The registry operations over the embedded store (store.h), with the
// answers Wine's advapi32 gives: access checks against the handle's mask,
// 1018 through a handle whose key was deleted, 234 with the needed size.
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/fault.h"
#include "platform/posix/live_handles.h"
#include "platform/posix/store.h"
#include "platform/registry.h"
#include "platform/text_encoding.h"

struct RegKeyHandle {
  int64_t id;            // row of the key in the store
  uint32_t access;       // rights asked for at open or create
  FaultSubject subject;  // the path as opened, in test builds
};

namespace {

// Longer names fail with 87, as in Wine; lengths in UTF-16 units.
constexpr size_t kMaxKeyNameLength = 256;
constexpr size_t kMaxValueNameLength = 16383;

RegKeyHandle g_local_machine{kStoreRootKeyId, W32_KEY_ALL_ACCESS, {}};

// The UTF-16 units of length bytes of the store's text at name.
size_t name_units(const char* name, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(name[i]) >= 0x80) {
      std::u16string units;
      text_to_utf16(std::string(name, length), &units);
      return units.size();
    }
  }
  return length;
}

bool has_right(RegKey key, uint32_t right) {
  return (key->access & right) == right;
}

// Splits a key path on backslashes into its key names, skipping empty ones;
// 161 for a leading backslash, 87 for a name longer than a key name may be.
StatusCode split_path(const char* path, std::vector<std::string>* names) {
  if (path == nullptr) return W32_ERROR_SUCCESS;
  if (path[0] == '\\') return W32_ERROR_BAD_PATHNAME;
  for (const char* name = path;;) {
    const char* end = std::strchr(name, '\\');
    size_t length = end != nullptr ? end - name : std::strlen(name);
    if (length > kMaxKeyNameLength &&
        name_units(name, length) > kMaxKeyNameLength) {
      return W32_ERROR_INVALID_PARAMETER;
    }
    if (length > 0) names->emplace_back(name, length);
    if (end == nullptr) return W32_ERROR_SUCCESS;
    name = end + 1;
  }
}

// 2 when a key is missing below an existing start, 1018 when start itself
// is gone.
StatusCode missing_status(int64_t start) {
  bool exists = false;
  StatusCode status = store_key_exists(start, &exists);
  if (status != W32_ERROR_SUCCESS) return status;
  return exists ? W32_ERROR_FILE_NOT_FOUND : W32_ERROR_KEY_DELETED;
}

// Fails with 1018 unless key id still exists.
StatusCode require_key(int64_t id) {
  StatusCode status = missing_status(id);
  return status == W32_ERROR_FILE_NOT_FOUND ? W32_ERROR_SUCCESS : status;
}

// Follows the key names down from start; *id is the key reached.
StatusCode walk(int64_t start, const std::vector<std::string>& names,
                int64_t* id) {
  *id = start;
  if (names.empty()) return require_key(start);
  StatusCode status = store_find_path(start, names, id);
  if (status != W32_ERROR_SUCCESS) return status;
  return *id == 0 ? missing_status(start) : W32_ERROR_SUCCESS;
}

// The key at path below parent, for reading: 2 when the store does not
// exist yet and the path names anything below HKEY_LOCAL_MACHINE.
StatusCode find_key(RegKey parent, const char* path, int64_t* id) {
  std::vector<std::string> names;
  StatusCode status = split_path(path, &names);
  if (status != W32_ERROR_SUCCESS) return status;
  bool absent = false;
  status = store_open(StoreMode::kRead, &absent);
  if (status != W32_ERROR_SUCCESS) return status;
  if (absent) {
    if (parent->id != kStoreRootKeyId) return W32_ERROR_KEY_DELETED;
    *id = kStoreRootKeyId;
    return names.empty() ? W32_ERROR_SUCCESS : W32_ERROR_FILE_NOT_FOUND;
  }
  return walk(parent->id, names, id);
}

StatusCode new_handle(RegKey parent, const char* path, int64_t id,
                      uint32_t access, RegKey* out) {
  *out =
      new RegKeyHandle{id, access, fault_subject_below(parent->subject, path)};
  live_handle_made(LiveHandle::kRegKey);
  return W32_ERROR_SUCCESS;
}

StatusCode finish_write(StatusCode status) {
  if (status != W32_ERROR_SUCCESS) {
    store_rollback();
    return status;
  }
  return store_commit();
}

// Creates the missing keys of names below start in one transaction; *created
// tells whether the last one is new.
StatusCode create_path(int64_t start, const std::vector<std::string>& names,
                       int64_t* id, bool* created) {
  *id = start;
  *created = false;
  StatusCode status = store_begin_write();
  if (status != W32_ERROR_SUCCESS) return status;
  status = require_key(start);
  for (size_t i = 0; status == W32_ERROR_SUCCESS && i < names.size(); i++) {
    int64_t child = 0;
    status = store_find_child(*id, names[i], &child);
    if (status != W32_ERROR_SUCCESS) break;
    if (child != 0) {
      *id = child;
      *created = false;
      continue;
    }
    status = store_insert_key(*id, names[i], &child);
    *id = child;
    *created = true;
  }
  return finish_write(status);
}

// Copies text into buffer when it fits capacity (terminator included).
StatusCode copy_name(const std::string& text, char* buffer,
                     uint32_t* capacity) {
  if (text.size() >= *capacity) return W32_ERROR_MORE_DATA;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  *capacity = static_cast<uint32_t>(text.size());
  return W32_ERROR_SUCCESS;
}

// Size a reader sees: a REG_SZ without its terminating zero gains one, as in
// Wine's ANSI calls.
uint32_t read_size(uint32_t type, const std::vector<uint8_t>& data) {
  bool unterminated = type == W32_REG_SZ && !data.empty() && data.back() != 0;
  return static_cast<uint32_t>(data.size()) + (unterminated ? 1 : 0);
}

// Delivers a value's type and data as RegQueryValueExA does.
StatusCode deliver_value(uint32_t type, const std::vector<uint8_t>& data,
                         uint32_t* type_out, void* buffer,
                         uint32_t* data_size) {
  if (type_out != nullptr) *type_out = type;
  uint32_t needed = read_size(type, data);
  if (data_size == nullptr) return W32_ERROR_SUCCESS;
  if (buffer == nullptr) {
    *data_size = needed;
    return W32_ERROR_SUCCESS;
  }
  if (needed > *data_size) {
    *data_size = needed;
    return W32_ERROR_MORE_DATA;
  }
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  if (needed > data.size()) static_cast<uint8_t*>(buffer)[data.size()] = 0;
  *data_size = needed;
  return W32_ERROR_SUCCESS;
}

// Reads value name of key id, its data valid until the next store call: 2
// when absent (or the store is), 1018 when the key is gone.
StatusCode read_value(int64_t id, const char* name, uint32_t* type,
                      const std::vector<uint8_t>** data) {
  bool absent = false;
  StatusCode status = store_open(StoreMode::kRead, &absent);
  if (status != W32_ERROR_SUCCESS) return status;
  if (absent) {
    return id == kStoreRootKeyId ? W32_ERROR_FILE_NOT_FOUND
                                 : W32_ERROR_KEY_DELETED;
  }
  status = store_get_value(id, name != nullptr ? name : "", type, data);
  return status == W32_ERROR_FILE_NOT_FOUND ? missing_status(id) : status;
}

}  // namespace

RegKey reg_local_machine() { return &g_local_machine; }

StatusCode reg_open_key(RegKey parent, const char* path, uint32_t access,
                        RegKey* out) {
  StatusCode status = fault_hit(FaultPoint::kRegOpen, path);
  if (status != W32_ERROR_SUCCESS) return status;
  if (parent == nullptr) return W32_ERROR_INVALID_HANDLE;
  if (out == nullptr) return W32_ERROR_INVALID_PARAMETER;
  int64_t id = 0;
  status = find_key(parent, path, &id);
  if (status != W32_ERROR_SUCCESS) return status;
  return new_handle(parent, path, id, access, out);
}

StatusCode reg_create_key(RegKey parent, const char* name, uint32_t access,
                          RegKey* out, uint32_t* disposition) {
  StatusCode status = fault_hit(FaultPoint::kRegCreate, name);
  if (status != W32_ERROR_SUCCESS) return status;
  if (parent == nullptr) return W32_ERROR_INVALID_HANDLE;
  if (out == nullptr) return W32_ERROR_INVALID_PARAMETER;
  std::vector<std::string> names;
  status = split_path(name, &names);
  if (status != W32_ERROR_SUCCESS) return status;
  int64_t id = 0;
  status = find_key(parent, name, &id);
  bool created = false;
  if (status == W32_ERROR_FILE_NOT_FOUND) {
    status = create_path(parent->id, names, &id, &created);
  }
  if (status != W32_ERROR_SUCCESS) return status;
  if (disposition != nullptr) {
    *disposition =
        created ? W32_REG_CREATED_NEW_KEY : W32_REG_OPENED_EXISTING_KEY;
  }
  return new_handle(parent, name, id, access, out);
}

StatusCode reg_enum_key(RegKey key, uint32_t index, char* name,
                        uint32_t* name_len) {
  if (key == nullptr) return W32_ERROR_INVALID_HANDLE;
  StatusCode status = fault_hit(FaultPoint::kRegEnumKey, key->subject.c_str());
  if (status != W32_ERROR_SUCCESS) return status;
  if (name == nullptr || name_len == nullptr) {
    return W32_ERROR_INVALID_PARAMETER;
  }
  if (!has_right(key, W32_KEY_ENUMERATE_SUB_KEYS)) {
    return W32_ERROR_ACCESS_DENIED;
  }
  bool absent = false;
  status = store_open(StoreMode::kRead, &absent);
  if (status != W32_ERROR_SUCCESS) return status;
  if (absent) {
    return key->id == kStoreRootKeyId ? W32_ERROR_NO_MORE_ITEMS
                                      : W32_ERROR_KEY_DELETED;
  }
  const std::vector<StoreChild>* children = nullptr;
  status = store_children(key->id, &children);
  if (status != W32_ERROR_SUCCESS) return status;
  if (index >= children->size()) return W32_ERROR_NO_MORE_ITEMS;
  return copy_name((*children)[index].name, name, name_len);
}

StatusCode reg_enum_value(RegKey key, uint32_t index, char* name,
                          uint32_t* name_len, uint32_t* type, void* data,
                          uint32_t* data_size) {
  if (key == nullptr) return W32_ERROR_INVALID_HANDLE;
  StatusCode status =
      fault_hit(FaultPoint::kRegEnumValue, key->subject.c_str());
  if (status != W32_ERROR_SUCCESS) return status;
  if (name == nullptr || name_len == nullptr ||
      (data != nullptr && data_size == nullptr)) {
    return W32_ERROR_INVALID_PARAMETER;
  }
  if (!has_right(key, W32_KEY_QUERY_VALUE)) return W32_ERROR_ACCESS_DENIED;
  bool absent = false;
  status = store_open(StoreMode::kRead, &absent);
  if (status != W32_ERROR_SUCCESS) return status;
  if (absent) {
    return key->id == kStoreRootKeyId ? W32_ERROR_NO_MORE_ITEMS
                                      : W32_ERROR_KEY_DELETED;
  }
  const std::vector<StoreValue>* values = nullptr;
  status = store_values(key->id, &values);
  if (status != W32_ERROR_SUCCESS) return status;
  if (index >= values->size()) return W32_ERROR_NO_MORE_ITEMS;
  const StoreValue& value = (*values)[index];
  if (value.name.size() >= *name_len) {
    if (type != nullptr) *type = value.type;
    if (data_size != nullptr) *data_size = read_size(value.type, value.data);
    return W32_ERROR_MORE_DATA;
  }
  status = deliver_value(value.type, value.data, type, data, data_size);
  if (status != W32_ERROR_SUCCESS) return status;
  return copy_name(value.name, name, name_len);
}

StatusCode reg_query_value(RegKey key, const char* name, uint32_t* type,
                           void* data, uint32_t* data_size) {
  StatusCode status = fault_hit(FaultPoint::kRegQuery, name);
  if (status != W32_ERROR_SUCCESS) return status;
  if (key == nullptr) return W32_ERROR_INVALID_HANDLE;
  if (data != nullptr && data_size == nullptr) {
    return W32_ERROR_INVALID_PARAMETER;
  }
  if (!has_right(key, W32_KEY_QUERY_VALUE)) return W32_ERROR_ACCESS_DENIED;
  uint32_t stored_type = 0;
  const std::vector<uint8_t>* bytes = nullptr;
  status = read_value(key->id, name, &stored_type, &bytes);
  if (status == W32_ERROR_FILE_NOT_FOUND && type != nullptr) *type = 0;
  if (status != W32_ERROR_SUCCESS) return status;
  return deliver_value(stored_type, *bytes, type, data, data_size);
}

StatusCode reg_query_subkey_default(RegKey key, const char* subkey, char* data,
                                    int32_t* data_size) {
  StatusCode status = fault_hit(FaultPoint::kRegQuerySubkeyDefault, subkey);
  if (status != W32_ERROR_SUCCESS) return status;
  if (key == nullptr) return W32_ERROR_INVALID_HANDLE;
  if (data != nullptr && data_size == nullptr) {
    return W32_ERROR_INVALID_PARAMETER;
  }
  int64_t id = key->id;
  if (subkey != nullptr && *subkey != '\0') {
    status = find_key(key, subkey, &id);
    if (status != W32_ERROR_SUCCESS) return status;
  } else if (!has_right(key, W32_KEY_QUERY_VALUE)) {
    return W32_ERROR_ACCESS_DENIED;
  }
  uint32_t type = 0;
  const std::vector<uint8_t>* bytes = nullptr;
  status = read_value(id, nullptr, &type, &bytes);
  if (status == W32_ERROR_FILE_NOT_FOUND) {
    // A key without a default value reads as the empty text.
    static const std::vector<uint8_t> kEmptyText(1, 0);
    type = W32_REG_SZ;
    bytes = &kEmptyText;
    status = W32_ERROR_SUCCESS;
  }
  if (status != W32_ERROR_SUCCESS) return status;
  uint32_t size = data_size != nullptr && *data_size > 0
                      ? static_cast<uint32_t>(*data_size)
                      : 0;
  status = deliver_value(type, *bytes, nullptr, data,
                         data_size != nullptr ? &size : nullptr);
  if (data_size != nullptr) *data_size = static_cast<int32_t>(size);
  return status;
}

StatusCode reg_set_value(RegKey key, const char* name, uint32_t type,
                         const void* data, uint32_t size) {
  StatusCode status = fault_hit(FaultPoint::kRegSet, name);
  if (status != W32_ERROR_SUCCESS) return status;
  if (key == nullptr) return W32_ERROR_INVALID_HANDLE;
  if (data == nullptr && size != 0) return W32_ERROR_INVALID_PARAMETER;
  if (!has_right(key, W32_KEY_SET_VALUE)) return W32_ERROR_ACCESS_DENIED;
  size_t name_length = name != nullptr ? std::strlen(name) : 0;
  if (name_length > kMaxValueNameLength &&
      name_units(name, name_length) > kMaxValueNameLength) {
    return W32_ERROR_INVALID_PARAMETER;
  }
  status = store_begin_write();
  if (status != W32_ERROR_SUCCESS) return status;
  status = require_key(key->id);
  if (status == W32_ERROR_SUCCESS) {
    status =
        store_put_value(key->id, name != nullptr ? name : "", type, data, size);
  }
  return finish_write(status);
}

StatusCode reg_delete_key(RegKey parent, const char* name) {
  StatusCode status = fault_hit(FaultPoint::kRegDeleteKey, name);
  if (status != W32_ERROR_SUCCESS) return status;
  if (parent == nullptr) return W32_ERROR_INVALID_HANDLE;
  std::vector<std::string> names;
  status = split_path(name, &names);
  if (status != W32_ERROR_SUCCESS) return status;
  int64_t id = 0;
  status = find_key(parent, name, &id);
  if (status != W32_ERROR_SUCCESS) return status;
  if (names.empty()) return W32_ERROR_ACCESS_DENIED;
  status = store_begin_write();
  if (status != W32_ERROR_SUCCESS) return status;
  status = walk(parent->id, names, &id);
  if (status == W32_ERROR_SUCCESS) status = store_delete_key(id);
  return finish_write(status);
}

StatusCode reg_delete_value(RegKey key, const char* name) {
  StatusCode status = fault_hit(FaultPoint::kRegDeleteValue, name);
  if (status != W32_ERROR_SUCCESS) return status;
  if (key == nullptr) return W32_ERROR_INVALID_HANDLE;
  if (!has_right(key, W32_KEY_SET_VALUE)) return W32_ERROR_ACCESS_DENIED;
  uint32_t type = 0;
  const std::vector<uint8_t>* bytes = nullptr;
  status = read_value(key->id, name, &type, &bytes);
  if (status != W32_ERROR_SUCCESS) return status;
  status = store_begin_write();
  if (status != W32_ERROR_SUCCESS) return status;
  status = require_key(key->id);
  bool deleted = false;
  if (status == W32_ERROR_SUCCESS) {
    status = store_delete_value(key->id, name != nullptr ? name : "", &deleted);
  }
  if (status == W32_ERROR_SUCCESS && !deleted) {
    status = W32_ERROR_FILE_NOT_FOUND;
  }
  return finish_write(status);
}

void reg_close_key(RegKey key) {
  if (key == nullptr || key == &g_local_machine) return;
  live_handle_released(LiveHandle::kRegKey);
  delete key;
}

// A group is a write transaction of the store; the writes made inside it
// become savepoints of it, so that a failed one is undone alone.
StatusCode reg_begin_group() {
  StatusCode status = fault_hit(FaultPoint::kRegBeginGroup, nullptr);
  if (status != W32_ERROR_SUCCESS) return status;
  return store_begin_write();
}

StatusCode reg_end_group() {
  StatusCode status = fault_hit(FaultPoint::kRegEndGroup, nullptr);
  if (status != W32_ERROR_SUCCESS) {
    store_rollback();
    return status;
  }
  return store_commit();
}

void reg_abandon_group() { store_rollback(); }

StatusCode reg_begin_snapshot() {
  StatusCode status = fault_hit(FaultPoint::kRegBeginSnapshot, nullptr);
  if (status != W32_ERROR_SUCCESS) return status;
  return store_begin_snapshot();
}

void reg_end_snapshot() { store_end_snapshot(); }
