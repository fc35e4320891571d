// JSON Schemas (draft 2020-12) of the two instances. A device's schema is
// made from the setup file, so that what it refuses, set refuses too.
#include "instance_schema.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "config/status_codes.h"
#include "device/device_layout.h"
#include "platform/text_encoding.h"
#include "property/property_map.h"

namespace {

constexpr const char* DIALECT = "https://json-schema.org/draft/2020-12/schema";

std::string utf8_of(const std::string& text) {
  std::string utf8;
  text_to_utf8(text, &utf8);
  return utf8;
}

JsonValue type_of(const char* type, bool or_null) {
  if (!or_null) return json_string(type);
  JsonValue types = json_array();
  json_push(&types, json_string(type));
  json_push(&types, json_string("null"));
  return types;
}

void add_unique(JsonValue* list, const std::string& text) {
  for (const JsonValue& item : list->items) {
    if (item.kind == JSON_STRING && item.text == text) return;
  }
  json_push(list, json_string(text));
}

// The entries of an allowed list, in its order.
void add_list_entries(const char* list, JsonValue* entries) {
  const char* entry = list;
  for (;;) {
    const char* bar = std::strchr(entry, '|');
    size_t length = bar != nullptr ? static_cast<size_t>(bar - entry)
                                   : std::strlen(entry);
    add_unique(entries, utf8_of(std::string(entry, length)));
    if (bar == nullptr) return;
    entry = bar + 1;
  }
}

// The transport names of [cfg_xpt_map] that the property's own constraint
// admits.
void add_transport_names(SetupInfo info, const SchemaProperty& property,
                         JsonValue* names) {
  std::vector<std::string> transports;
  xpt_map_names(info, &transports);
  for (const std::string& name : transports) {
    if (constraint_check(property.constraint, name.c_str()) == 0) {
      add_unique(names, utf8_of(name));
    }
  }
}

// The schema of a stored value, and of null (the driver's default) when
// or_null is set.
JsonValue value_schema(SetupInfo info, const SchemaProperty& property,
                       bool or_null) {
  JsonValue schema = json_object();
  const PropertyConstraint& constraint = property.constraint;
  if ((property.definition.flags & PROP_XPT_CLASS) != 0) {
    JsonValue names = json_array();
    add_transport_names(info, property, &names);
    if (or_null) json_push(&names, json_null());
    json_add(&schema, "enum", names);
  } else if (property.definition.type == TYPE_TEXT) {
    if (constraint.kind == CONSTRAINT_LIST) {
      JsonValue entries = json_array();
      add_list_entries(constraint.list, &entries);
      if (or_null) json_push(&entries, json_null());
      json_add(&schema, "enum", entries);
    } else {
      json_add(&schema, "type", type_of("string", or_null));
    }
  } else {
    bool range = constraint.kind == CONSTRAINT_RANGE;
    json_add(&schema, "type", type_of("integer", or_null));
    json_add(&schema, "minimum",
             json_integer(range ? constraint.minimum : INT32_MIN));
    json_add(&schema, "maximum",
             json_integer(range ? constraint.maximum : INT32_MAX));
  }
  return schema;
}

// {"auto": ...}: the automatic state.
JsonValue auto_schema() {
  JsonValue schema = json_object();
  json_add(&schema, "type", json_string("object"));
  JsonValue members = json_object();
  JsonValue any = json_object();
  json_add(&any, "description",
           json_string("true to ask for it; the value last computed when "
                       "read"));
  json_add(&members, "auto", any);
  json_add(&schema, "properties", members);
  JsonValue required = json_array();
  json_push(&required, json_string("auto"));
  json_add(&schema, "required", required);
  json_add(&schema, "additionalProperties", json_bool(false));
  return schema;
}

// A property's schema: its value, the driver's default (null), and the
// automatic state when it is automatic. Every state get reports passes;
// set refuses null only where it would have to reset a value that the
// constraint does not let go.
JsonValue property_schema(SetupInfo info, const SchemaProperty& property) {
  bool transport =
      (property.definition.flags & (PROP_XPT_CLASS | PROP_SETS_XPT)) != 0;
  JsonValue value = value_schema(info, property, true);
  if (!property.automatic || transport ||
      constraint_check(property.constraint, "") != 0) {
    return value;
  }
  JsonValue any_of = json_array();
  json_push(&any_of, value);
  json_push(&any_of, auto_schema());
  JsonValue schema = json_object();
  json_add(&schema, "anyOf", any_of);
  return schema;
}

JsonValue string_list(std::initializer_list<const char*> texts) {
  JsonValue list = json_array();
  for (const char* text : texts) json_push(&list, json_string(text));
  return list;
}

// The members every instance has: its name, _exist and _inDesiredState,
// and DSC's other "_" members, which are let through.
JsonValue instance_skeleton(const char* title, const char* description,
                            JsonValue* members, int64_t min_name,
                            int64_t max_name) {
  JsonValue schema = json_object();
  json_add(&schema, "$schema", json_string(DIALECT));
  json_add(&schema, "title", json_string(title));
  json_add(&schema, "description", json_string(description));
  json_add(&schema, "type", json_string("object"));
  json_add(&schema, "required", string_list({"name"}));
  JsonValue name = json_object();
  json_add(&name, "type", json_string("string"));
  json_add(&name, "minLength", json_integer(min_name));
  json_add(&name, "maxLength", json_integer(max_name));
  json_add(members, "name", name);
  JsonValue exist = json_object();
  json_add(&exist, "type", json_string("boolean"));
  json_add(&exist, "default", json_bool(true));
  json_add(members, "_exist", exist);
  JsonValue in_state = json_object();
  json_add(&in_state, "type", json_string("boolean"));
  json_add(&in_state, "readOnly", json_bool(true));
  json_add(members, "_inDesiredState", in_state);
  return schema;
}

void close_skeleton(JsonValue* schema, JsonValue members) {
  json_add(schema, "properties", members);
  JsonValue dsc = json_object();
  json_add(&dsc, "^_", json_object());
  json_add(schema, "patternProperties", dsc);
  json_add(schema, "additionalProperties", json_bool(false));
}

}  // namespace

