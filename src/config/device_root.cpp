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

StatusCode read_subkey_value(RegKey root, uint32_t index,
                             const char* value_name, char* name,
                             uint32_t capacity, char* text, StatusCode* read) {
  std::memset(name, 0, capacity);
  uint32_t length = capacity;
  StatusCode status = reg_enum_key(root, index, name, &length);
  if (status != 0) return status;
  RegKey subkey = nullptr;
  status = reg_open_key(root, name, W32_KEY_READ, &subkey);
  if (status != 0) return status;
  *read = read_text_value(subkey, value_name, text, SEARCH_VALUE_CAPACITY);
  reg_close_key(subkey);
  return 0;
}

// A read of a name value that says the subkey is no match: the value is
// absent, or too long for any name. Any other failure might hide a match.
static bool read_says_no_match(StatusCode read) {
  return read == W32_ERROR_FILE_NOT_FOUND || read == W32_ERROR_MORE_DATA;
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
  for (uint32_t index = 0;; ++index) {
    StatusCode read = 0;
    StatusCode status =
        read_subkey_value(root, index, value_name, name, capacity, text, &read);
    if (status == W32_ERROR_NO_MORE_ITEMS) {
      std::memset(name, 0, capacity);
      return W32_ERROR_FILE_NOT_FOUND;
    }
    if (status != 0) return status;
    if (read == 0 && equal_folded(text, wanted)) return 0;
    if (read == W32_ERROR_FILE_NOT_FOUND && unnamed != nullptr) {
      unnamed->push_back(name);
    }
    if (read != 0 && !read_says_no_match(read)) return read;
  }
}

StatusCode index_subkeys_by_value(RegKey root, const char* value_name,
                                  uint32_t capacity, SubkeyIndex* index) {
  *index = SubkeyIndex{};
  std::string buffer(capacity, '\0');
  char* name = &buffer[0];
  char text[SEARCH_VALUE_CAPACITY + 1];
  for (uint32_t at = 0;; ++at) {
    StatusCode read = 0;
    StatusCode status =
        read_subkey_value(root, at, value_name, name, capacity, text, &read);
    if (status == W32_ERROR_NO_MORE_ITEMS) status = W32_ERROR_FILE_NOT_FOUND;
    if (status == 0 && read != 0 && !read_says_no_match(read)) status = read;
    if (status != 0) {
      index->end = status;
      return 0;
    }
    index->subkeys.insert(fold_text(name));
    if (read == W32_ERROR_FILE_NOT_FOUND) index->unnamed.push_back(name);
    if (read == 0) index->first.emplace(fold_text(text), name);
  }
}

StatusCode find_in_subkey_index(const SubkeyIndex& index, const char* wanted,
                                std::string* subkey) {
  auto found = index.first.find(fold_text(wanted));
  if (found == index.first.end()) return index.end;
  *subkey = found->second;
  return 0;
}

bool subkey_index_has(const SubkeyIndex& index, const char* subkey) {
  return index.subkeys.count(fold_text(subkey)) != 0;
}

void subkey_index_add(SubkeyIndex* index, const std::string& subkey,
                      const char* text) {
  index->subkeys.insert(fold_text(subkey));
  index->first.emplace(fold_text(text), subkey);
}

void subkey_index_remove(SubkeyIndex* index, const std::string& subkey,
                         const char* text) {
  index->subkeys.erase(fold_text(subkey));
  if (text != nullptr) index->first.erase(fold_text(text));
}
