// Registry values read as text, the one way every layer reads them: the
// text is always terminated inside its buffer, whatever the registry type or
// length of the stored data.
#pragma once

#include <cstdint>

#include "platform/registry.h"
#include "platform/types.h"

// Reads value name (null for the default value) of key as text. buffer holds
// data_limit + 1 bytes: at most data_limit bytes of data are read (234 when
// the value is longer), and a terminator always follows the data. On failure
// buffer holds the empty text.
StatusCode read_text_value(RegKey key, const char* name, char* buffer,
                           uint32_t data_limit);
