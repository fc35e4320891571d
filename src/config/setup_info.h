// The setup information file "zebsetup.inf" and its lookups.
#pragma once

#include <cstdint>

#include "platform/inf.h"
#include "platform/types.h"

typedef InfHandle SetupInfo;

constexpr const char* SETUP_FILE_NAME = "zebsetup.inf";
constexpr const char* SECTION_STRINGS = "cfg_strings";
constexpr const char* SECTION_PROP_MAP = "cfg_prop_map";
constexpr const char* SECTION_XPT_MAP = "cfg_xpt_map";
constexpr const char* SECTION_START_STOP = "cfg_start_stop";

// Opens the setup file by its bare name: 0 and the handle, 0xF0000003 when it
// is not found, 0xF0000004 for any other failure.
StatusCode open_setup_info(SetupInfo* out);

void close_setup_info(SetupInfo info);

// Field 1 of the first line of section whose key matches, into buffer.
StatusCode get_setup_string(SetupInfo info, const char* section,
                            const char* key, char* buffer, uint32_t capacity);

// Integer field (1-based) of the first line of section whose key matches.
StatusCode get_setup_int(SetupInfo info, const char* section, const char* key,
                         uint32_t field, int32_t* value);

// Key of the first line of section whose field 1 equals value without regard
// to case, into buffer.
StatusCode find_setup_key(SetupInfo info, const char* section,
                          const char* value, char* buffer, uint32_t capacity);

// [cfg_strings] key into buffer, or fallback when the file has no such line
// or field or its text does not fit: 0 either way. Any other failure of the
// lookup is returned (with fallback in buffer), since a name read as the
// fallback by mistake would write or search under the wrong name.
StatusCode get_setup_string_or(SetupInfo info, const char* key,
                               const char* fallback, char* buffer,
                               uint32_t capacity);
