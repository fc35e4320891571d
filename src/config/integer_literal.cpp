#include "config/integer_literal.h"

#include <cctype>
#include <cstdlib>

namespace {

// The base that a literal's prefix selects, after blanks and a sign: "0x" or
// "0X" hexadecimal, a leading "0" octal, else decimal. Chosen here rather
// than by strtoll's base 0, which newer C libraries extend with "0b".
int literal_base(const char* text) {
  while (std::isspace(static_cast<unsigned char>(*text))) ++text;
  if (*text == '+' || *text == '-') ++text;
  if (text[0] != '0') return 10;
  return (text[1] == 'x' || text[1] == 'X') ? 16 : 8;
}

}  // namespace

bool parse_integer_literal(const char* text, int32_t* value) {
  char* end = nullptr;
  long long number = std::strtoll(text, &end, literal_base(text));
  if (*end != '\0') return false;
  if (number > INT32_MAX) number = INT32_MAX;
  if (number < INT32_MIN) number = INT32_MIN;
  *value = static_cast<int32_t>(number);
  return true;
}
