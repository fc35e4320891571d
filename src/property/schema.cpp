#include "property/schema.h"

#include <cstring>

#include "config/integer_literal.h"
#include "config/status_codes.h"
#include "device/device_layout.h"
#include "platform/inf.h"
#include "property/property.h"

namespace {

// Reads field 3 of the line of name as an allowed list; false when the line
// or the field cannot be read (the property then has no constraint).
bool read_allowed_list(SetupInfo info, const char* name, char* list,
                       uint32_t capacity) {
  InfLine line;
  if (inf_find_first_line(info, SECTION_PROP_MAP, name, &line) != 0) {
    return false;
  }
  return inf_get_string_field(&line, 3, list, capacity, nullptr) == 0;
}

// Reads fields 3 and 4 of the line of name; false unless both are integers.
bool read_range(SetupInfo info, const char* name, int32_t* minimum,
                int32_t* maximum) {
  return get_setup_int(info, SECTION_PROP_MAP, name, 3, minimum) == 0 &&
         get_setup_int(info, SECTION_PROP_MAP, name, 4, maximum) == 0;
}

}  // namespace

StatusCode schema_find(SetupInfo info, const char* name,
                       PropertyDefinition* definition) {
  int32_t type = 0;
  int32_t flags = 0;
  if (get_setup_int(info, SECTION_PROP_MAP, name, 1, &type) != 0 ||
      get_setup_int(info, SECTION_PROP_MAP, name, 2, &flags) != 0) {
    return STATUS_UNKNOWN_PROP;
  }
  uint32_t flag_bits = static_cast<uint32_t>(flags);
  if ((flag_bits & PROP_HIDDEN) != 0) return STATUS_UNKNOWN_PROP;
  definition->type = type;
  definition->flags = flag_bits;
  return 0;
}

bool allowed_list_contains(const char* list, const char* value) {
  size_t value_length = std::strlen(value);
  const char* entry = list;
  for (;;) {
    const char* bar = std::strchr(entry, '|');
    size_t entry_length =
        bar != nullptr ? static_cast<size_t>(bar - entry) : std::strlen(entry);
    if (entry_length == value_length &&
        std::memcmp(entry, value, value_length) == 0) {
      return true;
    }
    if (bar == nullptr) return false;
    entry = bar + 1;
  }
}

void schema_read_constraint(SetupInfo info, const char* name, int32_t type,
                            PropertyConstraint* constraint) {
  *constraint = PropertyConstraint{};
  if (type == TYPE_TEXT) {
    if (read_allowed_list(info, name, constraint->list,
                          sizeof(constraint->list))) {
      constraint->kind = CONSTRAINT_LIST;
    }
  } else if (read_range(info, name, &constraint->minimum,
                        &constraint->maximum)) {
    constraint->kind = CONSTRAINT_RANGE;
  }
}

StatusCode constraint_check(const PropertyConstraint& constraint,
                            const char* value) {
  switch (constraint.kind) {
    case CONSTRAINT_LIST:
      return allowed_list_contains(constraint.list, value) ? 0 : STATUS_RANGE;
    case CONSTRAINT_RANGE: {
      int32_t number = 0;
      if (!parse_integer_literal(value, &number)) return STATUS_INVALID_PARAM;
      return (number >= constraint.minimum && number <= constraint.maximum)
                 ? 0
                 : STATUS_RANGE;
    }
    default:
      return 0;
  }
}

StatusCode schema_check_value(SetupInfo info, const char* name, int32_t type,
                              const char* value) {
  PropertyConstraint constraint;
  schema_read_constraint(info, name, type, &constraint);
  return constraint_check(constraint, value);
}

bool xpt_map_forward(SetupInfo info, const char* transport, char* xpt_class,
                     uint32_t capacity) {
  return get_setup_string(info, SECTION_XPT_MAP, transport, xpt_class,
                          capacity) == 0;
}

bool xpt_map_reverse(SetupInfo info, const char* xpt_class, char* transport,
                     uint32_t capacity) {
  return find_setup_key(info, SECTION_XPT_MAP, xpt_class, transport,
                        capacity) == 0;
}

void xpt_map_names(SetupInfo info, std::vector<std::string>* names) {
  names->clear();
  for (uint32_t index = 0;; ++index) {
    InfLine line;
    if (inf_get_line_by_index(info, SECTION_XPT_MAP, index, &line) != 0) return;
    char key[XPT_CLASS_CAPACITY];
    char xpt_class[XPT_CLASS_CAPACITY];
    if (inf_get_string_field(&line, 0, key, sizeof(key), nullptr) == 0 &&
        inf_get_string_field(&line, 1, xpt_class, sizeof(xpt_class),
                             nullptr) == 0) {
      names->push_back(key);
    }
  }
}
