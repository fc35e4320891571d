// Typed reads of values that the POSIX backends keep in the store.
#pragma once

#include <cstdint>

#include "platform/registry.h"

// A REG_DWORD value of key; fallback when it is absent or of another form.
uint32_t store_read_dword(RegKey key, const char* name, uint32_t fallback);

// Reads a REG_DWORD value of key into *value: fallback when it is absent or
// of another form. 0, or the failure of a read that could not tell.
StatusCode store_read_dword_or(RegKey key, const char* name, uint32_t fallback,
                               uint32_t* value);
