#include "cli/safe_format.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int MAX_INTEGER_CONVERSIONS = 2;
constexpr int MAX_FIELD = 400;  // wider than any result can be

// One "%..." directive as read from the format.
struct Conversion {
  char spec[48];    // the directive rebuilt for snprintf
  size_t length;    // characters of the format it spans
  bool is_integer;  // one of d i u x X o c, without '*' or wide lengths
  int h_count;      // 1 for "h" (short), 2 for "hh" (char)
};

// Reads digits into *number (capped at MAX_FIELD); returns the count read.
size_t read_number(const char* text, int* number) {
  size_t count = 0;
  long value = 0;
  while (text[count] >= '0' && text[count] <= '9') {
    if (value <= MAX_FIELD) value = value * 10 + (text[count] - '0');
    ++count;
  }
  *number = value > MAX_FIELD ? MAX_FIELD : static_cast<int>(value);
  return count;
}

// Parses the directive that starts at directive[0] == '%'.
Conversion parse_conversion(const char* directive) {
  Conversion conversion{};
  size_t pos = 1;
  char flags[8] = {0};
  size_t flag_count = 0;
  while (std::strchr("-+ #0", directive[pos]) != nullptr &&
         directive[pos] != '\0') {
    if (flag_count < sizeof flags - 1) flags[flag_count++] = directive[pos];
    ++pos;
  }
  int width = -1;
  size_t digits = read_number(directive + pos, &width);
  if (digits == 0) width = -1;
  pos += digits;
  bool unsafe = false;
  if (directive[pos] == '*') {
    unsafe = true;
    ++pos;
  }
  int precision = -1;
  if (directive[pos] == '.') {
    ++pos;
    if (directive[pos] == '*') {
      unsafe = true;
      ++pos;
    } else {
      pos += read_number(directive + pos, &precision);
    }
  }
  // l still means a 32-bit int here, ll does not; h and hh narrow the value
  // as printf does.
  while (directive[pos] == 'h' || directive[pos] == 'l') {
    if (directive[pos] == 'l' && directive[pos + 1] == 'l') unsafe = true;
    if (directive[pos] == 'h') ++conversion.h_count;
    ++pos;
  }
  char type = directive[pos];
  if (type != '\0') ++pos;
  conversion.length = pos;
  conversion.is_integer =
      !unsafe && type != '\0' && std::strchr("diuxXoc", type) != nullptr;
  if (!conversion.is_integer) return conversion;

  // Room for any int, so that no compiler can see a cut here.
  char width_text[16] = "";
  char precision_text[16] = "";
  if (width >= 0) std::snprintf(width_text, sizeof width_text, "%d", width);
  if (precision >= 0) {
    std::snprintf(precision_text, sizeof precision_text, ".%d", precision);
  }
  std::snprintf(conversion.spec, sizeof conversion.spec, "%%%s%s%s%c", flags,
                width_text, precision_text, type);
  return conversion;
}

// Renders one integer conversion with value into piece.
void render_integer(const Conversion& conversion, int32_t value, char* piece,
                    size_t capacity) {
  char type = conversion.spec[std::strlen(conversion.spec) - 1];
  if (type != 'c' && conversion.h_count == 1) {
    value = (type == 'd' || type == 'i')
                ? static_cast<int16_t>(value)
                : static_cast<int32_t>(static_cast<uint16_t>(value));
  } else if (type != 'c' && conversion.h_count >= 2) {
    value = (type == 'd' || type == 'i')
                ? static_cast<int8_t>(value)
                : static_cast<int32_t>(static_cast<uint8_t>(value));
  }
  if (type == 'd' || type == 'i' || type == 'c') {
    std::snprintf(piece, capacity, conversion.spec, static_cast<int>(value));
  } else {
    std::snprintf(piece, capacity, conversion.spec,
                  static_cast<unsigned>(static_cast<uint32_t>(value)));
  }
}

// Appends text (length bytes) to out, keeping room for the terminator.
void append(char* out, size_t capacity, size_t* used, const char* text,
            size_t length) {
  if (*used + 1 >= capacity) return;
  size_t room = capacity - 1 - *used;
  if (length > room) length = room;
  std::memcpy(out + *used, text, length);
  *used += length;
}

}  // namespace

size_t format_status_text(const char* format, int32_t value, char* out,
                          size_t capacity) {
  if (out == nullptr || capacity == 0) return 0;
  size_t used = 0;
  int integers = 0;
  const char* cursor = format;
  while (*cursor != '\0') {
    if (*cursor != '%') {
      const char* next = std::strchr(cursor, '%');
      size_t length =
          next ? static_cast<size_t>(next - cursor) : std::strlen(cursor);
      append(out, capacity, &used, cursor, length);
      cursor += length;
      continue;
    }
    if (cursor[1] == '%') {
      append(out, capacity, &used, "%", 1);
      cursor += 2;
      continue;
    }
    Conversion conversion = parse_conversion(cursor);
    if (conversion.is_integer && integers < MAX_INTEGER_CONVERSIONS) {
      char piece[MAX_FIELD + 2];
      render_integer(conversion, value, piece, sizeof piece);
      append(out, capacity, &used, piece, std::strlen(piece));
      ++integers;
    } else {
      append(out, capacity, &used, cursor, conversion.length);
    }
    cursor += conversion.length;
  }
  out[used] = '\0';
  return used;
}
