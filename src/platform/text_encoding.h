// Text between the system code page, in which the registry, the setup file,
// the command line and the console take their 8-bit text (on Windows the
// ANSI code page, natively UTF-8), and the encodings other programs and
// files use: UTF-8 for JSON, UTF-16 for registry files, and Windows-1252 for
// REGEDIT4 files.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

// The system code page's bytes for the UTF-8 text utf8 into *text: 0, or
// 1113 (no mapping) when a character has no byte of its own in the code
// page, where Windows would put '?' or a look-alike in its place; nothing
// is ever stored in place of a character. 1113 also for bytes that are not
// UTF-8.
StatusCode text_from_utf8(const std::string& utf8, std::string* text);

// The UTF-8 form of the system code page text into *utf8. Natively, bytes
// that are not UTF-8 (a store written before its text was UTF-8) are read
// as Windows-1252, one character each, so the result is always UTF-8.
void text_to_utf8(const std::string& text, std::string* utf8);

// The UTF-16 form of the system code page text into *units, read as
// text_to_utf8 reads it (natively UTF-8, or Windows-1252 when the text is
// not UTF-8).
void text_to_utf16(const std::string& text, std::u16string* units);

// The system code page text of the UTF-16 units into *text: 0, or 1113 when
// a character has no form in the code page (natively only a lone surrogate;
// on Windows any character the ANSI code page lacks), which then stands as
// '?' in *text, with no look-alike in its place.
StatusCode text_from_utf16(const std::u16string& units, std::string* text);

// The UTF-16 unit of Windows-1252 byte c; the five bytes Windows-1252 leaves
// undefined stand for U+0081, U+008D, U+008F, U+0090 and U+009D.
char16_t windows_1252_to_utf16(unsigned char c);

// Appends the Windows-1252 text of the UTF-16 units as Windows converts it:
// a character's own byte, Windows' best-fit replacement (U+0100 as 'A'), or
// '?', which a surrogate pair takes twice.
void windows_1252_from_utf16(const std::u16string& units, std::string* text);

// The process's arguments after the program, as UTF-8: on Windows from the
// wide command line, so that no character of an argument outside the ANSI
// code page is lost; natively argv itself.
std::vector<std::string> process_utf8_arguments(int argc, char** argv);
