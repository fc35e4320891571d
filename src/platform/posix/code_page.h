// The system code page of the POSIX platform: Windows-1252, the ANSI code
// page Wine gives a prefix in the C and English locales, which the tests and
// the Windows build run in. Names and texts of the registry and of the setup
// file are 8-bit text in it; these conversions turn UTF-16 into it as Wine's
// ANSI calls do (Windows' best-fit replacements, '?' for characters it
// lacks), and each of its bytes back into the one UTF-16 unit it stands for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The UTF-16 unit of code page byte c (the five bytes Windows-1252 leaves
// undefined stand for U+0081, U+008D, U+008F, U+0090 and U+009D).
char16_t code_page_to_utf16(unsigned char c);

// Appends the code page's byte for code_point: its own byte, a best-fit
// replacement, or '?'; "??" for a code point beyond the basic plane.
void code_page_append(uint32_t code_point, std::string* text);

// Appends the code page text of count UTF-16 units: a surrogate pair becomes
// "??", a lone surrogate '?'.
void code_page_from_utf16(const char16_t* units, size_t count,
                          std::string* text);
