// Device properties: set, query and listing through a PropertyRequest. Each
// operation reads the schema from the command's open setup file.
#pragma once

#include <cstdint>

#include "config/prop_map_line.h"
#include "config/setup_info.h"
#include "platform/registry.h"
#include "platform/types.h"

// Set actions (PropertyRequest::action).
constexpr int32_t ACTION_SET = 1;
constexpr int32_t ACTION_RESET = 2;
constexpr int32_t ACTION_AUTO = 3;

// Property states (PropertyRequest::state).
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
  int32_t action;       // set: ACTION_*
  int32_t state;        // query output: STATE_*
  int32_t filter;       // listing: LIST_STORED or LIST_ALL
  int32_t index;        // listing: line index in [cfg_prop_map]
  char* value;          // set: the value text; query: output buffer
  uint32_t value_size;  // query: size of the value buffer in bytes
};

// Validates request->value against the property's definition and stores it
// (ACTION_SET), deletes the stored value (ACTION_RESET) or marks the property
// automatic (ACTION_AUTO), keeping "autocfg_mask" in step.
StatusCode prop_set(SetupInfo info, const PropertyRequest* request);

// The status prop_set would give the request before its first write, from
// the schema alone: the property's definition, the constraint, the
// transport map and the action's fit to the property. Writes nothing and
// does not touch request->key.
StatusCode prop_check(SetupInfo info, const PropertyRequest* request);

// Applies one name=value argument to the open device key: sets the property,
// or resets it when the value is empty. 0xF0000008 without "=" or for a name
// of PROPERTY_NAME_CAPACITY characters or more.
StatusCode prop_set_assignment(SetupInfo info, RegKey key, char* argument);

// Reads one property: its value as text into request->value, its state into
// request->state and its type into request->type.
StatusCode prop_get(SetupInfo info, PropertyRequest* request);

// Finds the first [cfg_prop_map] line that request->filter admits; its name
// goes into request->name and its index into request->index. 0xF0000005 when
// there is none.
StatusCode prop_first(SetupInfo info, PropertyRequest* request);

// Finds the next admitted line after request->index.
StatusCode prop_next(SetupInfo info, PropertyRequest* request);

// Scans [cfg_prop_map] from line request->index for an admitted line.
StatusCode prop_step(SetupInfo info, PropertyRequest* request);
