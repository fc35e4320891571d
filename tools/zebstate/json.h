// JSON values, read from UTF-8 text and written as one line of UTF-8 text.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

enum JsonKind { JSON_NULL, JSON_BOOL, JSON_NUMBER, JSON_STRING, JSON_ARRAY,
                JSON_OBJECT };

// One value. An object keeps its members in the order of the text; the
// reader refuses a name that stands twice in one object.
struct JsonValue {
  JsonKind kind = JSON_NULL;
  bool boolean = false;
  bool integral = false;  // a number with an exact 64-bit integer value
  int64_t integer = 0;    // that value, when integral
  double number = 0;      // every number
  std::string text;       // a string, or a number's text as written
  std::vector<JsonValue> items;                             // an array
  std::vector<std::pair<std::string, JsonValue>> members;  // an object
};

// Reads the one value that text holds (white space around it allowed).
// false with a message naming the byte offset of the fault in *error.
bool json_parse(const std::string& text, JsonValue* out, std::string* error);

// The member called name of an object, or null when there is none.
const JsonValue* json_member(const JsonValue& object, const char* name);

// Values to build a document with.
JsonValue json_null();
JsonValue json_bool(bool value);
JsonValue json_integer(int64_t value);
JsonValue json_string(std::string text);
JsonValue json_array();
JsonValue json_object();

// Appends a member to an object (or an item to an array).
void json_add(JsonValue* object, const char* name, JsonValue value);
void json_push(JsonValue* array, JsonValue value);

// The value as compact JSON on one line: "/" and non-ASCII characters as
// they are, control characters escaped.
std::string json_write(const JsonValue& value);
