// The verbs: read the input, compare, change, and print each instance's
// line. Every instance of one run works in one command context: one parse
// of the setup file, one open of the device root and, for set, one hold of
// the root's lock.
#include "verbs.h"

#include <vector>

#include "config/command_context.h"
#include "instance_json.h"
#include "instance_schema.h"
#include "platform/fold.h"
#include "platform/registry.h"
#include "state.h"

namespace {

constexpr const char* DEVICE_TYPE = "Zeb.Serial/Device";
constexpr const char* MAP_TYPE = "Zeb.Serial/PropertyMapEntry";

// What an input asks for.
struct Inputs {
  std::vector<DeviceState> devices;
  std::vector<MapEntryState> entries;
};

// The lines a run prints, held back until it knows it has succeeded, so
// that a failure leaves nothing half-written on standard output.
struct Report {
  std::vector<std::string> lines;
  bool in_state = true;            // test: every instance is as desired
  std::vector<std::string> drift;  // test: the names of those that are not
};

void add_line(std::string* text, const std::string& line) {
  text->append(line);
  text->push_back('\n');
}

// One instance's result: its state line, and for set the names it changed.
// A document's instance is one line that says its type.
void add_result(const Invocation& run, const char* type, JsonValue state,
                const std::vector<std::string>* changed, Report* report) {
  if (run.kind != KIND_DOCUMENT) {
    report->lines.push_back(json_write(state));
    if (changed != nullptr) {
      report->lines.push_back(json_write(names_to_json(*changed)));
    }
    return;
  }
  JsonValue line = json_object();
  json_add(&line, "type", json_string(type));
  json_add(&line, "state", state);
  if (changed != nullptr) json_add(&line, "changed", names_to_json(*changed));
  report->lines.push_back(json_write(line));
}

bool needs_root(const Invocation& run, const Inputs& inputs) {
  if (run.verb == VERB_EXPORT) return run.kind != KIND_MAP_ENTRY;
  return !inputs.devices.empty();
}

// Reads the input into the records of its kind.
bool read_inputs(const Invocation& run, SetupInfo setup, const Schema& schema,
                 Inputs* inputs, StateError* error) {
  JsonValue json;
  std::string why;
  if (!json_parse(run.input, &json, &why)) {
    *error = input_error(EXIT_NOT_JSON, "the input is not JSON: " + why);
    return false;
  }
  DeviceReading reading = run.verb == VERB_GET ? READ_NAME : READ_WHOLE;
  if (run.kind == KIND_DOCUMENT) {
    return document_from_json(json, setup, schema, reading, &inputs->devices,
                              &inputs->entries, error);
  }
  if (run.kind == KIND_DEVICE) {
    inputs->devices.emplace_back();
    return device_from_json(json, setup, schema, reading,
                            &inputs->devices.back(), error);
  }
  inputs->entries.emplace_back();
  return map_entry_from_json(json, setup, reading, &inputs->entries.back(),
                             error);
}

// A name that two instances of one kind share, case of A-Z aside.
template <typename Instance>
bool named_twice(const std::vector<Instance>& instances, StateError* error) {
  for (size_t i = 0; i < instances.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (equal_folded(instances[i].name.c_str(), instances[j].name.c_str())) {
        *error = input_error(EXIT_NOT_INSTANCE, "an instance is given twice");
        error->instance = names_to_json({instances[i].name}).items[0].text;
        return true;
      }
    }
  }
  return false;
}

// The actual states of the input's instances, read from one state of the
// registry where the platform has one.
struct Actuals {
  DeviceIndex index;  // the name search of every device, from one walk
  std::vector<DeviceState> devices;
  std::vector<MapEntryState> entries;
};

bool read_actuals(const CommandContext* context, const Schema& schema,
                  const Inputs& inputs, Actuals* actuals, StateError* error) {
  StatusCode status = reg_begin_snapshot();
  std::string failed;
  if (status == 0 && !inputs.devices.empty()) {
    status = dev_index(context, &actuals->index);
  }
  for (size_t i = 0; status == 0 && i < inputs.devices.size(); ++i) {
    actuals->devices.emplace_back();
    status =
        read_device(context, actuals->index, schema, inputs.devices[i].name,
                    &actuals->devices.back(), &failed);
    if (status != 0) {
      *error =
          status_error(context->setup, status, inputs.devices[i].name, failed);
    }
  }
  for (size_t i = 0; status == 0 && i < inputs.entries.size(); ++i) {
    actuals->entries.emplace_back();
    status = read_map_entry(context, inputs.entries[i].name,
                            &actuals->entries.back());
    if (status != 0) {
      *error = status_error(context->setup, status, inputs.entries[i].name);
    }
  }
  reg_end_snapshot();
  if (status != 0 && error->message.empty()) {
    *error = status_error(context->setup, status);
  }
  return status == 0;
}

