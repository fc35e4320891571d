// JSON Schemas of the instances, for DSC and for readers.
#pragma once

#include "json.h"
#include "state.h"

// The schema of a device instance: its properties as the setup file defines
// them (hidden lines absent, an allowed list as an enum, a range as minimum
// and maximum, the transport property's names from [cfg_xpt_map], null
// where a reset is admitted, {"auto": ...} for an automatic property).
JsonValue device_schema(SetupInfo info, const Schema& schema);

// The schema of a property-map entry.
JsonValue map_entry_schema();
