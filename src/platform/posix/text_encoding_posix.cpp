// Natively the system code page is UTF-8: text converts to UTF-8 as the
// same bytes, and to UTF-16 by decoding them. Text that is not UTF-8 (a
// store written before its text was UTF-8) reads as Windows-1252.
#include "platform/text_encoding.h"
#include "platform/utf8.h"

StatusCode text_from_utf8(const std::string& utf8, std::string* text) {
  if (!utf8_valid(utf8)) return W32_ERROR_NO_UNICODE_TRANSLATION;
  *text = utf8;
  return W32_ERROR_SUCCESS;
}

void text_to_utf8(const std::string& text, std::string* utf8) {
  if (utf8_valid(text)) {
    *utf8 = text;
    return;
  }
  utf8->clear();
  for (char c : text) {
    utf8_append(windows_1252_to_utf16(static_cast<unsigned char>(c)), utf8);
  }
}

void text_to_utf16(const std::string& text, std::u16string* units) {
  units->clear();
  if (!utf8_valid(text)) {
    for (char c : text) {
      units->push_back(windows_1252_to_utf16(static_cast<unsigned char>(c)));
    }
    return;
  }
  size_t pos = 0;
  uint32_t code_point = 0;
  while (utf8_decode(text, &pos, &code_point)) utf16_append(code_point, units);
}

StatusCode text_from_utf16(const std::u16string& units, std::string* text) {
  text->clear();
  StatusCode status = W32_ERROR_SUCCESS;
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t unit = units[i];
    if (utf16_high_surrogate(unit) && i + 1 < units.size() &&
        utf16_low_surrogate(units[i + 1])) {
      utf8_append(0x10000 + ((unit - 0xD800) << 10) + (units[++i] - 0xDC00),
                  text);
    } else if (utf16_high_surrogate(unit) || utf16_low_surrogate(unit)) {
      text->push_back('?');
      status = W32_ERROR_NO_UNICODE_TRANSLATION;
    } else {
      utf8_append(unit, text);
    }
  }
  return status;
}

std::vector<std::string> process_utf8_arguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return arguments;
}