// The plans of every device of the input, each checked before any write.
bool plan_devices(SetupInfo setup, const Inputs& inputs, const Actuals& actuals,
                  std::vector<DevicePlan>* plans, StateError* error) {
  for (size_t i = 0; i < inputs.devices.size(); ++i) {
    plans->emplace_back();
    std::string failed;
    StatusCode status = plan_device(
        setup, inputs.devices[i], actuals.devices[i], &plans->back(), &failed);
    if (status != 0) {
      *error = status_error(setup, status, inputs.devices[i].name, failed);
      return false;
    }
  }
  return true;
}

void report_gets(const Invocation& run, const Actuals& actuals,
                 Report* report) {
  for (const DeviceState& device : actuals.devices) {
    add_result(run, DEVICE_TYPE, device_to_json(device), nullptr, report);
  }
  for (const MapEntryState& entry : actuals.entries) {
    add_result(run, MAP_TYPE, map_entry_to_json(entry), nullptr, report);
  }
}

void add_test_result(const Invocation& run, const char* type, JsonValue state,
                     bool in_state, Report* report) {
  if (!in_state) report->drift.push_back(json_member(state, "name")->text);
  json_add(&state, "_inDesiredState", json_bool(in_state));
  report->in_state = report->in_state && in_state;
  add_result(run, type, state, nullptr, report);
}

void report_tests(const Invocation& run, const Inputs& inputs,
                  const Actuals& actuals, const std::vector<DevicePlan>& plans,
                  Report* report) {
  for (size_t i = 0; i < plans.size(); ++i) {
    add_test_result(run, DEVICE_TYPE, device_to_json(actuals.devices[i]),
                    plan_is_empty(plans[i]), report);
  }
  for (size_t i = 0; i < inputs.entries.size(); ++i) {
    add_test_result(run, MAP_TYPE, map_entry_to_json(actuals.entries[i]),
                    map_entry_in_state(inputs.entries[i], actuals.entries[i]),
                    report);
  }
}

// Carries out one device's plan as one group of writes, and reads what it
// left.
bool set_device(CommandContext* context, DeviceIndex* index,
                const Schema& schema, const std::string& name,
                const DevicePlan& plan, DeviceState* after, StateError* error) {
  std::string failed;
  StatusCode status = reg_begin_group();
  if (status == 0) {
    status = apply_device(context, index, schema, name, plan, after, &failed);
    StatusCode landed = reg_end_group();
    if (status == 0) status = landed;
  }
  if (status != 0) *error = status_error(context->setup, status, name, failed);
  return status == 0;
}

// The map entry's changed names, as set reports them.
std::vector<std::string> entry_changes(const MapEntryState& desired,
                                       const MapEntryState& actual) {
  if (map_entry_in_state(desired, actual)) return {};
  if (desired.exists != actual.exists) return {"_exist"};
  return {"value"};
}

bool report_sets(const Invocation& run, CommandContext* context,
                 const Schema& schema, const Inputs& inputs, Actuals* actuals,
                 const std::vector<DevicePlan>& plans, Report* report,
                 StateError* error) {
  for (size_t i = 0; i < plans.size(); ++i) {
    StatusCode status = check_creation(context->setup, plans[i]);
    if (status != 0) {
      *error = status_error(context->setup, status, inputs.devices[i].name);
      return false;
    }
  }
  for (size_t i = 0; i < plans.size(); ++i) {
    DeviceState after = actuals->devices[i];
    if (run.what_if) {
      predict_device(context->setup, schema, actuals->devices[i], plans[i],
                     &after);
    } else if (!plan_is_empty(plans[i]) &&
               !set_device(context, &actuals->index, schema,
                           inputs.devices[i].name, plans[i], &after, error)) {
      return false;
    }
    std::vector<std::string> changed = plan_changes(plans[i]);
    add_result(run, DEVICE_TYPE, device_to_json(after), &changed, report);
  }
  for (size_t i = 0; i < inputs.entries.size(); ++i) {
    const MapEntryState& desired = inputs.entries[i];
    std::vector<std::string> changed =
        entry_changes(desired, actuals->entries[i]);
    MapEntryState after = changed.empty() ? actuals->entries[i] : desired;
    if (!changed.empty() && !run.what_if) {
      StatusCode status = apply_map_entry(context, desired);
      if (status != 0) {
        *error = status_error(context->setup, status, desired.name);
        return false;
      }
    }
    add_result(run, MAP_TYPE, map_entry_to_json(after), &changed, report);
  }
  return true;
}

