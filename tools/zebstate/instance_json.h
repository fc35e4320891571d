// Instances as JSON: a device
//   {"name": "COM7", "_exist": true,
//    "properties": {"Port.BaudRate": 115200, "Port.Parity": "even",
//                   "Net.Host": null, "Timing.ReadTimeout": {"auto": 441}}}
// (a number or a text for a stored value, null for the driver's default,
// {"auto": ...} for an automatic property), a property-map entry
//   {"name": "PollMs", "value": 100, "_exist": true},
// and a document of many: {"devices": [...], "propertyMap": [...]}.
// Failures are StateErrors: an exit code of their class and a text.
#pragma once

#include <string>
#include <vector>

#include "json.h"
#include "state.h"

// Exit codes, one per class of failure.
enum ExitCode {
  EXIT_OK = 0,
  EXIT_DRIFT = 1,         // test --detect: not in the desired state
  EXIT_USAGE = 2,         // the command line
  EXIT_NOT_JSON = 3,      // the input is not JSON
  EXIT_NOT_INSTANCE = 4,  // JSON, but no instance: a member missing or amiss
  EXIT_REFUSED = 5,       // a property or value the schema refuses
  EXIT_SETUP = 6,         // the setup file cannot be had
  EXIT_REGISTRY = 7,      // the registry refused a read or a write
};

struct StateError {
  int exit_code;
  std::string message;   // UTF-8: zebcfg's text for a status, or our own
  std::string instance;  // UTF-8: the instance's name, when known
  std::string property;  // UTF-8: the property's name, when known
};

// The error for status, with zebcfg's text for it (replaced from the setup
// file as zebcfg's would be). instance and property are system code page
// text.
StateError status_error(SetupInfo setup, StatusCode status,
                        const std::string& instance = "",
                        const std::string& property = "");

// An error of our own with a UTF-8 message.
StateError input_error(int exit_code, const std::string& message);

// The error as one JSON line: {"error": "...", "instance": ..., ...}.
std::string error_line(const StateError& error);

// What a verb reads from a device instance: all of it, or only its name
// (get).
enum DeviceReading { READ_WHOLE, READ_NAME };

// The desired device of a JSON instance.
bool device_from_json(const JsonValue& json, SetupInfo setup,
                      const Schema& schema, DeviceReading reading,
                      DeviceState* desired, StateError* error);

// The desired map entry of a JSON instance; with a value unless reading is
// READ_NAME or the entry is not to exist.
bool map_entry_from_json(const JsonValue& json, SetupInfo setup,
                         DeviceReading reading, MapEntryState* desired,
                         StateError* error);

// A whole document: its devices and map entries.
bool document_from_json(const JsonValue& json, SetupInfo setup,
                        const Schema& schema, DeviceReading reading,
                        std::vector<DeviceState>* devices,
                        std::vector<MapEntryState>* entries, StateError* error);

JsonValue device_to_json(const DeviceState& device);
JsonValue map_entry_to_json(const MapEntryState& entry);

// A list of names (system code page) as a JSON array of UTF-8 texts.
JsonValue names_to_json(const std::vector<std::string>& names);
