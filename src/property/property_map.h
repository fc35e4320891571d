// The property map: named 32-bit integers stored as the REG_DWORD values of
// one registry key, whose path [cfg_strings] "map_path" of the command's
// setup file gives below HKEY_LOCAL_MACHINE.
#pragma once

#include <cstdint>

#include "config/command_context.h"
#include "platform/registry.h"
#include "platform/types.h"

// Entry names have 1 to MAP_NAME_CAPACITY - 1 characters.
constexpr uint32_t MAP_NAME_CAPACITY = 256;
constexpr uint32_t MAP_PATH_CAPACITY = 260;
// The value that deletes an entry when written; it is never stored.
constexpr uint32_t MAP_DELETE_VALUE = 0xFFFFFFFF;

struct MapEntry {
  char name[MAP_NAME_CAPACITY];  // "" addresses the key's unnamed value
  uint32_t value;                // MAP_DELETE_VALUE deletes the entry
};

struct MapCursor {
  RegKey key;                    // the map key, from map_first to map_close
  char name[MAP_NAME_CAPACITY];  // receives the entry name
  uint32_t value;                // receives the entry's data
  uint32_t index;                // position among the key's values, from 0
};

// Reads [cfg_strings] "map_path" into path (capacity characters): the setup
// file's open failure or the lookup's status unchanged, 0 on success.
StatusCode get_map_path(const CommandContext* context, char* path,
                        uint32_t capacity);

// Sets the entry, or deletes it when its value is MAP_DELETE_VALUE (2 when
// there is none). 5 for a caller without administrator rights on NT, before
// the setup file is read. 0xF0000040 without an entry.
StatusCode map_write(const CommandContext* context, const MapEntry* entry);

// Opens the map key into cursor and reads the entry at index 0: 0, 259 when
// there is none, 234 for a name of 256 characters or more or data longer
// than 4 bytes, otherwise the registry's or the setup file's status.
// 0xF0000040 without a cursor. The key stays open until map_close, whatever
// the outcome.
StatusCode map_first(const CommandContext* context, MapCursor* cursor);

// As map_first for the next index, through the open key; the index advances
// whatever the outcome.
StatusCode map_next(MapCursor* cursor);

// Closes the cursor's key, if it holds one.
void map_close(MapCursor* cursor);

// Reads the entry name ("" for the unnamed value) into *value: the status of
// the read. 0xF0000040 without a name or a place for the value.
StatusCode map_read(const CommandContext* context, const char* name,
                    uint32_t* value);

// As map_read, and *exact tells whether the entry is what ms writes: a
// REG_DWORD of four bytes. 2 when the entry does not exist, 0xF000000B
// when the map key does not.
StatusCode map_read_stored(const CommandContext* context, const char* name,
                           uint32_t* value, bool* exact);

// Parses a name=value argument of ms into entry: an empty value text or -1
// is MAP_DELETE_VALUE. 0xF0000008 without "=", for a name of 256 characters
// or more, or when the value text is not a whole integer literal.
StatusCode parse_map_pair(const char* text, MapEntry* entry);
