#include "regfile_read.h"

#include <algorithm>

#include "platform/integer_scan.h"
#include "platform/text_encoding.h"
#include "registry_limits.h"
#include "zebreg_registry.h"

namespace {

const char16_t kHeader5[] = u"Windows Registry Editor Version 5.00";
const char16_t kHeader4[] = u"REGEDIT4";
const char kNulInLine[] = "a NUL character in the line";

bool at_end(const RegFileReader& r) {
  return r.pos + (r.utf16 ? 2 : 1) > r.size;
}

char16_t take_unit(RegFileReader* r) {
  if (!r->utf16) return windows_1252_to_utf16(r->bytes[r->pos++]);
  char16_t unit =
      static_cast<char16_t>(r->bytes[r->pos] | (r->bytes[r->pos + 1] << 8));
  r->pos += 2;
  return unit;
}

// Reads the next line into r->line; false at the end of the file.
bool read_line(RegFileReader* r) {
  if (at_end(*r)) return false;
  r->line.clear();
  r->line_number++;
  while (!at_end(*r)) {
    char16_t unit = take_unit(r);
    if (unit == u'\n') break;
    r->line.push_back(unit);
  }
  if (!r->line.empty() && r->line.back() == u'\r') r->line.pop_back();
  return true;
}

// text as a message shows it, '?' standing for a lone surrogate.
std::string shown(const std::u16string& text) {
  std::string out;
  text_from_utf16(text, &out);
  return out;
}

size_t skip_blanks(const std::u16string& line, size_t pos) {
  while (pos < line.size() && (line[pos] == u' ' || line[pos] == u'\t')) {
    ++pos;
  }
  return pos;
}

bool has_nul(const std::u16string& line) {
  return line.find(u'\0') != std::u16string::npos;
}

bool is_comment(char16_t c) { return c == u';' || c == u'#'; }

// Whether only blanks, or blanks and a comment, follow pos.
bool only_comment_left(const std::u16string& line, size_t pos) {
  pos = skip_blanks(line, pos);
  return pos == line.size() || line[pos] == u';';
}

bool starts_with(const std::u16string& line, size_t pos, const char* word) {
  for (; *word != '\0'; ++word, ++pos) {
    if (pos >= line.size() || line[pos] != static_cast<char16_t>(*word)) {
      return false;
    }
  }
  return true;
}

// Reads the number of rule at line[*pos] into *value and moves *pos past
// it; false when none is there.
bool read_hex_number(const std::u16string& line, size_t* pos,
                     const IntegerRule& rule, uint32_t* value) {
  uint64_t number = 0;
  size_t used = 0;
  if (!scan_integer(line.data() + *pos, line.size() - *pos, rule, &number,
                    &used)) {
    return false;
  }
  *value = static_cast<uint32_t>(number);
  *pos += used;
  return true;
}

bool fail(const std::string& text, std::string* reason) {
  *reason = text;
  return false;
}

// text as the store keeps it, in *out; false with *reason when the store's
// UTF-8 has no form for it.
bool store_text(const std::u16string& text, std::string* out,
                std::string* reason) {
  if (text_from_utf16(text, out) == W32_ERROR_SUCCESS) return true;
  return fail(
      "a lone UTF-16 surrogate (a unit of D800 to DFFF without its pair), "
      "which the store's UTF-8 text cannot hold",
      reason);
}

// The quoted string at line[*pos] (a '"'), unescaped, into *text; *pos ends
// after its closing quote.
bool read_quoted(const std::u16string& line, size_t* pos, std::u16string* text,
                 std::string* reason) {
  text->clear();
  for (size_t i = *pos + 1; i < line.size(); ++i) {
    char16_t c = line[i];
    if (c == u'"') {
      *pos = i + 1;
      return true;
    }
    if (c != u'\\') {
      text->push_back(c);
      continue;
    }
    if (++i == line.size()) break;
    switch (line[i]) {
      case u'\\':
      case u'"':
        text->push_back(line[i]);
        break;
      case u'r':
        text->push_back(u'\r');
        break;
      case u'n':
        text->push_back(u'\n');
        break;
      default:
        return fail(
            "unrecognized escape sequence [\\" + shown(line.substr(i, 1)) + "]",
            reason);
    }
  }
  return fail("a string without its closing quote", reason);
}

// The next line of a value continued with "\": comment lines are passed
// over; false with *reason on a blank line, false without one at the end of
// the file (which ends the value).
bool read_continuation(RegFileReader* r, std::string* reason) {
  while (read_line(r)) {
    if (has_nul(r->line)) return fail(kNulInLine, reason);
    size_t pos = skip_blanks(r->line, 0);
    if (pos == r->line.size()) {
      return fail("a value continued with '\\' onto a blank line", reason);
    }
    if (!is_comment(r->line[pos])) return true;
  }
  return false;
}

// The comma-separated bytes from r->line[pos], over continuation lines.
bool read_hex_bytes(RegFileReader* r, size_t pos, std::vector<uint8_t>* bytes,
                    std::string* reason) {
  bool expect_byte = true;
  for (;;) {
    pos = skip_blanks(r->line, pos);
    if (pos == r->line.size() || r->line[pos] == u';') return true;
    if (r->line[pos] == u'\\') {
      if (!expect_byte || !only_comment_left(r->line, pos + 1)) {
        return fail("invalid hex data: '\\' continues a line after a ','",
                    reason);
      }
      if (!read_continuation(r, reason)) return reason->empty();
      pos = 0;
      continue;
    }
    uint32_t byte = 0;
    if (!expect_byte || !read_hex_number(r->line, &pos, kHexByteRule, &byte)) {
      return fail(
          "invalid hex data: bytes are 1 or 2 hexadecimal digits "
          "separated by ','",
          reason);
    }
    bytes->push_back(static_cast<uint8_t>(byte));
    expect_byte = pos < r->line.size() && r->line[pos] == u',';
    if (expect_byte) ++pos;
  }
}

// UTF-16LE bytes as the text the store keeps; a last odd byte is dropped,
// as the ANSI registry calls drop it.
bool utf16le_to_store_text(std::vector<uint8_t>* bytes, std::string* reason) {
  std::u16string units(bytes->size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] =
        static_cast<char16_t>((*bytes)[2 * i] | ((*bytes)[2 * i + 1] << 8));
  }
  std::string text;
  if (!store_text(units, &text, reason)) return false;
  bytes->assign(text.begin(), text.end());
  return true;
}

