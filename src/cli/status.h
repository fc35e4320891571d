// The texts of status codes and their reporting.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cli/output_mode.h"
#include "config/command_context.h"
#include "config/setup_info.h"
#include "config/status_codes.h"

constexpr size_t STATUS_TEXT_CAPACITY = 400;

struct StatusMessage {
  StatusCode code;
  const char* key;   // replacement key in [cfg_strings]; null in the last row
  const char* text;  // default text, a format
};

// The 15 rows, closed by the row for codes without a row of their own.
extern const StatusMessage kStatusMessageTable[];

// Fills buffer (capacity characters with terminator) with the text for code:
// its replacement from [cfg_strings] of setup, or the built-in text when
// setup is null or holds none.
void get_status_text(SetupInfo setup, StatusCode code, char* buffer,
                     size_t capacity);

// Shows the text of a non-zero code as mode asks: printed, in a box, or not.
// A box that cannot be shown (nobody sees the desktop) is printed instead.
// The replacement texts come from the context's setup file, if it was had.
void report_status(const CommandContext* context, OutputMode mode,
                   StatusCode code);
