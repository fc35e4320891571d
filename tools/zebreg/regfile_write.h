// Registry files as reg export writes them: "Windows Registry Editor
// Version 5.00" in UTF-16LE after a byte order mark, with CRLF line ends.
// Each key is a "[HKEY_LOCAL_MACHINE\...]" line, its values one a line, then
// a blank line. Names and strings, the store's text (UTF-8), are written as
// their UTF-16 characters. Every function appends the file's
// bytes to *out.
#pragma once

#include <string>

#include "zebreg_registry.h"

// The byte order mark, the header line and a blank line.
void regfile_write_header(std::string* out);

// The line "[full_path]" that opens a key.
void regfile_write_key(const std::string& full_path, std::string* out);

// One value line, continued over further lines when its bytes need them.
void regfile_write_value(const RegValue& value, std::string* out);

// The blank line that ends a key.
void regfile_write_key_end(std::string* out);

// Appends the UTF-16LE units of the store's text.
void append_utf16le(const std::string& text, std::string* out);
