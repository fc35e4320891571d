// A strict reader of RFC 8259 JSON and a compact writer.
#include "json.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/utf8.h"

namespace {

// Values nested deeper than this are refused rather than recursed into.
constexpr int MAX_DEPTH = 64;

struct Reader {
  const std::string& text;
  size_t pos;
  std::string* error;
};

bool fail(Reader* reader, const char* what) {
  char message[96];
  std::snprintf(message, sizeof(message), "%s at byte %zu", what, reader->pos);
  *reader->error = message;
  return false;
}

void skip_blanks(Reader* reader) {
  while (reader->pos < reader->text.size()) {
    char c = reader->text[reader->pos];
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return;
    ++reader->pos;
  }
}

bool take_literal(Reader* reader, const char* word) {
  size_t length = std::strlen(word);
  if (reader->text.compare(reader->pos, length, word) != 0) return false;
  reader->pos += length;
  return true;
}

// Four hexadecimal digits after "\u".
bool read_hex4(Reader* reader, uint32_t* unit) {
  if (reader->text.size() - reader->pos < 4) return false;
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    char c = reader->text[reader->pos + i];
    value <<= 4;
    if (c >= '0' && c <= '9') {
      value |= static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      value |= static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      value |= static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return false;
    }
  }
  reader->pos += 4;
  *unit = value;
  return true;
}

// "\u" escapes: one unit, or a surrogate pair; a lone surrogate is refused,
// since it is no character.
bool read_unicode_escape(Reader* reader, std::string* out) {
  uint32_t unit = 0;
  if (!read_hex4(reader, &unit)) return fail(reader, "bad \\u escape");
  if (unit >= 0xDC00 && unit <= 0xDFFF) return fail(reader, "lone surrogate");
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    uint32_t low = 0;
    if (!take_literal(reader, "\\u") || !read_hex4(reader, &low) ||
        low < 0xDC00 || low > 0xDFFF) {
      return fail(reader, "lone surrogate");
    }
    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  utf8_append(unit, out);
  return true;
}

bool read_escape(Reader* reader, std::string* out) {
  if (reader->pos >= reader->text.size()) return fail(reader, "open string");
  char c = reader->text[reader->pos++];
  switch (c) {
    case '"': out->push_back('"'); return true;
    case '\\': out->push_back('\\'); return true;
    case '/': out->push_back('/'); return true;
    case 'b': out->push_back('\b'); return true;
    case 'f': out->push_back('\f'); return true;
    case 'n': out->push_back('\n'); return true;
    case 'r': out->push_back('\r'); return true;
    case 't': out->push_back('\t'); return true;
    case 'u': return read_unicode_escape(reader, out);
    default: --reader->pos; return fail(reader, "bad escape");
  }
}

// A string after its opening quote; its text must be UTF-8.
bool read_string(Reader* reader, std::string* out) {
  out->clear();
  const std::string& text = reader->text;
  while (reader->pos < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[reader->pos]);
    if (c == '"') {
      ++reader->pos;
      return true;
    }
    if (c < 0x20) return fail(reader, "control character in string");
    if (c == '\\') {
      ++reader->pos;
      if (!read_escape(reader, out)) return false;
      continue;
    }
    size_t start = reader->pos;
    uint32_t code_point = 0;
    if (!utf8_decode(text, &reader->pos, &code_point)) {
      return fail(reader, "text that is not UTF-8");
    }
    out->append(text, start, reader->pos - start);
  }
  return fail(reader, "open string");
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The number at the reader's position, with the grammar's exact form.
bool read_number(Reader* reader, JsonValue* out) {
  const std::string& text = reader->text;
  size_t start = reader->pos;
  size_t at = start;
  if (at < text.size() && text[at] == '-') ++at;
  if (at >= text.size() || !is_digit(text[at])) return fail(reader, "bad number");
  if (text[at] == '0') {
    ++at;
  } else {
    while (at < text.size() && is_digit(text[at])) ++at;
  }
  bool plain = true;
  if (at < text.size() && text[at] == '.') {
    plain = false;
    ++at;
    if (at >= text.size() || !is_digit(text[at])) return fail(reader, "bad number");
    while (at < text.size() && is_digit(text[at])) ++at;
  }
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    plain = false;
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    if (at >= text.size() || !is_digit(text[at])) return fail(reader, "bad number");
    while (at < text.size() && is_digit(text[at])) ++at;
  }
  out->kind = JSON_NUMBER;
  out->text = text.substr(start, at - start);
  out->number = std::strtod(out->text.c_str(), nullptr);
  reader->pos = at;
  if (plain) {
    errno = 0;
    long long value = std::strtoll(out->text.c_str(), nullptr, 10);
    out->integral = errno == 0;
    out->integer = value;
  } else if (std::isfinite(out->number) && std::trunc(out->number) == out->number &&
             std::fabs(out->number) < 9007199254740992.0) {
    out->integral = true;  // 1.0 or 1e3: an integer written another way
    out->integer = static_cast<int64_t>(out->number);
  }
  return true;
}

bool read_value(Reader* reader, JsonValue* out, int depth);

bool read_array(Reader* reader, JsonValue* out, int depth) {
  out->kind = JSON_ARRAY;
  skip_blanks(reader);
  if (take_literal(reader, "]")) return true;
  for (;;) {
    JsonValue item;
    if (!read_value(reader, &item, depth + 1)) return false;
    out->items.push_back(std::move(item));
    skip_blanks(reader);
    if (take_literal(reader, "]")) return true;
    if (!take_literal(reader, ",")) return fail(reader, "expected , or ]");
  }
}

