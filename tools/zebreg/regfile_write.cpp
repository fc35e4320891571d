#include "regfile_write.h"

#include <cstdint>
#include <cstdio>

#include "platform/text_encoding.h"

namespace {

// A hex line is continued once, after a byte and its comma, it is this long.
constexpr size_t kWrapColumn = 77;

void put(char16_t unit, std::string* out) {
  out->push_back(static_cast<char>(unit & 0xFF));
  out->push_back(static_cast<char>(unit >> 8));
}

void put_ascii(const char* text, std::string* out) {
  for (; *text != '\0'; ++text) put(static_cast<unsigned char>(*text), out);
}

// Units written since offset start of out.
size_t column(const std::string& out, size_t start) {
  return (out.size() - start) / 2;
}

bool is_ascii(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// The UTF-16 units of the store's text; ASCII, most of it, directly.
void units_of(const std::string& text, std::u16string* units) {
  if (!is_ascii(text)) {
    text_to_utf16(text, units);
    return;
  }
  units->assign(text.begin(), text.end());
}

// The store's text in double quotes, with \, ", CR and LF escaped.
void put_quoted(const std::string& text, std::string* out) {
  std::u16string units;
  units_of(text, &units);
  put(u'"', out);
  for (char16_t c : units) {
    if (c == u'\\' || c == u'"') {
      put(u'\\', out);
      put(c, out);
    } else if (c == u'\r') {
      put_ascii("\\r", out);
    } else if (c == u'\n') {
      put_ascii("\\n", out);
    } else {
      put(c, out);
    }
  }
  put(u'"', out);
}

// The bytes a hex form lists: the UTF-16LE units of a string type, as the
// registry holds it in Unicode, or the data as they are.
std::string listed_bytes(const RegValue& value) {
  if (!is_string_type(value.type)) {
    return std::string(value.data.begin(), value.data.end());
  }
  std::string units;
  append_utf16le(std::string(value.data.begin(), value.data.end()), &units);
  return units;
}

// hex: for REG_BINARY, hex(type): for every other type, then the bytes in
// lower case, separated by commas, continued with "\" and two blanks on a
// new line once a line reaches kWrapColumn.
void put_hex(const RegValue& value, size_t line_start, std::string* out) {
  char prefix[24];
  if (value.type == W32_REG_BINARY) {
    std::snprintf(prefix, sizeof prefix, "hex:");
  } else {
    std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
  }
  put_ascii(prefix, out);
  static const char kDigits[] = "0123456789abcdef";
  std::string bytes = listed_bytes(value);
  for (size_t i = 0; i < bytes.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(bytes[i]);
    put(kDigits[byte >> 4], out);
    put(kDigits[byte & 0x0F], out);
    if (i + 1 == bytes.size()) break;
    put(u',', out);
    if (column(*out, line_start) >= kWrapColumn) {
      put_ascii("\\\r\n", out);
      line_start = out->size();
      put_ascii("  ", out);
    }
  }
}

// A REG_SZ as text: up to its first zero byte.
void put_string(const RegValue& value, std::string* out) {
  size_t length = 0;
  while (length < value.data.size() && value.data[length] != 0) ++length;
  put_quoted(std::string(value.data.begin(), value.data.begin() + length), out);
}

void put_dword(const RegValue& value, std::string* out) {
  uint32_t number = value.data[0] | (value.data[1] << 8) |
                    (value.data[2] << 16) |
                    (static_cast<uint32_t>(value.data[3]) << 24);
  char text[24];
  std::snprintf(text, sizeof text, "dword:%08x", number);
  put_ascii(text, out);
}

}  // namespace

void append_utf16le(const std::string& text, std::string* out) {
  std::u16string units;
  units_of(text, &units);
  for (char16_t unit : units) put(unit, out);
}

void regfile_write_header(std::string* out) {
  put(u'\xFEFF', out);
  put_ascii("Windows Registry Editor Version 5.00\r\n\r\n", out);
}

void regfile_write_key(const std::string& full_path, std::string* out) {
  put(u'[', out);
  append_utf16le(full_path, out);
  put_ascii("]\r\n", out);
}

void regfile_write_value(const RegValue& value, std::string* out) {
  size_t line_start = out->size();
  if (value.name.empty()) {
    put(u'@', out);
  } else {
    put_quoted(value.name, out);
  }
  put(u'=', out);
  if (value.type == W32_REG_SZ) {
    put_string(value, out);
  } else if (value.type == W32_REG_DWORD && value.data.size() == 4) {
    put_dword(value, out);
  } else {
    put_hex(value, line_start, out);
  }
  put_ascii("\r\n", out);
}

void regfile_write_key_end(std::string* out) { put_ascii("\r\n", out); }
