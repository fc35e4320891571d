// Integer literals typed on the command line.
#pragma once

#include <cstdint>

// Reads text as an integer literal with automatic base ("0x"/"0X" hex, a
// leading "0" octal, else decimal; leading white space and a sign allowed),
// clamped to the signed 32-bit range. The empty text reads as 0. False when
// the literal does not take up the whole text.
bool parse_integer_literal(const char* text, int32_t* value);