JsonValue device_schema(SetupInfo info, const Schema& schema) {
  JsonValue members = json_object();
  JsonValue result = instance_skeleton(
      "Zeb.Serial/Device",
      "A device of the Zeb port driver and the properties it stores, "
      "from the setup file's [cfg_prop_map] and [cfg_xpt_map]",
      &members, 0, DEVICE_NAME_MAX_LENGTH);
  JsonValue properties = json_object();
  for (const SchemaProperty& property : schema) {
    json_add(&properties, utf8_of(property.name).c_str(),
             property_schema(info, property));
  }
  JsonValue bag = json_object();
  json_add(&bag, "type", json_string("object"));
  json_add(&bag, "properties", properties);
  json_add(&bag, "additionalProperties", json_bool(false));
  json_add(&members, "properties", bag);
  close_skeleton(&result, members);
  return result;
}

JsonValue map_entry_schema() {
  JsonValue members = json_object();
  JsonValue result = instance_skeleton(
      "Zeb.Serial/PropertyMapEntry",
      "A named 32-bit integer of the driver's property map", &members, 1,
      MAP_NAME_CAPACITY - 1);
  JsonValue value = json_object();
  json_add(&value, "type", json_string("integer"));
  json_add(&value, "minimum", json_integer(INT32_MIN));
  json_add(&value, "maximum", json_integer(INT32_MAX));
  JsonValue minus_one = json_object();
  json_add(&minus_one, "const", json_integer(-1));
  json_add(&value, "not", minus_one);
  json_add(&members, "value", value);
  close_skeleton(&result, members);
  return result;
}
