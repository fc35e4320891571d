// Instances between JSON and their records, and the errors' JSON lines.
#include "instance_json.h"

#include <cstdint>

#include "cli/status.h"
#include "config/status_codes.h"
#include "device/device_layout.h"
#include "platform/text_encoding.h"
#include "property/property_map.h"

namespace {

constexpr const char* UNREPRESENTABLE =
    "the text holds a character that the system code page cannot store";

std::string utf8_of(const std::string& text) {
  std::string utf8;
  text_to_utf8(text, &utf8);
  return utf8;
}

// The exit code of a status's class.
int exit_code_of(StatusCode status) {
  switch (status) {
    case STATUS_INF_NOT_FOUND:
    case STATUS_INF_CORRUPT:
      return EXIT_SETUP;
    case STATUS_UNKNOWN_PROP:
    case STATUS_INVALID_PARAM:
    case STATUS_RANGE:
    case STATUS_SYNTAX:
    case STATUS_NO_XPT:
      return EXIT_REFUSED;
    default:
      return EXIT_REGISTRY;
  }
}

bool shape_error(StateError* error, const std::string& what,
                 const std::string& instance = "") {
  *error = input_error(EXIT_NOT_INSTANCE, what);
  error->instance = instance;
  return false;
}

// A member no instance has: a name of DSC's own ("_" first) passes.
bool check_members(const JsonValue& json,
                   std::initializer_list<const char*> known,
                   StateError* error) {
  for (const auto& member : json.members) {
    bool found = member.first.empty() == false && member.first[0] == '_';
    for (const char* name : known) found = found || member.first == name;
    if (!found) return shape_error(error, "unknown member: " + member.first);
  }
  return true;
}

// The instance's "name" in the system code page.
bool read_name(const JsonValue& json, std::string* name, StateError* error) {
  const JsonValue* value = json_member(json, "name");
  if (value == nullptr || value->kind != JSON_STRING) {
    return shape_error(error, "the instance names nothing: \"name\" must be a "
                              "text");
  }
  if (text_from_utf8(value->text, name) != 0) {
    *error = input_error(EXIT_REFUSED, UNREPRESENTABLE);
    error->instance = value->text;
    return false;
  }
  return true;
}

// "_exist", true when absent.
bool read_exist(const JsonValue& json, bool* exist, StateError* error) {
  const JsonValue* value = json_member(json, "_exist");
  *exist = true;
  if (value == nullptr) return true;
  if (value->kind != JSON_BOOL) return shape_error(error, "\"_exist\" must be "
                                                          "true or false");
  *exist = value->boolean;
  return true;
}

// What every instance has: an object of the known members, its name and
// "_exist".
bool read_instance(const JsonValue& json,
                   std::initializer_list<const char*> known, std::string* name,
                   bool* exist, StateError* error) {
  if (json.kind != JSON_OBJECT) {
    return shape_error(error, "an instance must be a JSON object");
  }
  return check_members(json, known, error) && read_name(json, name, error) &&
         read_exist(json, exist, error);
}

// The state a JSON value asks of property: 0, or the status zebcfg gives
// such a value (0xF0000006 for one of the wrong kind, 0xF0000007 for a
// number beyond 32 bits), or 1113 for text the code page cannot hold.
StatusCode property_from_json(const SchemaProperty& property,
                              const JsonValue& value, PropertyState* state) {
  *state = PropertyState{&property, PROPERTY_VALUE, "", 0};
  bool text = property.definition.type == TYPE_TEXT ||
              (property.definition.flags & PROP_XPT_CLASS) != 0;
  switch (value.kind) {
    case JSON_NULL:
      state->kind = PROPERTY_DEFAULT;
      return 0;
    case JSON_OBJECT:
      if (value.members.size() != 1 || json_member(value, "auto") == nullptr) {
        return STATUS_INVALID_PARAM;
      }
      state->kind = PROPERTY_AUTO;
      return 0;
    case JSON_STRING:
      if (!text) return STATUS_INVALID_PARAM;
      return text_from_utf8(value.text, &state->text);
    case JSON_NUMBER:
      if (text || !value.integral) return STATUS_INVALID_PARAM;
      if (value.integer < INT32_MIN || value.integer > INT32_MAX) {
        return STATUS_RANGE;
      }
      state->number = static_cast<int32_t>(value.integer);
      return 0;
    default:
      return STATUS_INVALID_PARAM;
  }
}

bool read_properties(const JsonValue& json, SetupInfo setup,
                     const Schema& schema, DeviceState* desired,
                     StateError* error) {
  const JsonValue* properties = json_member(json, "properties");
  if (properties == nullptr) return true;
  if (properties->kind != JSON_OBJECT) {
    return shape_error(error, "\"properties\" must be an object");
  }
  for (const auto& member : properties->members) {
    std::string name;
    StatusCode status = text_from_utf8(member.first, &name);
    // JSON names are exact: a property is spelled as its line spells it.
    const SchemaProperty* property = nullptr;
    for (size_t i = 0; status == 0 && i < schema.size(); ++i) {
      if (schema[i].name == name) property = &schema[i];
    }
    PropertyState state = {};
    if (property == nullptr) {
      status = STATUS_UNKNOWN_PROP;
    } else {
      for (const PropertyState& earlier : desired->properties) {
        if (earlier.schema == property) {
          return shape_error(error, "property given twice: " + member.first,
                             utf8_of(desired->name));
        }
      }
      status = property_from_json(*property, member.second, &state);
    }
    if (status != 0) {
      *error = status == W32_ERROR_NO_UNICODE_TRANSLATION
                   ? input_error(EXIT_REFUSED, UNREPRESENTABLE)
                   : status_error(setup, status, desired->name);
      error->instance = utf8_of(desired->name);
      error->property = member.first;
      return false;
    }
    desired->properties.push_back(state);
  }
  return true;
}

bool read_array(const JsonValue& document, const char* name,
                const JsonValue** array, StateError* error) {
  *array = json_member(document, name);
  if (*array == nullptr || (*array)->kind == JSON_ARRAY) return true;
  return shape_error(error, std::string("\"") + name + "\" must be an array");
}

}  // namespace

