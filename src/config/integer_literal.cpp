#include "config/integer_literal.h"

#include <cerrno>
#include <cstdlib>

bool parse_integer_literal(const char* text, int32_t* value) {
  char* end = nullptr;
  errno = 0;
  long long number = std::strtoll(text, &end, 0);
  if (*end != '\0') return false;
  if (number > INT32_MAX) number = INT32_MAX;
  if (number < INT32_MIN) number = INT32_MIN;
  *value = static_cast<int32_t>(number);
  return true;
}