// Windows-1252 bytes as the text the store keeps.
void windows_1252_to_store_text(std::vector<uint8_t>* bytes) {
  std::u16string units;
  for (uint8_t byte : *bytes) units.push_back(windows_1252_to_utf16(byte));
  std::string text;
  text_from_utf16(units, &text);
  bytes->assign(text.begin(), text.end());
}

// hex: or hex(type): at r->line[pos] and its bytes.
bool read_hex_value(RegFileReader* r, size_t pos, RegFileEntry* entry,
                    std::string* reason) {
  pos += 3;
  entry->type = W32_REG_BINARY;
  if (pos < r->line.size() && r->line[pos] == u'(') {
    ++pos;
    if (!read_hex_number(r->line, &pos, kHexWordRule, &entry->type) ||
        pos >= r->line.size() || r->line[pos] != u')') {
      return fail("invalid value type in hex(...): 1 to 8 hexadecimal digits",
                  reason);
    }
    ++pos;
  }
  if (pos >= r->line.size() || r->line[pos] != u':') {
    return fail("unrecognized value data", reason);
  }
  if (!read_hex_bytes(r, pos + 1, &entry->data, reason)) return false;
  if (!is_string_type(entry->type)) return true;
  if (r->unicode_hex) return utf16le_to_store_text(&entry->data, reason);
  windows_1252_to_store_text(&entry->data);
  return true;
}

bool read_dword_value(const std::u16string& line, size_t pos,
                      RegFileEntry* entry, std::string* reason) {
  pos = skip_blanks(line, pos + 6);
  uint32_t number = 0;
  if (!read_hex_number(line, &pos, kHexWordRule, &number) ||
      !only_comment_left(line, pos)) {
    return fail("invalid dword data: 1 to 8 hexadecimal digits", reason);
  }
  entry->type = W32_REG_DWORD;
  for (int i = 0; i < 4; ++i) entry->data.push_back((number >> (8 * i)) & 0xFF);
  return true;
}

bool read_string_value(const std::u16string& line, size_t pos,
                       RegFileEntry* entry, std::string* reason) {
  std::u16string text;
  if (!read_quoted(line, &pos, &text, reason)) return false;
  if (!only_comment_left(line, pos)) {
    return fail("text after the string's closing quote", reason);
  }
  std::string bytes;
  if (!store_text(text, &bytes, reason)) return false;
  entry->type = W32_REG_SZ;
  entry->data.assign(bytes.begin(), bytes.end());
  entry->data.push_back(0);
  return true;
}

// What follows the '=' of a value line, from r->line[pos].
bool read_value_data(RegFileReader* r, size_t pos, RegFileEntry* entry,
                     std::string* reason) {
  const std::u16string& line = r->line;
  entry->action = RegFileAction::kValue;
  if (pos < line.size() && line[pos] == u'-') {
    entry->action = RegFileAction::kDeleteValue;
    return only_comment_left(line, pos + 1) || fail("text after '=-'", reason);
  }
  if (pos < line.size() && line[pos] == u'"') {
    return read_string_value(line, pos, entry, reason);
  }
  if (starts_with(line, pos, "dword:")) {
    return read_dword_value(line, pos, entry, reason);
  }
  if (starts_with(line, pos, "hex"))
    return read_hex_value(r, pos, entry, reason);
  return fail("unrecognized value data", reason);
}