StateError status_error(SetupInfo setup, StatusCode status,
                        const std::string& instance,
                        const std::string& property) {
  char text[STATUS_TEXT_CAPACITY] = {0};
  get_status_text(setup, status, text, sizeof(text));
  return StateError{exit_code_of(status), utf8_of(text), utf8_of(instance),
                    utf8_of(property)};
}

StateError input_error(int exit_code, const std::string& message) {
  return StateError{exit_code, message, "", ""};
}

std::string error_line(const StateError& error) {
  JsonValue line = json_object();
  json_add(&line, "error", json_string(error.message));
  if (!error.instance.empty()) {
    json_add(&line, "instance", json_string(error.instance));
  }
  if (!error.property.empty()) {
    json_add(&line, "property", json_string(error.property));
  }
  return json_write(line);
}

bool device_from_json(const JsonValue& json, SetupInfo setup,
                      const Schema& schema, DeviceReading reading,
                      DeviceState* desired, StateError* error) {
  *desired = DeviceState{};
  if (!read_instance(json, {"name", "properties"}, &desired->name,
                     &desired->exists, error)) {
    return false;
  }
  if (reading == READ_NAME || !desired->exists) return true;
  // Creation refuses a name that does not fit a name value.
  if (desired->name.size() > DEVICE_NAME_MAX_LENGTH) {
    *error = status_error(setup, STATUS_INVALID_PARAM, desired->name);
    return false;
  }
  return read_properties(json, setup, schema, desired, error);
}

