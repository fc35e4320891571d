// Property-map entries: reading their state and setting it as ms does.
#include <algorithm>
#include <cstring>

#include "property/property_map.h"
#include "state.h"

StatusCode read_map_entry(const CommandContext* context,
                          const std::string& name, MapEntryState* actual) {
  *actual = MapEntryState{name, false, 0, false};
  uint32_t value = 0;
  StatusCode status =
      map_read_stored(context, name.c_str(), &value, &actual->exact);
  if (status == W32_ERROR_FILE_NOT_FOUND) return 0;
  if (status != 0) return status;
  actual->exists = true;
  actual->value = static_cast<int32_t>(value);
  return 0;
}

bool map_entry_in_state(const MapEntryState& desired,
                        const MapEntryState& actual) {
  if (!desired.exists) return !actual.exists;
  return actual.exists && actual.exact && actual.value == desired.value;
}

StatusCode apply_map_entry(const CommandContext* context,
                           const MapEntryState& desired) {
  MapEntry entry = {};
  std::memcpy(entry.name, desired.name.c_str(),
              std::min(desired.name.size(), sizeof(entry.name) - 1));
  entry.value = desired.exists ? static_cast<uint32_t>(desired.value)
                               : MAP_DELETE_VALUE;
  return map_write(context, &entry);
}

StatusCode read_map(const CommandContext* context,
                    std::vector<MapEntryState>* entries) {
  MapCursor cursor;
  std::memset(&cursor, 0, sizeof(cursor));
  StatusCode status = map_first(context, &cursor);
  while (status == 0) {
    if (cursor.name[0] != '\0') {
      entries->push_back(MapEntryState{cursor.name, true,
                                       static_cast<int32_t>(cursor.value), true});
    }
    std::memset(cursor.name, 0, sizeof(cursor.name));
    status = map_next(&cursor);
  }
  map_close(&cursor);
  return status == W32_ERROR_NO_MORE_ITEMS ? 0 : status;
}
