// Devices: reading their state, planning and carrying out a change.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "config/status_codes.h"
#include "device/device.h"
#include "device/device_layout.h"
#include "device/device_value.h"
#include "platform/fold.h"
#include "platform/inf.h"
#include "state.h"

namespace {

// Value buffers tried in turn for a stored text: zebcfg's p shows at most
// 255 characters, a desired state may hold longer ones.
constexpr uint32_t kValueSizes[] = {PROPERTY_VALUE_CAPACITY, 4096, 65536,
                                    1u << 20};

bool is_text(const SchemaProperty& property) {
  return property.definition.type == TYPE_TEXT ||
         (property.definition.flags & PROP_XPT_CLASS) != 0;
}

bool sets_transport(const SchemaProperty& property) {
  return (property.definition.flags & (PROP_XPT_CLASS | PROP_SETS_XPT)) != 0;
}

// Reads one property through the device's key into *state.
StatusCode read_property(SetupInfo info, RegKey key,
                         const SchemaProperty& property, PropertyState* state) {
  state->schema = &property;
  char name[PROPERTY_NAME_CAPACITY];
  std::snprintf(name, sizeof(name), "%s", property.name.c_str());
  StatusCode status = 0;
  PropertyRequest request = {};
  std::string buffer;
  for (uint32_t size : kValueSizes) {
    buffer.assign(size, '\0');
    request = PropertyRequest{};
    request.key = key;
    request.name = name;
    request.value = &buffer[0];
    request.value_size = size;
    status = prop_get(info, &request);
    if (status != W32_ERROR_MORE_DATA) break;
  }
  bool transport = (property.definition.flags & PROP_XPT_CLASS) != 0;
  if (transport && status == STATUS_UNKNOWN_PROP) {
    state->kind = PROPERTY_DEFAULT;  // no transport class stored
    return 0;
  }
  if (status != 0) return status;
  state->kind = request.state == STATE_VALUE  ? PROPERTY_VALUE
                : request.state == STATE_AUTO ? PROPERTY_AUTO
                                              : PROPERTY_DEFAULT;
  if (state->kind == PROPERTY_DEFAULT) return 0;
  if (is_text(property)) {
    state->text = buffer.c_str();
  } else if (property.definition.type == TYPE_INTEGER) {
    std::sscanf(buffer.c_str(), "%d", &state->number);
  } else {
    // Another non-zero type is stored as an integer; its query hands back
    // the raw bytes.
    uint32_t number = 0;
    read_dword_value(key, name, &number);
    state->number = static_cast<int32_t>(number);
  }
  return 0;
}

// What the commit reads: mask, baud rate and transport class.
StatusCode read_commit_inputs(SetupInfo info, RegKey key, DeviceState* actual) {
  StatusCode status = read_dword_or(key, VALUE_AUTOCFG_MASK, 0, &actual->mask);
  if (status != 0) return status;
  status =
      read_dword_or(key, VALUE_BAUD_RATE, DEFAULT_BAUD_RATE, &actual->baud);
  if (status != 0) return status;
  char value_name[VALUE_NAME_CAPACITY];
  status = xpt_class_value_name(info, value_name, sizeof(value_name));
  if (status != 0) return status;
  char xpt_class[XPT_CLASS_CAPACITY + 1];
  actual->has_transport =
      read_text_value(key, value_name, xpt_class, XPT_CLASS_CAPACITY) == 0;
  if (actual->has_transport) actual->stored_class = xpt_class;
  return 0;
}

// A device that creation has just made: nothing stored, every bit set.
void fresh_device(const std::string& name, DeviceState* device) {
  *device = DeviceState{};
  device->name = name;
  device->mask = AUTOCFG_MASK_ALL;
  device->baud = DEFAULT_BAUD_RATE;
}

const PropertyState* find_state(const DeviceState& device,
                                const SchemaProperty* schema) {
  for (const PropertyState& state : device.properties) {
    if (state.schema == schema) return &state;
  }
  return nullptr;
}

// True when the stored transport class is the one the transport name maps
// to: two names of one class are the same state.
bool same_transport(SetupInfo info, const std::string& transport,
                    const DeviceState& actual) {
  char xpt_class[XPT_CLASS_CAPACITY];
  if (!actual.has_transport ||
      !xpt_map_forward(info, transport.c_str(), xpt_class, sizeof(xpt_class))) {
    return false;
  }
  return equal_folded(xpt_class, actual.stored_class.c_str());
}

// True when the actual property is as desired. The default of an automatic
// property is its automatic value: resetting one makes it automatic again.
bool in_state(SetupInfo info, const PropertyState& desired,
              const PropertyState* actual, const DeviceState& device) {
  PropertyKind kind = actual != nullptr ? actual->kind : PROPERTY_DEFAULT;
  switch (desired.kind) {
    case PROPERTY_DEFAULT:
      return kind == PROPERTY_DEFAULT ||
             (desired.schema->automatic && kind == PROPERTY_AUTO);
    case PROPERTY_AUTO:
      return kind == PROPERTY_AUTO;
    case PROPERTY_VALUE:
      if (kind != PROPERTY_VALUE) return false;
      if ((desired.schema->definition.flags & PROP_XPT_CLASS) != 0) {
        return same_transport(info, desired.text, device);
      }
      return is_text(*desired.schema) ? desired.text == actual->text
                                      : desired.number == actual->number;
  }
  return false;
}

// The prop_set request of a desired property.
PlannedAction action_for(const PropertyState& desired) {
  PlannedAction action = {desired.schema, ACTION_SET, ""};
  if (desired.kind == PROPERTY_DEFAULT) {
    action.action = ACTION_RESET;
  } else if (desired.kind == PROPERTY_AUTO) {
    action.action = ACTION_AUTO;
  } else if (is_text(*desired.schema)) {
    action.value = desired.text;
  } else {
    action.value = std::to_string(desired.number);
  }
  return action;
}

// True when name is a transport name of [cfg_xpt_map] as its line spells
// it: JSON names are exact, as the schema's enum of them is.
bool exact_transport(SetupInfo info, const std::string& name) {
  std::vector<std::string> names;
  xpt_map_names(info, &names);
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Checks one action as prop_set would take it, and a transport name as the
// schema does.
StatusCode check_action(SetupInfo info, const PlannedAction& action) {
  if (action.action == ACTION_SET &&
      (action.schema->definition.flags & PROP_XPT_CLASS) != 0 &&
      !exact_transport(info, action.value)) {
    return STATUS_INVALID_PARAM;
  }
  char name[PROPERTY_NAME_CAPACITY];
  std::snprintf(name, sizeof(name), "%s", action.schema->name.c_str());
  PropertyRequest request = {};
  request.name = name;
  request.action = action.action;
  request.value = const_cast<char*>(action.value.c_str());
  return prop_check(info, &request);
}

// True when the plan's actions store a transport class.
bool plan_stores_transport(SetupInfo info, const DevicePlan& plan) {
  for (const PlannedAction& action : plan.actions) {
    char xpt_class[XPT_CLASS_CAPACITY];
    if (action.action == ACTION_SET && sets_transport(*action.schema) &&
        xpt_map_forward(info, action.value.c_str(), xpt_class,
                        sizeof(xpt_class))) {
      return true;
    }
  }
  return false;
}

// The transport class a set stores, and the transport name a query then
// shows for it.
void predict_transport(SetupInfo info, const PlannedAction& action,
                       DeviceState* predicted) {
  char xpt_class[XPT_CLASS_CAPACITY];
  if (!xpt_map_forward(info, action.value.c_str(), xpt_class,
                       sizeof(xpt_class))) {
    return;
  }
  predicted->has_transport = true;
  predicted->stored_class = xpt_class;
  char transport[XPT_CLASS_CAPACITY];
  if (!xpt_map_reverse(info, xpt_class, transport, sizeof(transport))) return;
  for (PropertyState& state : predicted->properties) {
    if ((state.schema->definition.flags & PROP_XPT_CLASS) != 0) {
      state.kind = PROPERTY_VALUE;
      state.text = transport;
    }
  }
}

// What the commit and a query then make of the predicted values: a stored
// automatic property whose bit is set reads as automatic, and with a
// transport class the commit computes every such property.
void predict_commit(DeviceState* predicted) {
  uint32_t baud = predicted->baud != 0 ? predicted->baud : DEFAULT_BAUD_RATE;
  for (PropertyState& state : predicted->properties) {
    const SchemaProperty& property = *state.schema;
    if (!property.automatic) continue;
    bool bit_set = (predicted->mask & property.bit) != 0;
    if (bit_set && predicted->has_transport) {
      state.kind = PROPERTY_AUTO;
      state.number = static_cast<int32_t>(
          auto_value(auto_index(property.definition.flags), baud));
    } else if (state.kind != PROPERTY_DEFAULT) {
      state.kind = bit_set ? PROPERTY_AUTO : PROPERTY_VALUE;
    }
  }
}

// The state of the open device key into *actual (its name set already).
StatusCode read_open_device(SetupInfo info, RegKey key, const Schema& schema,
                            DeviceState* actual, std::string* failed) {
  actual->exists = true;
  actual->properties.clear();
  StatusCode status = read_commit_inputs(info, key, actual);
  for (size_t i = 0; status == 0 && i < schema.size(); ++i) {
    PropertyState state = {};
    status = read_property(info, key, schema[i], &state);
    if (status != 0) *failed = schema[i].name;
    actual->properties.push_back(state);
  }
  return status;
}

}  // namespace

void read_schema(SetupInfo info, Schema* schema) {
  schema->clear();
  for (uint32_t index = 0;; ++index) {
    InfLine line;
    if (inf_get_line_by_index(info, SECTION_PROP_MAP, index, &line) != 0) {
      break;
    }
    char key[PROPERTY_NAME_CAPACITY];
    SchemaProperty property = {};
    if (inf_get_string_field(&line, 0, key, sizeof(key), nullptr) != 0 ||
        find_schema_property(*schema, key) != nullptr ||
        schema_find(info, key, &property.definition) != 0) {
      continue;
    }
    property.name = key;
    schema_read_constraint(info, key, property.definition.type,
                           &property.constraint);
    property.automatic =
        auto_mask_bit(property.definition.flags, &property.bit);
    schema->push_back(property);
  }
}

const SchemaProperty* find_schema_property(const Schema& schema,
                                           const char* name) {
  for (const SchemaProperty& property : schema) {
    if (equal_folded(property.name.c_str(), name)) return &property;
  }
  return nullptr;
}

StatusCode read_device(const CommandContext* context, const DeviceIndex& index,
                       const Schema& schema, const std::string& name,
                       DeviceState* actual, std::string* failed) {
  fresh_device(name, actual);
  DeviceRecord device = {};
  device.name = const_cast<char*>(name.c_str());
  device.access = ACCESS_READ_ONLY;
  // Only a search that read the whole root and found no such name says the
  // device does not exist; any other failure of it is reported.
  StatusCode status = dev_open_indexed(context, index, &device);
  if (status == W32_ERROR_FILE_NOT_FOUND) return 0;
  if (status != 0) return status;
  status = read_open_device(context->setup, device.key, schema, actual, failed);
  dev_close(&device);
  return status;
}

StatusCode plan_device(SetupInfo info, const DeviceState& desired,
                       const DeviceState& actual, DevicePlan* plan,
                       std::string* failed) {
  *plan = DevicePlan{};
  if (!desired.exists) {
    plan->remove = actual.exists;
    return 0;
  }
  DeviceState fresh;
  fresh_device(desired.name, &fresh);
  plan->create = !actual.exists;
  const DeviceState& before = actual.exists ? actual : fresh;
  for (const PropertyState& wanted : desired.properties) {
    // A value is checked even where it is stored already; the driver's
    // default only where a reset must make it, so that every state get
    // reports can be given back to set.
    bool same =
        in_state(info, wanted, find_state(before, wanted.schema), before);
    if (same && wanted.kind == PROPERTY_DEFAULT) continue;
    PlannedAction action = action_for(wanted);
    StatusCode status = check_action(info, action);
    if (status != 0) {
      *failed = wanted.schema->name;
      return status;
    }
    if (!same) plan->actions.push_back(action);
  }
  return 0;
}

StatusCode check_creation(SetupInfo info, const DevicePlan& plan) {
  return plan.create && !plan_stores_transport(info, plan) ? STATUS_NO_XPT : 0;
}

bool plan_is_empty(const DevicePlan& plan) {
  return !plan.create && !plan.remove && plan.actions.empty();
}

std::vector<std::string> plan_changes(const DevicePlan& plan) {
  std::vector<std::string> names;
  if (plan.create || plan.remove) names.push_back("_exist");
  for (const PlannedAction& action : plan.actions) {
    names.push_back(action.schema->name);
  }
  return names;
}

StatusCode apply_device(CommandContext* context, DeviceIndex* index,
                        const Schema& schema, const std::string& name,
                        const DevicePlan& plan, DeviceState* after,
                        std::string* failed) {
  fresh_device(name, after);
  DeviceRecord device = {};
  device.name = const_cast<char*>(name.c_str());
  if (plan.remove) return dev_remove_indexed(context, index, &device);
  StatusCode status = plan.create ? dev_create_indexed(context, index, &device)
                                  : dev_open_indexed(context, *index, &device);
  if (status != 0) return status;
  StatusCode pairs = 0;
  for (const PlannedAction& action : plan.actions) {
    char property[PROPERTY_NAME_CAPACITY];
    std::snprintf(property, sizeof(property), "%s",
                  action.schema->name.c_str());
    PropertyRequest request = {};
    request.key = device.key;
    request.name = property;
    request.action = action.action;
    request.value = const_cast<char*>(action.value.c_str());
    pairs = prop_set(context->setup, &request);
    if (pairs != 0) {
      *failed = action.schema->name;
      break;
    }
  }
  status = dev_commit(context, &device);
  if (pairs == 0 && status == 0) {
    status =
        read_open_device(context->setup, device.key, schema, after, failed);
  }
  dev_close(&device);
  return pairs != 0 ? pairs : status;
}

void predict_device(SetupInfo info, const Schema& schema,
                    const DeviceState& actual, const DevicePlan& plan,
                    DeviceState* predicted) {
  if (plan.remove) {
    *predicted = DeviceState{};
    predicted->name = actual.name;
    return;
  }
  if (plan.create) {
    fresh_device(actual.name, predicted);
    predicted->exists = true;
    for (const SchemaProperty& property : schema) {
      predicted->properties.push_back({&property, PROPERTY_DEFAULT, "", 0});
    }
  } else {
    *predicted = actual;
  }
  for (const PlannedAction& action : plan.actions) {
    PropertyState* state = nullptr;
    for (PropertyState& candidate : predicted->properties) {
      if (candidate.schema == action.schema) state = &candidate;
    }
    if (state == nullptr) continue;
    const SchemaProperty& property = *action.schema;
    if (action.action == ACTION_SET) {
      state->kind = PROPERTY_VALUE;
      state->text = action.value;
      std::sscanf(action.value.c_str(), "%d", &state->number);
      if (property.automatic) predicted->mask &= ~property.bit;
      if (equal_folded(property.name.c_str(), VALUE_BAUD_RATE)) {
        predicted->baud = static_cast<uint32_t>(state->number);
      }
      if (sets_transport(property)) predict_transport(info, action, predicted);
    } else {
      if (action.action == ACTION_RESET) {
        state->kind = PROPERTY_DEFAULT;
        if (equal_folded(property.name.c_str(), VALUE_BAUD_RATE)) {
          predicted->baud = DEFAULT_BAUD_RATE;
        }
      }
      if (property.automatic) predicted->mask |= property.bit;
    }
  }
  predict_commit(predicted);
}