bool map_entry_from_json(const JsonValue& json, SetupInfo setup,
                         DeviceReading reading, MapEntryState* desired,
                         StateError* error) {
  *desired = MapEntryState{"", true, 0, true};
  if (!read_instance(json, {"name", "value"}, &desired->name,
                     &desired->exists, error)) {
    return false;
  }
  // ms refuses an empty name (it would be the key's unnamed value) and one
  // of 256 characters or more.
  if (desired->name.empty() || desired->name.size() >= MAP_NAME_CAPACITY) {
    *error = status_error(setup, STATUS_SYNTAX, desired->name);
    return false;
  }
  if (reading == READ_NAME || !desired->exists) return true;
  const JsonValue* value = json_member(json, "value");
  if (value == nullptr) {
    return shape_error(error, "\"value\" is missing", utf8_of(desired->name));
  }
  StatusCode status = 0;
  if (value->kind != JSON_NUMBER || !value->integral) {
    status = STATUS_INVALID_PARAM;
  } else if (value->integer < INT32_MIN || value->integer > INT32_MAX ||
             value->integer == -1) {
    status = STATUS_RANGE;  // -1 is the mark that deletes an entry
  }
  if (status != 0) {
    *error = status_error(setup, status, desired->name);
    error->property = "value";
    return false;
  }
  desired->value = static_cast<int32_t>(value->integer);
  return true;
}

bool document_from_json(const JsonValue& json, SetupInfo setup,
                        const Schema& schema, DeviceReading reading,
                        std::vector<DeviceState>* devices,
                        std::vector<MapEntryState>* entries,
                        StateError* error) {
  if (json.kind != JSON_OBJECT) {
    return shape_error(error, "a document must be a JSON object");
  }
  const JsonValue* device_list = nullptr;
  const JsonValue* map_list = nullptr;
  if (!check_members(json, {"devices", "propertyMap"}, error) ||
      !read_array(json, "devices", &device_list, error) ||
      !read_array(json, "propertyMap", &map_list, error)) {
    return false;
  }
  for (size_t i = 0; device_list != nullptr && i < device_list->items.size();
       ++i) {
    DeviceState device;
    if (!device_from_json(device_list->items[i], setup, schema, reading,
                          &device, error)) {
      return false;
    }
    devices->push_back(device);
  }
  for (size_t i = 0; map_list != nullptr && i < map_list->items.size(); ++i) {
    MapEntryState entry;
    if (!map_entry_from_json(map_list->items[i], setup, reading, &entry,
                             error)) {
      return false;
    }
    entries->push_back(entry);
  }
  return true;
}

JsonValue device_to_json(const DeviceState& device) {
  JsonValue json = json_object();
  json_add(&json, "name", json_string(utf8_of(device.name)));
  json_add(&json, "_exist", json_bool(device.exists));
  if (!device.exists) return json;
  JsonValue properties = json_object();
  for (const PropertyState& state : device.properties) {
    const SchemaProperty& property = *state.schema;
    bool text = property.definition.type == TYPE_TEXT ||
                (property.definition.flags & PROP_XPT_CLASS) != 0;
    JsonValue value = text ? json_string(utf8_of(state.text))
                           : json_integer(state.number);
    if (state.kind == PROPERTY_DEFAULT) {
      value = json_null();
    } else if (state.kind == PROPERTY_AUTO) {
      JsonValue automatic = json_object();
      json_add(&automatic, "auto", value);
      value = automatic;
    }
    json_add(&properties, utf8_of(property.name).c_str(), value);
  }
  json_add(&json, "properties", properties);
  return json;
}

JsonValue map_entry_to_json(const MapEntryState& entry) {
  JsonValue json = json_object();
  json_add(&json, "name", json_string(utf8_of(entry.name)));
  if (entry.exists) json_add(&json, "value", json_integer(entry.value));
  json_add(&json, "_exist", json_bool(entry.exists));
  return json;
}

JsonValue names_to_json(const std::vector<std::string>& names) {
  JsonValue array = json_array();
  for (const std::string& name : names) {
    json_push(&array, json_string(utf8_of(name)));
  }
  return array;
}
