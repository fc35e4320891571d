// The text of an INF file as the reader parses it: UTF-8, the native
// system code page. Files in UTF-8 with a byte order mark and files in
// UTF-16LE (with a byte order mark, or starting with an ASCII character as
// two bytes) are converted to it as SetupAPI reads them, a broken UTF-8
// sequence or a lone surrogate becoming '?'. An 8-bit file that is not
// UTF-8 is read as Windows-1252, the ANSI code page in which the Windows
// build reads it.
#pragma once

#include <string>

// True when raw needs converting (inf_decode_text); false for UTF-8 without
// a byte order mark (ASCII among it), which the parser reads as it stands.
bool inf_text_needs_decoding(const std::string& raw);

// Converts raw (UTF-8 or UTF-16LE, byte order mark included or not, or
// Windows-1252) into UTF-8 in *text.
void inf_decode_text(const std::string& raw, std::string* text);
