// The parsed form of an INF file, the SetupAPI line model, and the reads
// that serve the INF operations from it.
//
// inf_parse_text turns the 8-bit text of a file into one InfModel: one text
// buffer that holds every field (key included) as a zero-terminated run, and
// small records of offsets into it for fields, lines and sections. The model
// is never changed after parsing, so one parsed file can serve any number of
// open handles at once. %key% references stay in the fields as written and
// are replaced when a field is read, from [Strings] as it stands after the
// whole file is parsed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

struct InfFieldRecord {
  uint32_t offset;  // into InfModel::text
  uint32_t length;  // without the terminator
};

struct InfLineRecord {
  uint32_t first_field;       // into InfModel::fields
  uint32_t field_count : 31;  // the key included
  uint32_t has_key : 1;       // field 0 is a key written before '='
};

struct InfSectionRecord {
  InfFieldRecord name;  // as first written
  uint32_t first_line;  // into InfModel::lines
  uint32_t line_count;
};

struct InfModel {
  std::string text;                        // fields, each zero-terminated
  std::vector<InfFieldRecord> fields;      // by line, in line order
  std::vector<InfLineRecord> lines;        // each section's together
  std::vector<InfSectionRecord> sections;  // by first appearance
  int32_t strings_section = -1;            // [Strings], or -1
};

// Parses size bytes of 8-bit text at data, up to the first Ctrl-Z, into *out
// (replacing what it held). On failure *out is empty and the code is
// 0xE0000000 for text before the first section header, 0xE0000001 for a
// header without its ']', 0xE0000002 for a section name over 255 characters,
// 8 for a text too large for the model's 32-bit offsets.
StatusCode inf_parse_text(const char* data, size_t size, InfModel* out);

// True when the names are equal with only A-Z folded to a-z, as SetupAPI
// compares section names, keys and file names.
bool inf_names_equal(const char* a, size_t a_length, const char* b,
                     size_t b_length);

// Index of the section called name; -1 when there is none, and for a null
// model or name.
int32_t inf_model_find_section(const InfModel* model, const char* name);

// Line index of section; both must be in range.
const InfLineRecord* inf_model_line(const InfModel* model, uint32_t section,
                                    uint32_t index);

// Stores in *index the position in section of its first line whose field 0,
// substituted, is key (any line when key is null); 0xE0000102 when none is.
StatusCode inf_model_find_line(const InfModel* model, uint32_t section,
                               const char* key, uint32_t* index);

// Field index of line as parsed, %key% unreplaced; null when the line has
// none. Field 0 is the key, or the value of a keyless line of one field.
const InfFieldRecord* inf_model_raw_field(const InfModel* model,
                                          const InfLineRecord* line,
                                          uint32_t index);

// The zero-terminated text of field.
const char* inf_model_field_text(const InfModel* model,
                                 const InfFieldRecord& field);

// Stores field in *out with each %name% replaced by its [Strings] value as
// written and each %% by %; unknown names and a lone % stay as written.
void inf_model_substitute(const InfModel* model, const InfFieldRecord& field,
                          std::string* out);

// Stores field index of line, substituted, in *out; 31 when the line has no
// such field (SetupAPI sets no code then, the win32 backend reports 31).
StatusCode inf_model_read_field(const InfModel* model,
                                const InfLineRecord* line, uint32_t index,
                                std::string* out);

// Reads text as the C library's strtol with base 0 reads a 32-bit long
// (blanks, a sign, 0x hexadecimal or 0 octal, clamped to the range) into
// *value; an empty text reads as 0. 13 when text holds anything else.
StatusCode inf_parse_int(const char* text, int32_t* value);
