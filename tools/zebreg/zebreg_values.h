// Values as zebreg's command line gives them and as query prints them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zebreg_args.h"

// The type and bytes that /t and /d of cmd describe, as reg.exe reads them;
// prints reg's message and returns false when they are not valid.
bool value_bytes(const RegCommand& cmd, uint32_t* type,
                 std::vector<uint8_t>* bytes);

// Prints one value as query lists it: name, type name and data.
void print_value(const std::string& name, uint32_t type,
                 const std::vector<uint8_t>& bytes);
