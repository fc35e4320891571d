// UTF-8, strictly: no overlong forms, no surrogates, nothing above U+10FFFF;
// and the surrogate pairs of UTF-16.
#pragma once

#include <cstdint>
#include <string>

// Decodes the character at text[*pos] into *code_point and moves *pos past
// it; false, *pos unchanged, when the bytes there are not one whole UTF-8
// character.
inline bool utf8_decode(const std::string& text, size_t* pos,
                        uint32_t* code_point) {
  size_t at = *pos;
  if (at >= text.size()) return false;
  unsigned char lead = static_cast<unsigned char>(text[at]);
  size_t length = 0;
  uint32_t value = 0;
  uint32_t least = 0;
  if (lead < 0x80) {
    *code_point = lead;
    *pos = at + 1;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, least = 0x10000;
  } else {
    return false;
  }
  if (text.size() - at < length) return false;
  for (size_t i = 1; i < length; ++i) {
    unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return false;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < least || value > 0x10FFFF) return false;
  if (value >= 0xD800 && value <= 0xDFFF) return false;
  *code_point = value;
  *pos = at + length;
  return true;
}

// True when the whole text is UTF-8.
inline bool utf8_valid(const std::string& text) {
  size_t pos = 0;
  uint32_t code_point = 0;
  while (pos < text.size()) {
    if (!utf8_decode(text, &pos, &code_point)) return false;
  }
  return true;
}

// Appends the UTF-8 bytes of code_point (at most U+10FFFF, no surrogate).
inline void utf8_append(uint32_t code_point, std::string* text) {
  if (code_point < 0x80) {
    text->push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    text->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    text->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    text->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    text->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    text->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    text->push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    text->push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    text->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    text->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

// Whether a UTF-16 unit is the first of a surrogate pair.
inline bool utf16_high_surrogate(uint32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

// Whether a UTF-16 unit is the second of a surrogate pair.
inline bool utf16_low_surrogate(uint32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Appends the UTF-16 units of code_point (at most U+10FFFF, no surrogate).
inline void utf16_append(uint32_t code_point, std::u16string* units) {
  if (code_point < 0x10000) {
    units->push_back(static_cast<char16_t>(code_point));
    return;
  }
  code_point -= 0x10000;
  units->push_back(static_cast<char16_t>(0xD800 | (code_point >> 10)));
  units->push_back(static_cast<char16_t>(0xDC00 | (code_point & 0x3FF)));
}
