// Registry files as reg import reads them: a "Windows Registry Editor
// Version 5.00" file in UTF-16LE after a byte order mark or in Windows-1252,
// or a "REGEDIT4" file (Windows-1252). After the header, each line is blank, a
// comment (";" or "#"), a key ("[KEY]", or "[-KEY]" to delete it with its
// subtree) or a value of the last key ("name"=... or @=... for the default
// value; =- deletes it). Value data: "text", dword:1 to 8 hex digits, hex:
// (REG_BINARY) or hex(type): with comma-separated bytes, continued on the
// next line after a trailing "\". Strings escape \\, \", \r and \n.
//
// The reader reads one statement at a time and says what is wrong with the
// first line it cannot read; it knows nothing of the store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What a statement asks for.
enum class RegFileAction { kKey, kDeleteKey, kValue, kDeleteValue };

// One statement, in the store's terms: names and text as the store's text
// (UTF-8).
struct RegFileEntry {
  RegFileAction action;
  std::string path;           // kKey, kDeleteKey: below HKEY_LOCAL_MACHINE
  std::string name;           // kValue, kDeleteValue: "" for the default
  uint32_t type;              // kValue: REG_* type
  std::vector<uint8_t> data;  // kValue: the bytes as the store keeps them
};

// A registry file being read.
struct RegFileReader {
  const unsigned char* bytes;  // the whole file, owned by the caller
  size_t size;                 // its length
  size_t pos;                  // offset of the next line
  bool utf16;                  // UTF-16LE after a byte order mark
  bool unicode_hex;            // hex(1), hex(2), hex(7) bytes are UTF-16LE
  bool in_key;                 // a key line opened the values that follow
  size_t line_number;          // of the line last read; the header is 1
  std::u16string line;         // that line, without its line end
};

enum class RegFileStatus { kEntry, kEnd, kError };

// Starts reading file, which must outlive reader; false when its first line
// is not a registry file's header.
bool regfile_open(const std::string& file, RegFileReader* reader);

// Reads the next statement into *entry: kEntry, kEnd after the last one, or
// kError with *reason saying what is wrong with line reader->line_number.
RegFileStatus regfile_next(RegFileReader* reader, RegFileEntry* entry,
                           std::string* reason);
