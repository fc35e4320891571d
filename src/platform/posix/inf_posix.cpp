// INF reader of the POSIX platform: the SetupAPI line model.
//
// Opening reads the file once and parses it in one pass into one text buffer
// that holds every field (key included) as a zero-terminated run; lines and
// sections are small records of offsets into it. %key% references are left
// in the fields and replaced when a field is read, from [Strings] as it
// stands after the whole file is parsed.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/inf.h"
#include "platform/posix/errno_status.h"
#include "platform/posix/inf_text.h"
#include "platform/posix/root_dir.h"

namespace {

// Codes of the reader besides those of platform/types.h. SetupAPI fails the
// read of a field that the line does not have without setting an error code;
// the win32 backend reports that as ERROR_GEN_FAILURE, and so does this one.
constexpr StatusCode kMissingField = W32_ERROR_GEN_FAILURE;
constexpr size_t kMaxSectionNameLength = 255;
constexpr size_t kMaxFieldLength = 511;  // longer fields are cut
// Larger files are refused: the parsed text is addressed by 32-bit offsets.
constexpr off_t kMaxFileSize = 0x3FFFFFFF;

struct FieldRecord {
  uint32_t offset;  // into InfFileHandle::text
  uint32_t length;
};

struct LineRecord {
  uint32_t section;
  uint32_t first_field;  // into InfFileHandle::fields
  uint32_t field_count;  // the key included
  bool has_key;
};

struct SectionRecord {
  FieldRecord name;
  uint32_t first_line;  // into InfFileHandle::lines, after grouping
  uint32_t line_count;
};

}  // namespace

struct InfFileHandle {
  std::string text;                     // fields, each zero-terminated
  std::vector<FieldRecord> fields;      // by line, in line order
  std::vector<LineRecord> lines;        // grouped by section, file order
  std::vector<SectionRecord> sections;  // by first appearance
  int32_t strings_section;              // [Strings], or -1
};

