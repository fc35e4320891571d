#include "config/integer_literal.h"

#include "platform/integer_scan.h"

bool parse_integer_literal(const char* text, int32_t* value) {
  return read_c_long(text, value);
}
