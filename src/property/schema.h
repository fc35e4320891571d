// The property schema ([cfg_prop_map]), the transport map ([cfg_xpt_map])
// and the test of a value against a property's definition.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/setup_info.h"
#include "platform/types.h"

// A property's type and flags word, from its [cfg_prop_map] line.
struct PropertyDefinition {
  int32_t type;    // field 1
  uint32_t flags;  // field 2
};

// Size of the buffer for an allowed list (field 3 of a text property).
constexpr uint32_t ALLOWED_LIST_CAPACITY = 300;

// Looks up the line of name (key case ignored): 0xF0000005 when there is no
// line, field 1 or 2 is not an integer, or the line is PROP_HIDDEN.
StatusCode schema_find(SetupInfo info, const char* name,
                       PropertyDefinition* definition);

// What a property's line admits: an allowed list (a text property whose
// field 3 can be read), a range (an integer property whose fields 3 and 4
// are integers), or anything.
enum ConstraintKind { CONSTRAINT_NONE, CONSTRAINT_LIST, CONSTRAINT_RANGE };

struct PropertyConstraint {
  ConstraintKind kind;
  char list[ALLOWED_LIST_CAPACITY];  // CONSTRAINT_LIST: the '|' entries
  int32_t minimum;                   // CONSTRAINT_RANGE
  int32_t maximum;
};

// Reads the constraint of property name of the given type. Always succeeds:
// a field that cannot be read leaves the property without a constraint.
void schema_read_constraint(SetupInfo info, const char* name, int32_t type,
                            PropertyConstraint* constraint);

// Tests value against the constraint: 0, or 0xF0000006 for an integer
// literal that is not whole, or 0xF0000007 for a value outside the list or
// range.
StatusCode constraint_check(const PropertyConstraint& constraint,
                            const char* value);

// Tests value against the allowed list or range of property name: 0, or
// 0xF0000006 for an integer literal that is not whole, or 0xF0000007 for a
// value outside the list or range. No constraint admits every value.
StatusCode schema_check_value(SetupInfo info, const char* name, int32_t type,
                              const char* value);

// True when value is one entry of the '|'-separated list, byte for byte.
bool allowed_list_contains(const char* list, const char* value);

// Maps a transport name to its class (field 1 of its [cfg_xpt_map] line).
// False when the name has no line or its field 1 does not fit.
bool xpt_map_forward(SetupInfo info, const char* transport, char* xpt_class,
                     uint32_t capacity);

// Maps a transport class back to the key of the first [cfg_xpt_map] line
// whose field 1 equals it (case of A-Z ignored). False when none does.
bool xpt_map_reverse(SetupInfo info, const char* xpt_class, char* transport,
                     uint32_t capacity);

// The transport names of [cfg_xpt_map] (the keys of the lines whose class
// can be read), in file order.
void xpt_map_names(SetupInfo info, std::vector<std::string>* names);
