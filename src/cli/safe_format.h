// A printf-like formatter for message texts taken from the setup file.
#pragma once

#include <cstddef>
#include <cstdint>

// Renders format into out (capacity characters, terminator included) with
// value as the argument of every conversion. Only integer conversions
// (d i u x X o c) with their flags, width and precision are rendered, at most
// two of them; any other conversion, a '*' width, or a third integer
// conversion is copied literally. "%%" gives one percent sign. Returns the
// length written.
size_t format_status_text(const char* format, int32_t value, char* out,
                          size_t capacity);
