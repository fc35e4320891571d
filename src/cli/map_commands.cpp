// The property-map commands ml, ms and msq.
#include <cstdio>
#include <cstring>

#include "cli/handlers.h"
#include "cli/status.h"
#include "platform/registry.h"
#include "property/property_map.h"

namespace {

// Prints one listed entry, with the header before the first one.
void print_map_entry(const MapCursor* cursor, bool* printed_any) {
  if (!*printed_any) {
    std::fputs("Property map:\n", stdout);
    *printed_any = true;
  }
  std::printf("    %-24s = 0x%02x (%d)\n", cursor->name, cursor->value,
              static_cast<int32_t>(cursor->value));
}

// Parses and writes the pairs args[1] .. args[count - 1] in order; the first
// failure ends them.
StatusCode write_map_pairs(const CommandContext* context, int32_t count,
                           char* const* args) {
  for (int32_t i = 1; i < count; ++i) {
    MapEntry entry;
    StatusCode status = parse_map_pair(args[i], &entry);
    if (status != W32_ERROR_SUCCESS) return status;
    status = map_write(context, &entry);
    if (status != W32_ERROR_SUCCESS) return status;
  }
  return W32_ERROR_SUCCESS;
}

// Prints every named entry of the map.
int32_t list_map(CommandContext* context, OutputMode mode, int32_t,
                 char* const*) {
  MapCursor cursor;
  std::memset(&cursor, 0, sizeof(cursor));
  bool printed_any = false;
  // The entries are read from one state of the map.
  StatusCode status = reg_begin_snapshot();
  if (status == W32_ERROR_SUCCESS) {
    status = map_first(context, &cursor);
    while (status == W32_ERROR_SUCCESS) {
      if (cursor.name[0] != '\0') print_map_entry(&cursor, &printed_any);
      std::memset(cursor.name, 0, sizeof(cursor.name));
      status = map_next(&cursor);
    }
    map_close(&cursor);
    reg_end_snapshot();
  }
  if (status == W32_ERROR_NO_MORE_ITEMS) {
    if (!printed_any) std::fputs("Property map is empty\n", stdout);
    status = W32_ERROR_SUCCESS;
  }
  if (status != W32_ERROR_SUCCESS) report_status(context, mode, status);
  return status != W32_ERROR_SUCCESS ? 1 : 0;
}

// Sets or deletes the entries of the pairs args[1..].
int32_t set_map_entries(CommandContext* context, OutputMode mode, int32_t count,
                        char* const* args) {
  StatusCode status = write_map_pairs(context, count, args);
  if (status != W32_ERROR_SUCCESS) {
    report_status(context, mode, status);
    return 1;
  }
  return 0;
}

}  // namespace

int32_t map_list_handler(OutputMode mode, int32_t count, char* const* args) {
  return run_in_context(list_map, mode, count, args);
}

int32_t map_set_handler(OutputMode mode, int32_t count, char* const* args) {
  if (count < 2) {
    if (!is_quiet(mode)) {
      std::printf("Syntax: %s ms name=val\n", program_name);
    }
    return 1;
  }
  return run_in_context(set_map_entries, mode, count, args);
}
