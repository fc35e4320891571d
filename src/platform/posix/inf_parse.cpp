// The INF parser: one pass over the text that records lines in file order,
// and the runs of lines that each section header starts; a section written
// in several places has its runs brought together at the end. The reads of
// the model it builds are in inf_model.cpp.
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/inf_model.h"

namespace {

// Lengths in UTF-16 units, as SetupAPI counts them.
constexpr size_t kMaxSectionNameLength = 255;
constexpr size_t kMaxFieldLength = 511;  // longer fields are cut
// Larger texts are refused: the model addresses its text by 32-bit offsets,
// and the text it builds is at most about twice the size of what it parses.
constexpr size_t kMaxTextSize = 0x3FFFFFFF;
constexpr char kEndOfText = '\x1A';  // Ctrl-Z: nothing after it is read

// The blanks of SetupAPI beyond ASCII, in UTF-8: U+0085, U+00A0, U+1680,
// U+2000 to U+200A, U+2028, U+2029, U+202F, U+205F and U+3000.
bool is_wide_blank(const unsigned char* p, size_t left) {
  if (left >= 2 && p[0] == 0xC2) return p[1] == 0x85 || p[1] == 0xA0;
  if (left < 3) return false;
  if (p[0] == 0xE1) return p[1] == 0x9A && p[2] == 0x80;
  if (p[0] == 0xE3) return p[1] == 0x80 && p[2] == 0x80;
  if (p[0] != 0xE2) return false;
  if (p[1] == 0x80) {
    return p[2] <= 0x8A || p[2] == 0xA8 || p[2] == 0xA9 || p[2] == 0xAF;
  }
  return p[1] == 0x81 && p[2] == 0x9F;
}

// The bytes of the blank at data[pos] (of size), as SetupAPI sees blanks in
// the UTF-8 text: 1 for an ASCII one, 2 or 3 for a wider one, 0 for none.
size_t blank_length(const char* data, size_t pos, size_t size) {
  char c = data[pos];
  if (c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f') return 1;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(data + pos);
  if (!is_wide_blank(p, size - pos)) return 0;
  return p[0] == 0xC2 ? 2 : 3;
}

// Whether byte c begins a character of UTF-8 text.
bool starts_character(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

// The UTF-16 units of the character whose UTF-8 form begins with byte c.
size_t character_units(char c) {
  return static_cast<unsigned char>(c) >= 0xF0 ? 2 : 1;
}

// The UTF-16 units of length bytes of UTF-8 text.
size_t utf16_length(const char* text, size_t length) {
  size_t units = 0;
  for (size_t i = 0; i < length; ++i) {
    if (starts_character(text[i])) units += character_units(text[i]);
  }
  return units;
}

// ---------------------------------------------------------------------------
// Parsing.

// Lines [first, first + count) of InfModel::lines, all of section.
struct InfLineRun {
  uint32_t section;
  uint32_t first;
  uint32_t count;
};

// The state of the one pass over the text.
struct Parser {
  const char* data;
  size_t size;
  size_t pos;
  InfModel* model;
  int32_t section;      // current section, -1 before the first
  std::string field;    // the field being built
  size_t field_units;   // UTF-16 units of field
  bool field_full;      // a character did not fit: the field ends there
  std::string pending;  // blanks inside a field, kept if more text follows
  bool field_started;
  bool has_key;
  uint32_t line_fields;  // fields of the current line so far
  bool line_started;
  std::vector<InfLineRun> runs;  // in file order
};

// Appends bytes of UTF-8 text to the field while its characters fit, whole;
// the first that does not fit ends it.
void append_to_field(Parser* parser, const char* text, size_t length) {
  for (size_t i = 0; i < length && !parser->field_full; ++i) {
    if (starts_character(text[i])) {
      size_t units = character_units(text[i]);
      if (parser->field_units + units > kMaxFieldLength) {
        parser->field_full = true;
        break;
      }
      parser->field_units += units;
    }
    parser->field.push_back(text[i]);
  }
}

void clear_field(Parser* parser) {
  parser->field.clear();
  parser->field_units = 0;
  parser->field_full = false;
  parser->pending.clear();
  parser->field_started = false;
}

void emit_pending(Parser* parser) {
  append_to_field(parser, parser->pending.data(), parser->pending.size());
  parser->pending.clear();
}

// Stores the field being built as the next field of the current line.
void finish_field(Parser* parser) {
  InfModel* model = parser->model;
  InfFieldRecord record = {static_cast<uint32_t>(model->text.size()),
                           static_cast<uint32_t>(parser->field.size())};
  model->text.append(parser->field);
  model->text.push_back('\0');
  model->fields.push_back(record);
  ++parser->line_fields;
  clear_field(parser);
}

void skip_to_line_end(Parser* parser) {
  while (parser->pos < parser->size && parser->data[parser->pos] != '\n') {
    ++parser->pos;
  }
}

void skip_blanks(Parser* parser) {
  size_t length = 0;
  while (parser->pos < parser->size &&
         (length = blank_length(parser->data, parser->pos, parser->size)) > 0) {
    parser->pos += length;
  }
}

// At a section header's '['; records the section (merging repeats).
StatusCode parse_section_header(Parser* parser) {
  const char* start = parser->data + parser->pos + 1;
  size_t length = 0;
  while (parser->pos + 1 + length < parser->size && start[length] != ']' &&
         start[length] != '\n') {
    ++length;
  }
  if (parser->pos + 1 + length >= parser->size || start[length] != ']') {
    return W32_ERROR_BAD_SECTION_NAME_LINE;
  }
  if (utf16_length(start, length) > kMaxSectionNameLength) {
    return W32_ERROR_SECTION_NAME_TOO_LONG;
  }
  InfModel* model = parser->model;
  int32_t found = -1;
  for (size_t i = 0; i < model->sections.size(); ++i) {
    const InfFieldRecord& name = model->sections[i].name;
    if (inf_names_equal(inf_model_field_text(model, name), name.length, start,
                        length)) {
      found = static_cast<int32_t>(i);
      break;
    }
  }
  if (found < 0) {
    InfSectionRecord record = {{static_cast<uint32_t>(model->text.size()),
                                static_cast<uint32_t>(length)},
                               0,
                               0};
    model->text.append(start, length);
    model->text.push_back('\0');
    model->sections.push_back(record);
    found = static_cast<int32_t>(model->sections.size() - 1);
  }
  parser->section = found;
  parser->runs.push_back({static_cast<uint32_t>(found),
                          static_cast<uint32_t>(model->lines.size()), 0});
  skip_to_line_end(parser);
  return W32_ERROR_SUCCESS;
}

// At a '\\' outside quotes: true (and moved to the start of the next line's
// text) when it continues the line, that is when only blanks, backslashes or
// a comment follow it on its line.
bool take_continuation(Parser* parser) {
  size_t next = parser->pos + 1;
  while (next < parser->size) {
    size_t length = parser->data[next] == '\\'
                        ? 1
                        : blank_length(parser->data, next, parser->size);
    if (length == 0) break;
    next += length;
  }
  if (next < parser->size && parser->data[next] != '\n' &&
      parser->data[next] != ';') {
    return false;
  }
  parser->pos = next;
  skip_to_line_end(parser);
  if (parser->pos < parser->size) ++parser->pos;
  skip_blanks(parser);
  parser->pending.clear();
  return true;
}

// At an opening quote: copies the quoted text, "" standing for one quote.
// The end of the line also ends the quote.
void parse_quoted(Parser* parser) {
  emit_pending(parser);
  parser->field_started = true;
  ++parser->pos;
  while (parser->pos < parser->size) {
    char c = parser->data[parser->pos];
    if (c == '\n') return;
    ++parser->pos;
    if (c == '"') {
      if (parser->pos < parser->size && parser->data[parser->pos] == '"') {
        append_to_field(parser, "\"", 1);
        ++parser->pos;
        continue;
      }
      return;
    }
    append_to_field(parser, &c, 1);
  }
}

// Records the current line, if it holds anything, in file order.
void finish_line(Parser* parser) {
  if (!parser->line_started) return;
  finish_field(parser);
  InfModel* model = parser->model;
  InfLineRecord record = {};
  record.first_field =
      static_cast<uint32_t>(model->fields.size()) - parser->line_fields;
  record.field_count = parser->line_fields;
  record.has_key = parser->has_key ? 1 : 0;
  model->lines.push_back(record);
  ++parser->runs.back().count;
}

void start_line(Parser* parser) {
  clear_field(parser);
  parser->has_key = false;
  parser->line_fields = 0;
  parser->line_started = false;
}

// Parses one line of keys and values, from its first character to its end.
void parse_data_line(Parser* parser) {
  start_line(parser);
  while (parser->pos < parser->size) {
    char c = parser->data[parser->pos];
    if (c == '\n') break;
    if (c == ';') {
      skip_to_line_end(parser);
      break;
    }
    if (c == '\\' && take_continuation(parser)) {
      parser->line_started = true;
      continue;
    }
    parser->line_started = true;
    if (c == '"') {
      parse_quoted(parser);
    } else if (c == ',' ||
               (c == '=' && !parser->has_key && parser->line_fields == 0)) {
      finish_field(parser);
      if (c == '=') parser->has_key = true;
      ++parser->pos;
      skip_blanks(parser);
    } else if (size_t blank =
                   blank_length(parser->data, parser->pos, parser->size)) {
      if (parser->field_started)
        parser->pending.append(parser->data + parser->pos, blank);
      parser->pos += blank;
    } else {
      emit_pending(parser);
      append_to_field(parser, &c, 1);
      parser->field_started = true;
      ++parser->pos;
    }
  }
  finish_line(parser);
}

// Parses the whole text; lines are left in file order in raw_lines.
StatusCode parse_lines(Parser* parser) {
  while (parser->pos < parser->size) {
    skip_blanks(parser);
    if (parser->pos >= parser->size) break;
    char c = parser->data[parser->pos];
    if (c == '\n') {
      ++parser->pos;
      continue;
    }
    if (c == ';') {
      skip_to_line_end(parser);
      continue;
    }
    if (c == '[') {
      StatusCode status = parse_section_header(parser);
      if (status != W32_ERROR_SUCCESS) return status;
      continue;
    }
    if (parser->section < 0) return W32_ERROR_EXPECTED_SECTION_NAME;
    parse_data_line(parser);
  }
  return W32_ERROR_SUCCESS;
}

// Counts each section's lines and its runs; true when every section's lines
// already lie together.
bool count_lines(Parser* parser) {
  InfModel* model = parser->model;
  std::vector<uint32_t> runs(model->sections.size(), 0);
  bool together = true;
  for (const InfLineRun& run : parser->runs) {
    if (run.count == 0) continue;
    InfSectionRecord& section = model->sections[run.section];
    if (runs[run.section]++ == 0) section.first_line = run.first;
    together = together && runs[run.section] == 1;
    section.line_count += run.count;
  }
  return together;
}

// Brings the runs of each section together, keeping file order within each
// section.
void group_lines(Parser* parser) {
  InfModel* model = parser->model;
  std::vector<InfLineRecord> grouped;
  grouped.reserve(model->lines.size());
  std::vector<std::vector<const InfLineRun*>> by_section(
      model->sections.size());
  for (const InfLineRun& run : parser->runs) {
    by_section[run.section].push_back(&run);
  }
  for (size_t i = 0; i < model->sections.size(); ++i) {
    model->sections[i].first_line = static_cast<uint32_t>(grouped.size());
    for (const InfLineRun* run : by_section[i]) {
      grouped.insert(grouped.end(), model->lines.begin() + run->first,
                     model->lines.begin() + run->first + run->count);
    }
  }
  model->lines.swap(grouped);
}

// The length of the text the parser reads: up to the first Ctrl-Z.
size_t text_length(const char* data, size_t size) {
  const void* end = size == 0 ? nullptr : std::memchr(data, kEndOfText, size);
  return end == nullptr ? size : static_cast<const char*>(end) - data;
}

}  // namespace

StatusCode inf_parse_text(const char* data, size_t size, InfModel* out) {
  *out = InfModel();
  size = text_length(data, size);
  if (size > kMaxTextSize) return W32_ERROR_NOT_ENOUGH_MEMORY;
  Parser parser = {};
  parser.data = data;
  parser.size = size;
  parser.model = out;
  parser.section = -1;
  out->text.reserve(size + size / 4 + 16);
  out->fields.reserve(size / 8 + 4);
  out->lines.reserve(size / 16 + 4);
  StatusCode status = parse_lines(&parser);
  if (status != W32_ERROR_SUCCESS) {
    *out = InfModel();
    return status;
  }
  if (!count_lines(&parser)) group_lines(&parser);
  out->strings_section = inf_model_find_section(out, "Strings");
  return W32_ERROR_SUCCESS;
}
