// The ANSI code page, UTF-8 and Windows-1252 through UTF-16, as Windows
// converts them.
#include "platform/text_encoding.h"
#include "platform/win32/win32_error.h"
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

namespace {

constexpr UINT kWindows1252 = 1252;

// text of code page from as UTF-16; false when it is not text of it.
bool to_wide(UINT from, DWORD flags, const std::string& text,
             std::wstring* wide) {
  wide->clear();
  if (text.empty()) return true;
  int length = static_cast<int>(text.size());
  int units = MultiByteToWideChar(from, flags, text.data(), length, nullptr, 0);
  if (units <= 0) return false;
  wide->resize(static_cast<size_t>(units));
  return MultiByteToWideChar(from, flags, text.data(), length, &(*wide)[0],
                             units) == units;
}

// UTF-16 as UTF-8 (which has a form for every unit but a lone surrogate).
std::string wide_to_utf8(const wchar_t* wide, int units) {
  std::string utf8;
  if (units <= 0) return utf8;
  int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, units, nullptr, 0, nullptr,
                                  nullptr);
  if (bytes <= 0) return utf8;
  utf8.resize(static_cast<size_t>(bytes));
  WideCharToMultiByte(CP_UTF8, 0, wide, units, &utf8[0], bytes, nullptr,
                      nullptr);
  return utf8;
}

// UTF-16 as text of code page to, '?' for a character it lacks (no
// best-fit look-alike): 0, or 1113 when any character was lacking.
StatusCode from_wide(UINT to, const std::wstring& wide, std::string* text) {
  text->clear();
  if (wide.empty()) return W32_ERROR_SUCCESS;
  int units = static_cast<int>(wide.size());
  BOOL used_default = FALSE;
  int bytes = WideCharToMultiByte(to, WC_NO_BEST_FIT_CHARS, wide.data(), units,
                                  nullptr, 0, nullptr, &used_default);
  if (bytes <= 0) return W32_ERROR_NO_UNICODE_TRANSLATION;
  text->resize(static_cast<size_t>(bytes));
  WideCharToMultiByte(to, WC_NO_BEST_FIT_CHARS, wide.data(), units, &(*text)[0],
                      bytes, nullptr, &used_default);
  // A character may come back from the code page as another one (a
  // best-fit form the flag did not catch): only a round trip is exact.
  std::wstring back;
  if (used_default || !to_wide(to, 0, *text, &back) || back != wide) {
    return W32_ERROR_NO_UNICODE_TRANSLATION;
  }
  return W32_ERROR_SUCCESS;
}

std::wstring wide_of(const std::u16string& units) {
  return std::wstring(units.begin(), units.end());
}

}  // namespace

StatusCode text_from_utf8(const std::string& utf8, std::string* text) {
  std::wstring wide;
  if (!to_wide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, &wide)) {
    return W32_ERROR_NO_UNICODE_TRANSLATION;
  }
  StatusCode status = from_wide(CP_ACP, wide, text);
  if (status != W32_ERROR_SUCCESS) text->clear();
  return status;
}

void text_to_utf8(const std::string& text, std::string* utf8) {
  std::wstring wide;
  to_wide(CP_ACP, 0, text, &wide);
  *utf8 = wide_to_utf8(wide.data(), static_cast<int>(wide.size()));
}

void text_to_utf16(const std::string& text, std::u16string* units) {
  std::wstring wide;
  to_wide(CP_ACP, 0, text, &wide);
  units->assign(wide.begin(), wide.end());
}

StatusCode text_from_utf16(const std::u16string& units, std::string* text) {
  return from_wide(CP_ACP, wide_of(units), text);
}

char16_t windows_1252_to_utf16(unsigned char c) {
  char byte = static_cast<char>(c);
  wchar_t unit = L'?';
  MultiByteToWideChar(kWindows1252, 0, &byte, 1, &unit, 1);
  return static_cast<char16_t>(unit);
}

void windows_1252_from_utf16(const std::u16string& units, std::string* text) {
  std::wstring wide = wide_of(units);
  if (wide.empty()) return;
  int count = static_cast<int>(wide.size());
  int bytes = WideCharToMultiByte(kWindows1252, 0, wide.data(), count, nullptr,
                                  0, nullptr, nullptr);
  if (bytes <= 0) return;
  std::string converted(static_cast<size_t>(bytes), '?');
  WideCharToMultiByte(kWindows1252, 0, wide.data(), count, &converted[0], bytes,
                      nullptr, nullptr);
  text->append(converted);
}

std::vector<std::string> process_utf8_arguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    for (int i = 1; i < argc; ++i) {
      std::string utf8;
      text_to_utf8(argv[i], &utf8);
      arguments.push_back(utf8);
    }
    return arguments;
  }
  for (int i = 1; i < count; ++i) {
    arguments.push_back(
        wide_to_utf8(wide[i], static_cast<int>(lstrlenW(wide[i]))));
  }
  LocalFree(wide);
  return arguments;
}
