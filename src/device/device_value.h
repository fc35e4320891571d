// Reading and writing the values of a device key; texts are read with
// read_text_value (config/registry_text.h).
#pragma once

#include <cstdint>

#include "config/registry_text.h"
#include "config/setup_info.h"
#include "platform/registry.h"
#include "platform/types.h"

// Reads the first four raw bytes of value name as a number, whatever its
// registry type; bytes that a shorter value lacks read as 0. 234 when the
// value is longer than four bytes; *value is written only on success.
StatusCode read_dword_value(RegKey key, const char* name, uint32_t* value);

// Reads value name as read_dword_value does, or fallback when the value is
// absent (2) or longer than four bytes (234): 0 either way. Any other
// failure is returned, since the fallback would stand for a value that
// exists.
StatusCode read_dword_or(RegKey key, const char* name, uint32_t fallback,
                         uint32_t* value);

// Writes text as REG_SZ; the size counts the terminating zero byte.
StatusCode write_text_value(RegKey key, const char* name, const char* text);

// Writes number as REG_DWORD, four bytes.
StatusCode write_dword_value(RegKey key, const char* name, uint32_t number);

// Writes the state marker (a two-byte REG_SZ default value).
StatusCode write_marker(RegKey key, const char* marker);

// True when key holds a value called name (only its existence is tested).
bool value_exists(RegKey key, const char* name);

// True when subkey of root is named as creation names device subkeys
// ("zeb_dev_", the case of A-Z aside, and a decimal number without leading
// zeros) and holds no value called value_name: what a creation cut short
// between the key's birth and its name value leaves. Such a key is found by
// no search and stops every listing.
bool is_half_made_device(RegKey root, const char* subkey,
                         const char* value_name);

// The name of the transport-class value ([cfg_strings] "xpt_class_name",
// else "DevPartClass") into buffer; the lookup's failure as for
// get_setup_string_or.
StatusCode xpt_class_value_name(SetupInfo info, char* buffer,
                                uint32_t capacity);

// The name of the value that holds a device's name ([cfg_strings]
// "conn_port_name", else "FriendlyName") into buffer of capacity bytes; the
// lookup's failure as for get_setup_string_or.
StatusCode name_value_name(SetupInfo info, char* buffer, uint32_t capacity);
