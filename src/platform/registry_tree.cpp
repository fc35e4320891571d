#include "platform/registry_tree.h"

namespace {

// Room for a key name of the registry's longest, 255 UTF-16 units, in the
// code page's longest form (UTF-8, at most 3 bytes a unit) and its
// terminator. A longer name is read with a larger buffer.
constexpr uint32_t kFirstNameCapacity = 3 * 255 + 1;

// The name of subkey number index of key into *name, its buffer reused.
StatusCode subkey_name(RegKey key, uint32_t index, std::string* name) {
  uint32_t capacity = kFirstNameCapacity;
  for (;;) {
    if (name->size() < capacity) name->resize(capacity);
    uint32_t length = capacity;
    StatusCode status = reg_enum_key(key, index, &(*name)[0], &length);
    if (status == W32_ERROR_MORE_DATA && capacity < UINT32_MAX / 2) {
      capacity *= 2;
      continue;
    }
    name->resize(status == W32_ERROR_SUCCESS ? length : 0);
    return status;
  }
}

}  // namespace

void split_key_path(const std::string& path, std::string* parent,
                    std::string* name) {
  size_t slash = path.rfind('\\');
  *parent = slash == std::string::npos ? "" : path.substr(0, slash);
  *name = slash == std::string::npos ? path : path.substr(slash + 1);
}

StatusCode subkey_names(RegKey key, std::vector<std::string>* names) {
  std::string name;
  for (uint32_t index = 0;; index++) {
    StatusCode status = subkey_name(key, index, &name);
    if (status == W32_ERROR_NO_MORE_ITEMS) return W32_ERROR_SUCCESS;
    if (status != W32_ERROR_SUCCESS) return status;
    names->push_back(name);
  }
}

StatusCode delete_key_tree(RegKey parent, const std::string& name) {
  RegKey key = nullptr;
  StatusCode status =
      reg_open_key(parent, name.c_str(), W32_KEY_ALL_ACCESS, &key);
  if (status != W32_ERROR_SUCCESS) return status;
  std::vector<std::string> children;
  status = subkey_names(key, &children);
  for (size_t i = 0; status == W32_ERROR_SUCCESS && i < children.size(); i++) {
    status = delete_key_tree(key, children[i]);
  }
  reg_close_key(key);
  if (status != W32_ERROR_SUCCESS) return status;
  return reg_delete_key(parent, name.c_str());
}

StatusCode delete_key_path(const std::string& path) {
  std::string parent_path;
  std::string name;
  split_key_path(path, &parent_path, &name);
  RegKey parent = nullptr;
  StatusCode status = reg_open_key(reg_local_machine(), parent_path.c_str(),
                                   W32_KEY_ALL_ACCESS, &parent);
  if (status != W32_ERROR_SUCCESS) return status;
  status = delete_key_tree(parent, name);
  reg_close_key(parent);
  return status;
}
