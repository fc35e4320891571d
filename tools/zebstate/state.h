// Desired and actual states of devices and property-map entries, the plan
// that turns one into the other, and its application through the device
// and property layers that zebcfg's commands use. Text in these records is
// in the system code page; JSON's UTF-8 is converted at its edge
// (instance_json.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/command_context.h"
#include "device/device.h"
#include "property/property.h"
#include "property/schema.h"

// A property's state: nothing stored (the driver's default applies), a
// stored value, or automatic (a value the commit computed and will compute
// again).
enum PropertyKind { PROPERTY_DEFAULT, PROPERTY_VALUE, PROPERTY_AUTO };

// A usable [cfg_prop_map] line: not hidden, with a type and a flags word.
struct SchemaProperty {
  std::string name;  // the line's key, as the file spells it
  PropertyDefinition definition;
  PropertyConstraint constraint;
  bool automatic;  // PROP_AUTO with a bit in the mask
  uint32_t bit;    // that bit
};

typedef std::vector<SchemaProperty> Schema;

struct PropertyState {
  const SchemaProperty* schema;  // the property's line
  PropertyKind kind;
  std::string text;  // text and transport properties: the value
  int32_t number;    // integer properties: the value
};

// A device. Desired: the properties an input names, in its order; actual:
// every property of the schema, in its order.
struct DeviceState {
  std::string name;
  bool exists;
  std::vector<PropertyState> properties;
  // What the commit will read (actual states only).
  uint32_t mask;             // "autocfg_mask"
  uint32_t baud;             // "Port.BaudRate", 9600 when not readable
  bool has_transport;        // a transport class is stored
  std::string stored_class;  // that class
};

// One entry of the property map.
struct MapEntryState {
  std::string name;
  bool exists;
  int32_t value;
  bool exact;  // stored as the REG_DWORD of four bytes that ms writes
};

// What set does to one device, in the order it does it.
struct PlannedAction {
  const SchemaProperty* schema;
  int32_t action;     // ACTION_SET, ACTION_RESET or ACTION_AUTO
  std::string value;  // the value text prop_set takes
};

struct DevicePlan {
  bool create;
  bool remove;
  std::vector<PlannedAction> actions;
};

// The usable lines of [cfg_prop_map], in file order: those whose key and
// definition can be read and that are not hidden.
void read_schema(SetupInfo info, Schema* schema);

// The line called name (case of A-Z ignored), or null.
const SchemaProperty* find_schema_property(const Schema& schema,
                                           const char* name);

// The state of the device called name below the context's open root, found
// in index; a device that does not exist reads with exists false. A
// property that cannot be read gives its status, its name in *failed.
StatusCode read_device(const CommandContext* context, const DeviceIndex& index,
                       const Schema& schema, const std::string& name,
                       DeviceState* actual, std::string* failed);

// The plan that makes actual into desired, checked against the schema
// before anything is written: every named property as prop_set would take
// it (its status otherwise, the property in *failed). An empty plan means
// the device is in the desired state.
StatusCode plan_device(SetupInfo info, const DeviceState& desired,
                       const DeviceState& actual, DevicePlan* plan,
                       std::string* failed);

// 0xF000000A when the plan creates a device that gets no transport class,
// which its commit would delete again: set refuses it before writing.
StatusCode check_creation(SetupInfo info, const DevicePlan& plan);

// True when the plan changes nothing.
bool plan_is_empty(const DevicePlan& plan);

// The names set reports as changed: "_exist" for a creation or removal,
// then the properties of the plan.
std::vector<std::string> plan_changes(const DevicePlan& plan);

// Carries the plan out as zebcfg's a, s or r would (creation, the pairs in
// order up to the first failure, the commit; or the removal) and reads the
// state it left into *after. The device is found in index, made under the
// root's lock held since, which the creation or removal keeps current. The
// first failure's status, its property in *failed.
StatusCode apply_device(CommandContext* context, DeviceIndex* index,
                        const Schema& schema, const std::string& name,
                        const DevicePlan& plan, DeviceState* after,
                        std::string* failed);

// The state the device would have after the plan and its commit: what a
// what-if run reports.
void predict_device(SetupInfo info, const Schema& schema,
                    const DeviceState& actual, const DevicePlan& plan,
                    DeviceState* predicted);

// The state of the map entry called name.
StatusCode read_map_entry(const CommandContext* context,
                          const std::string& name, MapEntryState* actual);

// True when the entry is as desired.
bool map_entry_in_state(const MapEntryState& desired,
                        const MapEntryState& actual);

// Sets or deletes the entry, as ms does.
StatusCode apply_map_entry(const CommandContext* context,
                           const MapEntryState& desired);

// Every named entry of the map, in its order.
StatusCode read_map(const CommandContext* context,
                    std::vector<MapEntryState>* entries);
