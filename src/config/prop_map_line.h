// The fields of a [cfg_prop_map] line of the setup file:
//   name = type, flags, allowed list | minimum, maximum
// Both the device commit (the automatic configuration) and the property
// operations read them.
#pragma once

#include <cstdint>

// Types of a property (field 1).
constexpr int32_t TYPE_TEXT = 0;
constexpr int32_t TYPE_INTEGER = 1;

// Bits of the flags word (field 2); the auto index is in bits 16-31.
constexpr uint32_t PROP_HIDDEN = 0x01;
constexpr uint32_t PROP_SETS_XPT = 0x02;
constexpr uint32_t PROP_XPT_CLASS = 0x04;
constexpr uint32_t PROP_AUTO = 0x08;
constexpr uint32_t PROP_SHOW_IF_SET = 0x10;
constexpr uint32_t AUTO_INDEX_SHIFT = 16;

// The auto index of a flags word.
inline uint32_t auto_index(uint32_t flags) { return flags >> AUTO_INDEX_SHIFT; }

// True when the flags word makes the property automatic: PROP_AUTO with an
// auto index that has a bit in the 32-bit mask (0..31); the bit goes to *bit.
inline bool auto_mask_bit(uint32_t flags, uint32_t* bit) {
  if ((flags & PROP_AUTO) == 0) return false;
  uint32_t k = auto_index(flags);
  if (k > 31) return false;
  *bit = 1u << k;
  return true;
}
