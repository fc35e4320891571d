// Registry reads that zebreg's operations share: one value by name, and
// values by index with buffers reused. Subkey names and the deletion of a
// whole subtree are in platform/registry_tree.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"

// The value types that types.h leaves out.
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegQword = 11;

// Whether values of type hold text, which the registry keeps in UTF-16 and
// the store in the code page.
inline bool is_string_type(uint32_t type) {
  return type == W32_REG_SZ || type == kRegExpandSz || type == W32_REG_MULTI_SZ;
}

// One value as an enumeration gives it.
struct RegValue {
  std::string name;           // "" for the default value
  uint32_t type;              // REG_* type
  std::vector<uint8_t> data;  // raw bytes
  std::string name_room;      // what the name is read into, kept for reuse
};

// Reads value name of key into *type and *bytes; 0, 2 or another code.
StatusCode read_value(RegKey key, const char* name, uint32_t* type,
                      std::vector<uint8_t>* bytes);

// Value number index of key into *value, whose buffers are reused: 0, 259
// past the last value, or another code.
StatusCode enum_value(RegKey key, uint32_t index, RegValue* value);
