// The text of the probe's scripts and answers: Windows-1252 on both sides,
// the system code page in between.
#include <cstdio>
#include <string>

#include "platform/text_encoding.h"
#include "probe.h"

std::string from_script(const std::string& text) {
  std::u16string units;
  for (char c : text) {
    units.push_back(windows_1252_to_utf16(static_cast<unsigned char>(c)));
  }
  std::string converted;
  text_from_utf16(units, &converted);
  return converted;
}

std::string to_script(const char* text) {
  std::u16string units;
  text_to_utf16(text, &units);
  std::string converted;
  windows_1252_from_utf16(units, &converted);
  return converted;
}

std::string escaped(const char* text) {
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
       *p != '\0'; ++p) {
    if (*p < 0x20 || *p > 0x7E || *p == '\\') {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02x", *p);
      out += code;
    } else {
      out += static_cast<char>(*p);
    }
  }
  return out;
}

void print_text(const char* text) {
  std::printf("[%s]", escaped(to_script(text).c_str()).c_str());
}
