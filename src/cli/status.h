// Status codes of the system and their reporting.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cli/entry.h"
#include "platform/types.h"

constexpr StatusCode STATUS_DUP_DEVICE = 0xF0000001;
constexpr StatusCode STATUS_DEV_NOT_FOUND = 0xF0000002;
constexpr StatusCode STATUS_INF_NOT_FOUND = 0xF0000003;
constexpr StatusCode STATUS_INF_CORRUPT = 0xF0000004;
constexpr StatusCode STATUS_UNKNOWN_PROP = 0xF0000005;
constexpr StatusCode STATUS_INVALID_PARAM = 0xF0000006;
constexpr StatusCode STATUS_RANGE = 0xF0000007;
constexpr StatusCode STATUS_SYNTAX = 0xF0000008;
constexpr StatusCode STATUS_OS = 0xF0000009;
constexpr StatusCode STATUS_NO_XPT = 0xF000000A;
constexpr StatusCode STATUS_REG_ERROR = 0xF000000B;
constexpr StatusCode STATUS_DEVICE_IS_OPEN = 0xF000000C;
constexpr StatusCode STATUS_NO_ARGUMENT = 0xF0000040;

constexpr size_t STATUS_TEXT_CAPACITY = 400;

struct StatusMessage {
  StatusCode code;
  const char* key;   // replacement key in [cfg_strings]; null in the last row
  const char* text;  // default text, a format
};

// The 15 rows, closed by the row for codes without a row of their own.
extern const StatusMessage kStatusMessageTable[];

// Fills buffer (capacity characters with terminator) with the text for code.
void get_status_text(StatusCode code, char* buffer, size_t capacity);

// Shows the text of a non-zero code as mode asks: printed, in a box, or not.
void report_status(OutputMode mode, StatusCode code);
