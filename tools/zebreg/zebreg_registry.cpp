#include "zebreg_registry.h"

#include <algorithm>

namespace {

// Room for a name of the registry's longest, 16,383 UTF-16 units, in the
// store's UTF-8 (at most 3 bytes a unit), and its terminator. A longer name,
// left in a store by an older zebreg, is read with a larger buffer.
constexpr uint32_t kNameCapacity = 3 * 16383 + 1;
constexpr size_t kFirstDataCapacity = 256;

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