// get, test and set of the input's instances.
bool compare_and_report(const Invocation& run, CommandContext* context,
                        const Schema& schema, const Inputs& inputs,
                        Report* report, StateError* error) {
  Actuals actuals;
  if (!read_actuals(context, schema, inputs, &actuals, error)) return false;
  if (run.verb == VERB_GET) {
    report_gets(run, actuals, report);
    return true;
  }
  std::vector<DevicePlan> plans;
  if (!plan_devices(context->setup, inputs, actuals, &plans, error)) {
    return false;
  }
  if (run.verb == VERB_TEST) {
    report_tests(run, inputs, actuals, plans, report);
    return true;
  }
  return report_sets(run, context, schema, inputs, &actuals, plans, report,
                     error);
}

// export: every device and map entry, as instance lines of one kind or as
// one document.
bool export_all(const Invocation& run, const CommandContext* context,
                const Schema& schema, Report* report, StateError* error) {
  std::vector<std::string> names;
  Actuals actuals;
  std::string failed;
  StatusCode status = reg_begin_snapshot();
  if (status == 0 && run.kind != KIND_MAP_ENTRY) {
    status = dev_list_names(context, &names);
    if (status == W32_ERROR_NO_MORE_ITEMS) status = 0;
    if (status == 0) status = dev_index(context, &actuals.index);
    for (size_t i = 0; status == 0 && i < names.size(); ++i) {
      actuals.devices.emplace_back();
      status = read_device(context, actuals.index, schema, names[i],
                           &actuals.devices.back(), &failed);
    }
  }
  if (status == 0 && run.kind != KIND_DEVICE) {
    status = read_map(context, &actuals.entries);
  }
  reg_end_snapshot();
  if (status != 0) {
    *error = status_error(
        context->setup, status,
        failed.empty() ? "" : names[actuals.devices.size() - 1], failed);
    return false;
  }
  if (run.kind != KIND_DOCUMENT) {
    report_gets(run, actuals, report);
    return true;
  }
  JsonValue document = json_object();
  JsonValue devices = json_array();
  for (const DeviceState& device : actuals.devices) {
    json_push(&devices, device_to_json(device));
  }
  JsonValue entries = json_array();
  for (const MapEntryState& entry : actuals.entries) {
    json_push(&entries, map_entry_to_json(entry));
  }
  json_add(&document, "devices", devices);
  json_add(&document, "propertyMap", entries);
  report->lines.push_back(json_write(document));
  return true;
}

bool print_schema(const Invocation& run, const CommandContext* context,
                  const Schema& schema, Report* report, StateError* error) {
  if (run.kind == KIND_MAP_ENTRY) {
    report->lines.push_back(json_write(map_entry_schema()));
    return true;
  }
  SetupInfo setup = nullptr;
  StatusCode status = context_setup(context, &setup);
  if (status != 0) {
    *error = status_error(nullptr, status);
    return false;
  }
  report->lines.push_back(json_write(device_schema(setup, schema)));
  return true;
}

// The run in its context, up to the lines it will print.
bool run_in_context(const Invocation& run, CommandContext* context,
                    Report* report, StateError* error) {
  Schema schema;
  if (context->setup != nullptr) read_schema(context->setup, &schema);
  if (run.verb == VERB_SCHEMA)
    return print_schema(run, context, schema, report, error);
  Inputs inputs;
  if (run.verb != VERB_EXPORT &&
      (!read_inputs(run, context->setup, schema, &inputs, error) ||
       named_twice(inputs.devices, error) ||
       named_twice(inputs.entries, error))) {
    return false;
  }
  bool write = run.verb == VERB_SET && !run.what_if;
  if (needs_root(run, inputs)) {
    StatusCode status = context_open_root(context, write);
    if (status == 0 && run.verb == VERB_SET)
      status = context_lock_root(context);
    if (status != 0) {
      *error = status_error(context->setup, status);
      return false;
    }
  }
  if (run.verb == VERB_EXPORT)
    return export_all(run, context, schema, report, error);
  return compare_and_report(run, context, schema, inputs, report, error);
}

}  // namespace

int run_invocation(const Invocation& run, std::string* out, std::string* err) {
  CommandContext context;
  context_open(&context);
  Report report;
  StateError error = {};
  bool done = run_in_context(run, &context, &report, &error);
  context_close(&context);
  if (!done) {
    add_line(err, error_line(error));
    return error.exit_code;
  }
  if (run.detect && !report.in_state) {
    JsonValue drift = json_object();
    json_add(&drift, "warn", json_string("not in the desired state"));
    JsonValue names = json_array();
    for (const std::string& name : report.drift) {
      json_push(&names, json_string(name));
    }
    json_add(&drift, "instances", names);
    add_line(err, json_write(drift));
    return EXIT_DRIFT;
  }
  for (const std::string& line : report.lines) add_line(out, line);
  return EXIT_OK;
}