namespace {

char fold(char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

bool equal_folded(const char* a, size_t a_length, const char* b,
                  size_t b_length) {
  if (a_length != b_length) return false;
  for (size_t i = 0; i < a_length; ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// Blanks as SetupAPI sees them in the 8-bit text: the ASCII ones and the
// no-break space.
bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' ||
         c == '\xA0';
}

const char* field_text(const InfFileHandle* inf, const FieldRecord& field) {
  return inf->text.data() + field.offset;
}

// ---------------------------------------------------------------------------
// Parsing.

// The state of the one pass over the file.
struct Parser {
  const char* data;
  size_t size;
  size_t pos;
  InfFileHandle* inf;
  int32_t section;      // current section, -1 before the first
  std::string field;    // the field being built
  std::string pending;  // blanks inside a field, kept if more text follows
  bool field_started;
  bool has_key;
  uint32_t line_fields;  // fields of the current line so far
  bool line_started;
  std::vector<LineRecord> raw_lines;  // in file order
};

void append_to_field(Parser* parser, const char* text, size_t length) {
  size_t room = kMaxFieldLength > parser->field.size()
                    ? kMaxFieldLength - parser->field.size()
                    : 0;
  parser->field.append(text, length < room ? length : room);
}

void emit_pending(Parser* parser) {
  append_to_field(parser, parser->pending.data(), parser->pending.size());
  parser->pending.clear();
}

// Stores the field being built as the next field of the current line.
void finish_field(Parser* parser) {
  InfFileHandle* inf = parser->inf;
  FieldRecord record = {static_cast<uint32_t>(inf->text.size()),
                        static_cast<uint32_t>(parser->field.size())};
  inf->text.append(parser->field);
  inf->text.push_back('\0');
  inf->fields.push_back(record);
  ++parser->line_fields;
  parser->field.clear();
  parser->pending.clear();
  parser->field_started = false;
}

void skip_to_line_end(Parser* parser) {
  while (parser->pos < parser->size && parser->data[parser->pos] != '\n') {
    ++parser->pos;
  }
}

void skip_blanks(Parser* parser) {
  while (parser->pos < parser->size && is_blank(parser->data[parser->pos])) {
    ++parser->pos;
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
  if (length > kMaxSectionNameLength) return W32_ERROR_SECTION_NAME_TOO_LONG;
  InfFileHandle* inf = parser->inf;
  int32_t found = -1;
  for (size_t i = 0; i < inf->sections.size(); ++i) {
    const FieldRecord& name = inf->sections[i].name;
    if (equal_folded(field_text(inf, name), name.length, start, length)) {
      found = static_cast<int32_t>(i);
      break;
    }
  }
  if (found < 0) {
    SectionRecord record = {{static_cast<uint32_t>(inf->text.size()),
                             static_cast<uint32_t>(length)},
                            0,
                            0};
    inf->text.append(start, length);
    inf->text.push_back('\0');
    inf->sections.push_back(record);
    found = static_cast<int32_t>(inf->sections.size() - 1);
  }
  parser->section = found;
  skip_to_line_end(parser);
  return W32_ERROR_SUCCESS;
}

// At a '\\' outside quotes: true (and moved to the start of the next line's
// text) when it continues the line, that is when only blanks, backslashes or
// a comment follow it on its line.
bool take_continuation(Parser* parser) {
  size_t next = parser->pos + 1;
  while (next < parser->size &&
         (is_blank(parser->data[next]) || parser->data[next] == '\\')) {
    ++next;
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
  InfFileHandle* inf = parser->inf;
  LineRecord record = {
      static_cast<uint32_t>(parser->section),
      static_cast<uint32_t>(inf->fields.size()) - parser->line_fields,
      parser->line_fields, parser->has_key};
  parser->raw_lines.push_back(record);
}

void start_line(Parser* parser) {
  parser->field.clear();
  parser->pending.clear();
  parser->field_started = false;
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
    } else if (is_blank(c)) {
      if (parser->field_started) parser->pending.push_back(c);
      ++parser->pos;
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
StatusCode parse_text(Parser* parser) {
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

// Orders the lines by section, keeping file order within each section.
void group_lines(Parser* parser) {
  InfFileHandle* inf = parser->inf;
  for (const LineRecord& line : parser->raw_lines) {
    ++inf->sections[line.section].line_count;
  }
  uint32_t next = 0;
  for (SectionRecord& section : inf->sections) {
    section.first_line = next;
    next += section.line_count;
  }
  std::vector<uint32_t> fill(inf->sections.size(), 0);
  inf->lines.resize(parser->raw_lines.size());
  for (const LineRecord& line : parser->raw_lines) {
    SectionRecord& section = inf->sections[line.section];
    inf->lines[section.first_line + fill[line.section]++] = line;
  }
}

// ---------------------------------------------------------------------------
// Lookups.

// The section called name; -1 when there is none (or no file: SetupAPI
// answers a null handle as a file without sections).
int32_t find_section(const InfFileHandle* inf, const char* name) {
  if (inf == nullptr || name == nullptr) return -1;
  size_t length = std::strlen(name);
  for (size_t i = 0; i < inf->sections.size(); ++i) {
    const FieldRecord& record = inf->sections[i].name;
    if (equal_folded(field_text(inf, record), record.length, name, length)) {
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

const LineRecord* line_at(const InfFileHandle* inf, uint32_t section,
                          uint32_t index) {
  const SectionRecord& record = inf->sections[section];
  return &inf->lines[record.first_line + index];
}

// Field index of line as stored (unsubstituted); null when it has none.
// Field 0 of a line without a key is its value when it has exactly one.
const FieldRecord* raw_field(const InfFileHandle* inf, const LineRecord* line,
                             uint32_t index) {
  if (index == 0) {
    if (line->has_key || line->field_count == 1) {
      return &inf->fields[line->first_field];
    }
    return nullptr;
  }
  uint32_t position = line->has_key ? index : index - 1;
  if (position >= line->field_count) return nullptr;
  return &inf->fields[line->first_field + position];
}

// The text that %name% stands for: field 1 of the first [Strings] line with
// that key, unsubstituted; null when there is none.
const FieldRecord* string_value(const InfFileHandle* inf, const char* name,
                                size_t length) {
  if (inf->strings_section < 0) return nullptr;
  const SectionRecord& section = inf->sections[inf->strings_section];
  for (uint32_t i = 0; i < section.line_count; ++i) {
    const LineRecord* line = line_at(inf, inf->strings_section, i);
    const FieldRecord* key = raw_field(inf, line, 0);
    if (key == nullptr ||
        !equal_folded(field_text(inf, *key), key->length, name, length)) {
      continue;
    }
    return raw_field(inf, line, 1);
  }
  return nullptr;
}

// Replaces %name% from [Strings] and %% by %; unknown names stay as written.
void substitute(const InfFileHandle* inf, const FieldRecord& field,
                std::string* out) {
  const char* text = field_text(inf, field);
  size_t length = field.length;
  out->clear();
  size_t pos = 0;
  while (pos < length) {
    const char* percent =
        static_cast<const char*>(std::memchr(text + pos, '%', length - pos));
    if (percent == nullptr) break;
    size_t start = static_cast<size_t>(percent - text);
    out->append(text + pos, start - pos);
    const char* close = static_cast<const char*>(
        std::memchr(text + start + 1, '%', length - start - 1));
    if (close == nullptr) {
      pos = start;
      break;
    }
    size_t end = static_cast<size_t>(close - text);
    const FieldRecord* value =
        end == start + 1 ? nullptr
                         : string_value(inf, text + start + 1, end - start - 1);
    if (end == start + 1) {
      out->push_back('%');
    } else if (value != nullptr) {
      out->append(field_text(inf, *value), value->length);
    } else {
      out->append(text + start, end + 1 - start);
    }
    pos = end + 1;
  }
  out->append(text + pos, length - pos);
}

bool key_matches(const InfFileHandle* inf, const LineRecord* line,
                 const char* key, std::string* scratch) {
  const FieldRecord* field = raw_field(inf, line, 0);
  if (field == nullptr) return false;
  substitute(inf, *field, scratch);
  return equal_folded(scratch->data(), scratch->size(), key, std::strlen(key));
}

void fill_line(InfFileHandle* inf, uint32_t section, uint32_t index,
               InfLine* line) {
  line->inf = inf;
  line->current_inf = inf;
  line->section = section;
  line->line = index;
}

// The record a line context names, or null when it names none.
const LineRecord* context_line(const InfLine* line) {
  if (line == nullptr || line->current_inf == nullptr) return nullptr;
  const InfFileHandle* inf =
      static_cast<const InfFileHandle*>(line->current_inf);
  if (line->section >= inf->sections.size() ||
      line->line >= inf->sections[line->section].line_count) {
    return nullptr;
  }
  return line_at(inf, line->section, line->line);
}

// The substituted text of field index of the line context.
StatusCode read_field(const InfLine* line, uint32_t index, std::string* out) {
  const LineRecord* record = context_line(line);
  if (record == nullptr) return W32_ERROR_INVALID_PARAMETER;
  const InfFileHandle* inf =
      static_cast<const InfFileHandle*>(line->current_inf);
  const FieldRecord* field = raw_field(inf, record, index);
  if (field == nullptr) return kMissingField;
  substitute(inf, *field, out);
  return W32_ERROR_SUCCESS;
}

// Reads text as the C library's strtol with base 0 reads a 32-bit long:
// blanks, a sign, 0x hexadecimal or 0 octal, clamped to the range. Text
// after the number makes it invalid; text without digits reads as 0.
bool parse_long(const char* text, int32_t* value) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
      std::strchr("0123456789abcdefABCDEF", p[2] != '\0' ? p[2] : 'g')) {
    base = 16;
    p += 2;
  } else if (p[0] == '0') {
    base = 8;
  }
  const char* digits = p;
  uint64_t magnitude = 0;
  for (;; ++p) {
    int digit;
    if (*p >= '0' && *p <= '9') {
      digit = *p - '0';
    } else if (*p >= 'a' && *p <= 'f') {
      digit = *p - 'a' + 10;
    } else if (*p >= 'A' && *p <= 'F') {
      digit = *p - 'A' + 10;
    } else {
      break;
    }
    if (digit >= base) break;
    if (magnitude <= 0xFFFFFFFFull) magnitude = magnitude * base + digit;
  }
  if (p == digits) {
    if (*text != '\0') return false;
    *value = 0;
    return true;
  }
  if (*p != '\0') return false;
  if (negative) {
    *value = magnitude >= 0x80000000ull ? INT32_MIN
                                        : -static_cast<int32_t>(magnitude);
  } else {
    *value =
        magnitude > 0x7FFFFFFFull ? INT32_MAX : static_cast<int32_t>(magnitude);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Opening.

bool has_directory(const char* name) {
  return std::strchr(name, '/') != nullptr;
}

// The entry of directory whose name matches name without regard to case.
bool find_folded_entry(const std::string& directory, const char* name,
                       std::string* found) {
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return false;
  size_t length = std::strlen(name);
  bool matched = false;
  while (struct dirent* entry = readdir(dir)) {
    if (equal_folded(entry->d_name, std::strlen(entry->d_name), name, length)) {
      *found = directory + "/" + entry->d_name;
      matched = true;
      break;
    }
  }
  closedir(dir);
  return matched;
}

// The code of a failed open: a missing file whose folder is missing too is a
// missing path, as SetupAPI reports it.
StatusCode open_error(int error, const std::string& path, bool bare) {
  if (error != ENOENT || bare) return win32_error_from_errno(error);
  size_t slash = path.rfind('/');
  std::string parent = slash == 0 ? "/" : path.substr(0, slash);
  struct stat info;
  return stat(parent.c_str(), &info) == 0 ? W32_ERROR_FILE_NOT_FOUND
                                          : W32_ERROR_PATH_NOT_FOUND;
}

// Reads the whole file into contents.
StatusCode read_file(const char* file_name, std::string* contents) {
  bool bare = !has_directory(file_name);
  std::string path =
      bare ? posix_root_path("inf") + "/" + file_name : file_name;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT && bare) {
    std::string found;
    if (find_folded_entry(posix_root_path("inf"), file_name, &found)) {
      path = found;
      fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
  }
  if (fd < 0) return open_error(errno, path, bare);
  struct stat info;
  StatusCode status = W32_ERROR_SUCCESS;
  if (fstat(fd, &info) != 0) {
    status = W32_ERROR_FILE_INVALID;
  } else if (S_ISDIR(info.st_mode)) {
    status = W32_ERROR_ACCESS_DENIED;
  } else if (info.st_size > kMaxFileSize) {
    status = W32_ERROR_NOT_ENOUGH_MEMORY;
  } else {
    contents->resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < contents->size()) {
      ssize_t got = read(fd, &(*contents)[done], contents->size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<size_t>(got);
    }
    contents->resize(done);
  }
  close(fd);
  return status;
}

// The length of the text the parser reads: up to the first end-of-file mark
// (Ctrl-Z).
size_t text_length(const std::string& text) {
  size_t end = text.find('\x1A');
  return end == std::string::npos ? text.size() : end;
}

// True when [Version] names one of the WIN4 signatures.
bool has_win4_signature(const InfFileHandle* inf) {
  int32_t version = find_section(inf, "Version");
  if (version < 0) return false;
  std::string text;
  const SectionRecord& section = inf->sections[version];
  for (uint32_t i = 0; i < section.line_count; ++i) {
    const LineRecord* line = line_at(inf, version, i);
    if (!line->has_key || !key_matches(inf, line, "Signature", &text)) {
      continue;
    }
    const FieldRecord* value = raw_field(inf, line, 1);
    if (value == nullptr) return false;
    substitute(inf, *value, &text);
    for (const char* signature :
         {"$Windows NT$", "$Chicago$", "$Windows 95$"}) {
      if (equal_folded(text.data(), text.size(), signature,
                       std::strlen(signature))) {
        return true;
      }
    }
    return false;
  }
  return false;
}

// Parses the file's bytes, converted first when they are Unicode.
StatusCode parse_contents(const std::string& contents, InfFileHandle* inf) {
  std::string decoded;
  bool unicode = inf_text_is_unicode(contents);
  if (unicode) inf_decode_text(contents, &decoded);
  const std::string& text = unicode ? decoded : contents;
  size_t size = text_length(text);
  Parser parser = {};
  parser.data = text.data();
  parser.size = size;
  parser.inf = inf;
  parser.section = -1;
  inf->text.reserve(size + size / 4 + 16);
  parser.raw_lines.reserve(size / 16 + 4);
  inf->fields.reserve(size / 8 + 4);
  StatusCode status = parse_text(&parser);
  if (status != W32_ERROR_SUCCESS) return status;
  group_lines(&parser);
  inf->strings_section = find_section(inf, "Strings");
  return W32_ERROR_SUCCESS;
}

}  // namespace

StatusCode inf_open(const char* file_name, InfHandle* out) {
  if (file_name == nullptr || out == nullptr) {
    return W32_ERROR_INVALID_PARAMETER;
  }
  std::string contents;
  StatusCode status = read_file(file_name, &contents);
  if (status != W32_ERROR_SUCCESS) return status;
  if (contents.empty()) return W32_ERROR_FILE_INVALID;
  InfFileHandle* inf = new InfFileHandle();
  status = parse_contents(contents, inf);
  if (status == W32_ERROR_SUCCESS && !has_win4_signature(inf)) {
    status = W32_ERROR_WRONG_INF_STYLE;
  }
  if (status != W32_ERROR_SUCCESS) {
    delete inf;
    return status;
  }
  *out = inf;
  return W32_ERROR_SUCCESS;
}

void inf_close(InfHandle inf) { delete inf; }

StatusCode inf_find_first_line(InfHandle inf, const char* section,
                               const char* key, InfLine* line) {
  if (line == nullptr) return W32_ERROR_INVALID_PARAMETER;
  int32_t found = find_section(inf, section);
  if (found < 0) return W32_ERROR_LINE_NOT_FOUND;
  uint32_t count = inf->sections[found].line_count;
  std::string scratch;
  for (uint32_t i = 0; i < count; ++i) {
    if (key == nullptr ||
        key_matches(inf, line_at(inf, found, i), key, &scratch)) {
      fill_line(inf, static_cast<uint32_t>(found), i, line);
      return W32_ERROR_SUCCESS;
    }
  }
  return W32_ERROR_LINE_NOT_FOUND;
}

StatusCode inf_find_next_line(const InfLine* line, InfLine* next) {
  if (context_line(line) == nullptr || next == nullptr) {
    return W32_ERROR_INVALID_PARAMETER;
  }
  InfFileHandle* inf = static_cast<InfFileHandle*>(line->current_inf);
  if (line->line + 1 >= inf->sections[line->section].line_count) {
    return W32_ERROR_LINE_NOT_FOUND;
  }
  fill_line(inf, line->section, line->line + 1, next);
  return W32_ERROR_SUCCESS;
}

StatusCode inf_get_line_by_index(InfHandle inf, const char* section,
                                 uint32_t index, InfLine* line) {
  if (line == nullptr) return W32_ERROR_INVALID_PARAMETER;
  int32_t found = find_section(inf, section);
  if (found < 0 || index >= inf->sections[found].line_count) {
    return W32_ERROR_LINE_NOT_FOUND;
  }
  fill_line(inf, static_cast<uint32_t>(found), index, line);
  return W32_ERROR_SUCCESS;
}

int32_t inf_get_line_count(InfHandle inf, const char* section) {
  int32_t found = find_section(inf, section);
  return found < 0 ? -1 : static_cast<int32_t>(inf->sections[found].line_count);
}

StatusCode inf_get_string_field(const InfLine* line, uint32_t index,
                                char* buffer, uint32_t capacity,
                                uint32_t* required) {
  std::string text;
  StatusCode status = read_field(line, index, &text);
  if (status != W32_ERROR_SUCCESS) return status;
  uint32_t size = static_cast<uint32_t>(text.size() + 1);
  if (required != nullptr) *required = size;
  if (buffer == nullptr) return W32_ERROR_SUCCESS;
  if (capacity < size) return W32_ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(buffer, text.c_str(), size);
  return W32_ERROR_SUCCESS;
}

StatusCode inf_get_int_field(const InfLine* line, uint32_t index,
                             int32_t* value) {
  std::string text;
  StatusCode status = read_field(line, index, &text);
  if (status != W32_ERROR_SUCCESS) return status;
  int32_t number = 0;
  if (!parse_long(text.c_str(), &number)) return W32_ERROR_INVALID_DATA;
  if (value != nullptr) *value = number;
  return W32_ERROR_SUCCESS;
}
