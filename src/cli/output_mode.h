// The output mode a command-table row hands to its handler.
#pragma once

#include <cstdint>

// Bits of a command's output mode: quiet prints no syntax line and no error
// message; dialog shows error messages in a message box.
typedef int32_t OutputMode;
constexpr OutputMode MODE_NORMAL = 0;
constexpr OutputMode MODE_QUIET = 1;
constexpr OutputMode MODE_DIALOG = 2;

// True when mode prints no syntax line and no error message.
inline bool is_quiet(OutputMode mode) { return (mode & MODE_QUIET) != 0; }