bool read_object(Reader* reader, JsonValue* out, int depth) {
  out->kind = JSON_OBJECT;
  skip_blanks(reader);
  if (take_literal(reader, "}")) return true;
  for (;;) {
    skip_blanks(reader);
    if (!take_literal(reader, "\"")) return fail(reader, "expected a name");
    size_t name_at = reader->pos - 1;
    std::string name;
    if (!read_string(reader, &name)) return false;
    if (json_member(*out, name.c_str()) != nullptr) {
      reader->pos = name_at;
      return fail(reader, "name given twice");
    }
    skip_blanks(reader);
    if (!take_literal(reader, ":")) return fail(reader, "expected :");
    JsonValue value;
    if (!read_value(reader, &value, depth + 1)) return false;
    out->members.emplace_back(std::move(name), std::move(value));
    skip_blanks(reader);
    if (take_literal(reader, "}")) return true;
    if (!take_literal(reader, ",")) return fail(reader, "expected , or }");
  }
}

bool read_value(Reader* reader, JsonValue* out, int depth) {
  if (depth >= MAX_DEPTH) return fail(reader, "nesting too deep");
  skip_blanks(reader);
  if (reader->pos >= reader->text.size()) return fail(reader, "no value");
  char c = reader->text[reader->pos];
  if (c == '{') {
    ++reader->pos;
    return read_object(reader, out, depth);
  }
  if (c == '[') {
    ++reader->pos;
    return read_array(reader, out, depth);
  }
  if (c == '"') {
    ++reader->pos;
    out->kind = JSON_STRING;
    return read_string(reader, &out->text);
  }
  if (take_literal(reader, "null")) {
    out->kind = JSON_NULL;
    return true;
  }
  if (take_literal(reader, "true")) {
    *out = json_bool(true);
    return true;
  }
  if (take_literal(reader, "false")) {
    *out = json_bool(false);
    return true;
  }
  if (c == '-' || is_digit(c)) return read_number(reader, out);
  return fail(reader, "unexpected character");
}

void write_string(const std::string& text, std::string* out) {
  out->push_back('"');
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(ch);
    } else if (c == '\n') {
      out->append("\\n");
    } else if (c == '\r') {
      out->append("\\r");
    } else if (c == '\t') {
      out->append("\\t");
    } else if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof(escape), "\\u%04x", c);
      out->append(escape);
    } else {
      out->push_back(ch);
    }
  }
  out->push_back('"');
}

void write_value(const JsonValue& value, std::string* out) {
  switch (value.kind) {
    case JSON_NULL:
      out->append("null");
      return;
    case JSON_BOOL:
      out->append(value.boolean ? "true" : "false");
      return;
    case JSON_NUMBER:
      if (value.integral) {
        out->append(std::to_string(value.integer));
      } else {
        out->append(value.text.empty() ? "0" : value.text);
      }
      return;
    case JSON_STRING:
      write_string(value.text, out);
      return;
    case JSON_ARRAY:
      out->push_back('[');
      for (size_t i = 0; i < value.items.size(); ++i) {
        if (i > 0) out->push_back(',');
        write_value(value.items[i], out);
      }
      out->push_back(']');
      return;
    case JSON_OBJECT:
      out->push_back('{');
      for (size_t i = 0; i < value.members.size(); ++i) {
        if (i > 0) out->push_back(',');
        write_string(value.members[i].first, out);
        out->push_back(':');
        write_value(value.members[i].second, out);
      }
      out->push_back('}');
      return;
  }
}

}  // namespace

bool json_parse(const std::string& text, JsonValue* out, std::string* error) {
  Reader reader{text, 0, error};
  *out = JsonValue();
  if (!read_value(&reader, out, 0)) return false;
  skip_blanks(&reader);
  if (reader.pos != text.size()) return fail(&reader, "text after the value");
  return true;
}

const JsonValue* json_member(const JsonValue& object, const char* name) {
  for (const auto& member : object.members) {
    if (member.first == name) return &member.second;
  }
  return nullptr;
}

JsonValue json_null() { return JsonValue(); }

JsonValue json_bool(bool value) {
  JsonValue result;
  result.kind = JSON_BOOL;
  result.boolean = value;
  return result;
}

JsonValue json_integer(int64_t value) {
  JsonValue result;
  result.kind = JSON_NUMBER;
  result.integral = true;
  result.integer = value;
  result.number = static_cast<double>(value);
  return result;
}

JsonValue json_string(std::string text) {
  JsonValue result;
  result.kind = JSON_STRING;
  result.text = std::move(text);
  return result;
}

JsonValue json_array() {
  JsonValue result;
  result.kind = JSON_ARRAY;
  return result;
}

JsonValue json_object() {
  JsonValue result;
  result.kind = JSON_OBJECT;
  return result;
}

void json_add(JsonValue* object, const char* name, JsonValue value) {
  object->members.emplace_back(name, std::move(value));
}

void json_push(JsonValue* array, JsonValue value) {
  array->items.push_back(std::move(value));
}

std::string json_write(const JsonValue& value) {
  std::string out;
  write_value(value, &out);
  return out;
}
