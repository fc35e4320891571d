// Text between UTF-8, which JSON and the programs that speak it use, and the
// system code page, in which the registry, the setup file and the console
// take their 8-bit text: on Windows the ANSI code page, natively UTF-8.
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

// The process's arguments after the program, as UTF-8: on Windows from the
// wide command line, so that no character of an argument outside the ANSI
// code page is lost; natively argv itself.
std::vector<std::string> process_utf8_arguments(int argc, char** argv);
