// Natively the system code page is UTF-8: the text is the same bytes.
#include "platform/posix/code_page.h"
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
    utf8_append(code_page_to_utf16(static_cast<unsigned char>(c)), utf8);
  }
}

std::vector<std::string> process_utf8_arguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return arguments;
}
