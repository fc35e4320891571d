// The text of an INF file as the reader parses it: 8-bit text in the system
// code page (Windows-1252). Files in UTF-8 with a byte order mark and files
// in UTF-16LE (with a byte order mark, or starting with an ASCII character
// as two bytes) are converted to it, as SetupAPI does: with Windows'
// best-fit replacements, and '?' for characters that have none.
#pragma once

#include <string>

// True when raw needs converting (inf_decode_text); false for 8-bit text,
// which the parser reads as it stands.
bool inf_text_is_unicode(const std::string& raw);

// Converts the UTF-8 or UTF-16LE bytes raw, byte order mark included or not,
// into 8-bit text in *text.
void inf_decode_text(const std::string& raw, std::string* text);