bool read_value_line(RegFileReader* r, size_t pos, RegFileEntry* entry,
                     std::string* reason) {
  const std::u16string& line = r->line;
  entry->name.clear();
  if (line[pos] == u'@') {
    ++pos;
  } else {
    std::u16string name;
    if (!read_quoted(line, &pos, &name, reason)) return false;
    *reason = value_name_beyond_limits(name);
    if (!reason->empty() || !store_text(name, &entry->name, reason)) {
      return false;
    }
  }
  pos = skip_blanks(line, pos);
  if (pos == line.size() || line[pos] != u'=') {
    return fail("'=' expected after the value name", reason);
  }
  return read_value_data(r, skip_blanks(line, pos + 1), entry, reason);
}

// Whether text is the upper-case ASCII word, folding a-z to A-Z only.
bool is_word(const std::u16string& text, const char* word) {
  size_t i = 0;
  for (; i < text.size() && word[i] != '\0'; ++i) {
    char16_t c =
        text[i] >= u'a' && text[i] <= u'z' ? text[i] - u'a' + u'A' : text[i];
    if (c != static_cast<char16_t>(word[i])) return false;
  }
  return i == text.size() && word[i] == '\0';
}

bool is_local_machine(const std::u16string& root) {
  return is_word(root, "HKEY_LOCAL_MACHINE") || is_word(root, "HKLM");
}

// The names of path (which follows the root) joined by single backslashes.
bool join_key_names(const std::u16string& path, std::string* joined,
                    std::string* reason) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string::npos) end = path.size();
    std::string name;
    if (!store_text(path.substr(start, end - start), &name, reason)) {
      return false;
    }
    if (!name.empty()) *joined += (joined->empty() ? "" : "\\") + name;
    start = end + 1;
  }
  return true;
}

// [KEY] or [-KEY] at r->line[pos]; text after the last ']' is ignored.
bool read_key_line(const std::u16string& line, size_t pos, RegFileEntry* entry,
                   std::string* reason) {
  size_t close = line.rfind(u']');
  if (close == std::u16string::npos || close < pos) {
    return fail("a key line without its closing ']'", reason);
  }
  std::u16string key = line.substr(pos + 1, close - pos - 1);
  bool deletion = !key.empty() && key[0] == u'-';
  if (deletion) key.erase(0, 1);
  size_t slash = key.find(u'\\');
  if (!is_local_machine(key.substr(0, slash))) {
    return fail("the key '" + shown(key) +
                    "' is not below HKEY_LOCAL_MACHINE, the only root key "
                    "this store holds",
                reason);
  }
  entry->path.clear();
  if (slash == std::u16string::npos) slash = key.size();
  std::u16string path = key.substr(std::min(slash + 1, key.size()));
  *reason = key_path_beyond_limits(path);
  if (!reason->empty() || !join_key_names(path, &entry->path, reason)) {
    return false;
  }
  if (deletion && entry->path.empty()) {
    return fail("HKEY_LOCAL_MACHINE itself cannot be deleted", reason);
  }
  entry->action = deletion ? RegFileAction::kDeleteKey : RegFileAction::kKey;
  return true;
}

}  // namespace

bool regfile_open(const std::string& file, RegFileReader* reader) {
  reader->bytes = reinterpret_cast<const unsigned char*>(file.data());
  reader->size = file.size();
  reader->utf16 =
      file.size() >= 2 && reader->bytes[0] == 0xFF && reader->bytes[1] == 0xFE;
  reader->pos = reader->utf16 ? 2 : 0;
  reader->in_key = false;
  reader->line_number = 0;
  if (!read_line(reader)) return false;
  reader->unicode_hex = reader->utf16 && reader->line == kHeader5;
  return reader->line == kHeader5 || reader->line == kHeader4;
}

RegFileStatus regfile_next(RegFileReader* reader, RegFileEntry* entry,
                           std::string* reason) {
  reason->clear();
  while (read_line(reader)) {
    const std::u16string& line = reader->line;
    if (has_nul(line)) {
      *reason = kNulInLine;
      return RegFileStatus::kError;
    }
    size_t pos = skip_blanks(line, 0);
    if (pos == line.size() || is_comment(line[pos])) continue;
    entry->data.clear();
    bool read = false;
    if (line[pos] == u'[') {
      read = read_key_line(line, pos, entry, reason);
      reader->in_key = read && entry->action == RegFileAction::kKey;
    } else if ((line[pos] == u'@' || line[pos] == u'"') && !reader->in_key) {
      *reason = "a value before the first key, or after a key deletion";
    } else if (line[pos] == u'@' || line[pos] == u'"') {
      read = read_value_line(reader, pos, entry, reason);
    } else {
      *reason = "neither a key, a value nor a comment";
    }
    return read ? RegFileStatus::kEntry : RegFileStatus::kError;
  }
  return RegFileStatus::kEnd;
}
