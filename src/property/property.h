// Device properties: set, query and listing through a PropertyRequest.
#pragma once

#include <cstdint>

#include "cli/entry.h"
#include "config/setup_info.h"
#include "device/device.h"
#include "platform/registry.h"
#include "platform/types.h"

// Types of a property (field 1 of its [cfg_prop_map] line).
constexpr int32_t TYPE_TEXT = 0;
constexpr int32_t TYPE_INTEGER = 1;

// Bits of the flags word (field 2); the auto index is in bits 16-31.
constexpr uint32_t PROP_HIDDEN = 0x01;
constexpr uint32_t PROP_SETS_XPT = 0x02;
constexpr uint32_t PROP_XPT_CLASS = 0x04;
constexpr uint32_t PROP_AUTO = 0x08;
constexpr uint32_t PROP_SHOW_IF_SET = 0x10;
constexpr uint32_t AUTO_INDEX_SHIFT = 16;

// Set actions (PropertyRequest::action as input).
constexpr int32_t ACTION_SET = 1;
constexpr int32_t ACTION_RESET = 2;
constexpr int32_t ACTION_AUTO = 3;

// Property states (PropertyRequest::action as query output).
constexpr int32_t STATE_VALUE = 1;
constexpr int32_t STATE_DEFAULT = 2;
constexpr int32_t STATE_AUTO = 3;

// Listing filters.
constexpr int32_t LIST_STORED = 1;
constexpr int32_t LIST_ALL = 2;

// Size of a listing's name buffer and of the p handler's value buffer.
constexpr uint32_t PROPERTY_NAME_CAPACITY = 256;
constexpr uint32_t PROPERTY_VALUE_CAPACITY = 256;

// The record that the property operations take; the caller owns it and both
// buffers.
struct PropertyRequest {
  RegKey key;           // the device's open key
  char* name;           // property name; listing: 256-byte output buffer
  int32_t type;         // query output: the property's type
  int32_t action;       // set: ACTION_*; query output: STATE_*
  int32_t filter;       // listing: LIST_STORED or LIST_ALL
  int32_t index;        // listing: line index in [cfg_prop_map]
  char* value;          // set: the value text; query: output buffer
  uint32_t value_size;  // query: size of the value buffer in bytes
};

// Validates request->value against the property's definition and stores it
// (ACTION_SET), deletes the stored value (ACTION_RESET) or marks the property
// automatic (ACTION_AUTO), keeping "autocfg_mask" in step.
StatusCode prop_set(const PropertyRequest* request);

// Applies the name=value arguments args[2..count-1] to the open device in
// order, stopping at the first failure, which it reports itself with mode.
// Returns 0 when all were stored, else 1.
int32_t prop_set_args(const DeviceRecord* device, OutputMode mode,
                      int32_t count, char* const* args);

// Reads one property: its value as text into request->value, its state into
// request->action and its type into request->type.
StatusCode prop_get(PropertyRequest* request);

// Finds the first [cfg_prop_map] line that request->filter admits; its name
// goes into request->name and its index into request->index. 0xF0000005 when
// there is none.
StatusCode prop_first(PropertyRequest* request);

// Finds the next admitted line after request->index.
StatusCode prop_next(PropertyRequest* request);

// Scans [cfg_prop_map] from line request->index for an admitted line.
StatusCode prop_step(SetupInfo info, PropertyRequest* request);
