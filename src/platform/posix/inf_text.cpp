#include "platform/posix/inf_text.h"

#include <cstddef>
#include <cstdint>

#include "platform/text_encoding.h"
#include "platform/utf8.h"

namespace {

const unsigned char* bytes(const std::string& raw) {
  return reinterpret_cast<const unsigned char*>(raw.data());
}

bool has_utf8_mark(const std::string& raw) {
  return raw.compare(0, 3, "\xEF\xBB\xBF") == 0;
}

bool has_utf16_mark(const std::string& raw) {
  return raw.size() >= 2 && bytes(raw)[0] == 0xFF && bytes(raw)[1] == 0xFE;
}

// UTF-16LE without a mark: the first character is ASCII (and not zero).
bool looks_like_utf16(const std::string& raw) {
  return raw.size() >= 2 && raw.size() % 2 == 0 && bytes(raw)[0] != 0 &&
         bytes(raw)[0] < 0x80 && bytes(raw)[1] == 0;
}

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Decodes one UTF-8 sequence at p[0] (n bytes left), appends its character
// and returns the bytes it took. A broken sequence becomes one '?': an
// invalid lead byte alone, a lead with a second byte out of its range
// together with that byte, a cut sequence with the bytes it has.
size_t decode_utf8_sequence(const unsigned char* p, size_t n,
                            std::string* text) {
  unsigned char lead = p[0];
  if (lead < 0x80) {
    text->push_back(static_cast<char>(lead));
    return 1;
  }
  size_t length = 0;
  uint32_t code_point = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code_point = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code_point = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  if (length == 0 || n < 2 || !is_continuation(p[1])) {
    text->push_back('?');
    return 1;
  }
  if (p[1] < low || p[1] > high) {
    text->push_back('?');
    return 2;
  }
  size_t taken = 1;
  while (taken < length && taken < n && is_continuation(p[taken])) {
    code_point = (code_point << 6) | (p[taken] & 0x3F);
    ++taken;
  }
  if (taken < length) {
    text->push_back('?');
  } else {
    utf8_append(code_point, text);
  }
  return taken;
}

void decode_utf8(const unsigned char* p, size_t n, std::string* text) {
  size_t pos = 0;
  while (pos < n) pos += decode_utf8_sequence(p + pos, n - pos, text);
}

void decode_utf16(const unsigned char* p, size_t n, std::string* text) {
  std::u16string units(n / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
  }
  text_from_utf16(units, text);
}


}  // namespace

bool inf_text_needs_decoding(const std::string& raw) {
  return has_utf8_mark(raw) || has_utf16_mark(raw) || looks_like_utf16(raw) ||
         !utf8_valid(raw);
}

void inf_decode_text(const std::string& raw, std::string* text) {
  text->clear();
  text->reserve(raw.size());
  if (has_utf8_mark(raw)) {
    decode_utf8(bytes(raw) + 3, raw.size() - 3, text);
  } else if (has_utf16_mark(raw)) {
    decode_utf16(bytes(raw) + 2, raw.size() - 2, text);
  } else if (looks_like_utf16(raw)) {
    decode_utf16(bytes(raw), raw.size(), text);
  } else {
    text_to_utf8(raw, text);  // UTF-8 as it is, or Windows-1252
  }
}
