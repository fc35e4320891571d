#include "zebreg_registry.h"

#include <algorithm>

namespace {

// Room for a name of the registry's longest, 16,383 UTF-16 units, in the
// store's UTF-8 (at most 3 bytes a unit), and its terminator. A longer name,
// left in a store by an older zebreg, is read with a larger buffer.
constexpr uint32_t kNameCapacity = 3 * 16383 + 1;
constexpr size_t kFirstDataCapacity = 256;

StatusCode enum_key(RegKey key, uint32_t index, std::string* name) {
  name->resize(kNameCapacity);
  uint32_t name_len = kNameCapacity;
  StatusCode status = reg_enum_key(key, index, &(*name)[0], &name_len);
  name->resize(status == W32_ERROR_SUCCESS ? name_len : 0);
  return status;
}

// Splits a key path into the path of its parent and its last name.
void split_last(const std::string& path, std::string* parent,
                std::string* name) {
  size_t slash = path.rfind('\\');
  *parent = slash == std::string::npos ? "" : path.substr(0, slash);
  *name = slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

StatusCode read_value(RegKey key, const char* name, uint32_t* type,
                      std::vector<uint8_t>* bytes) {
  uint32_t size = 0;
  StatusCode status = reg_query_value(key, name, type, nullptr, &size);
  while (status == W32_ERROR_SUCCESS) {
    bytes->assign(size, 0);
    status = reg_query_value(key, name, type, bytes->data(), &size);
    if (status == W32_ERROR_SUCCESS) bytes->resize(size);
    if (status != W32_ERROR_MORE_DATA) break;
    status = W32_ERROR_SUCCESS;
  }
  return status;
}

StatusCode enum_value(RegKey key, uint32_t index, RegValue* value) {
  uint32_t capacity = kNameCapacity;
  for (;;) {
    if (value->name_room.size() < capacity) value->name_room.resize(capacity);
    value->data.resize(std::max(value->data.capacity(), kFirstDataCapacity));
    uint32_t name_len = capacity;
    uint32_t size = static_cast<uint32_t>(value->data.size());
    StatusCode status =
        reg_enum_value(key, index, &value->name_room[0], &name_len,
                       &value->type, value->data.data(), &size);
    if (status == W32_ERROR_MORE_DATA && size > value->data.size()) {
      value->data.resize(size);
      continue;
    }
    if (status == W32_ERROR_MORE_DATA && capacity < UINT32_MAX / 2) {
      capacity *= 2;  // the name did not fit
      continue;
    }
    if (status != W32_ERROR_SUCCESS) return status;
    value->name.assign(value->name_room.data(), name_len);
    value->data.resize(size);
    return W32_ERROR_SUCCESS;
  }
}

StatusCode subkey_names(RegKey key, std::vector<std::string>* names) {
  std::string name;
  for (uint32_t index = 0;; index++) {
    StatusCode status = enum_key(key, index, &name);
    if (status == W32_ERROR_NO_MORE_ITEMS) return W32_ERROR_SUCCESS;
    if (status != W32_ERROR_SUCCESS) return status;
    names->push_back(name);
  }
}

StatusCode delete_tree(RegKey parent, const std::string& name) {
  RegKey key = nullptr;
  StatusCode status =
      reg_open_key(parent, name.c_str(), W32_KEY_ALL_ACCESS, &key);
  if (status != W32_ERROR_SUCCESS) return status;
  std::vector<std::string> children;
  status = subkey_names(key, &children);
  for (size_t i = 0; status == W32_ERROR_SUCCESS && i < children.size(); i++) {
    status = delete_tree(key, children[i]);
  }
  reg_close_key(key);
  if (status != W32_ERROR_SUCCESS) return status;
  return reg_delete_key(parent, name.c_str());
}

StatusCode delete_key_path(const std::string& path) {
  std::string parent_path;
  std::string name;
  split_last(path, &parent_path, &name);
  RegKey parent = nullptr;
  StatusCode status = reg_open_key(reg_local_machine(), parent_path.c_str(),
                                   W32_KEY_ALL_ACCESS, &parent);
  if (status != W32_ERROR_SUCCESS) return status;
  status = delete_tree(parent, name);
  reg_close_key(parent);
  return status;
}
