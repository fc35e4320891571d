// libFuzzer harness of the POSIX INF reader. Each input is written as the
// setup file and opened through the platform API; every section the parser
// finds (and a few it may not) is walked by index, by key and line by line,
// and every field is read as text into an exact, a short and no buffer and
// as an integer. The answers must agree with one another: a size reported
// is the size a copy needs, a buffer one byte short gives 122, a line found
// by its key is that key's first line, every text is UTF-8 (the native
// code page), and nothing reads out of bounds.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_root.h"
#include "platform/inf.h"
#include "platform/posix/inf_model.h"
#include "platform/posix/inf_text.h"
#include "platform/utf8.h"

namespace {

std::string g_inf_path;

constexpr uint32_t kMaxFieldsTried = 12;
constexpr uint32_t kMaxLinesWalked = 64;

// Names to look up besides the sections of the file: the setup file's own,
// one that no file has, and the empty name.
const char* const kFixedSections[] = {
    "cfg_strings", "cfg_prop_map", "Version", "Strings", "no such section", ""};

// Reads field index of line every way there is and checks the answers
// against one another. Returns the field's text, or false when it has none.
bool read_field(const InfLine& line, uint32_t index, std::string* text) {
  uint32_t required = 0;
  StatusCode status = inf_get_string_field(&line, index, nullptr, 0, &required);
  if (status != W32_ERROR_SUCCESS) {
    char buffer[8];
    FUZZ_CHECK(inf_get_string_field(&line, index, buffer, sizeof buffer,
                                    nullptr) == status);
    return false;
  }
  FUZZ_CHECK(required >= 1);
  std::vector<char> exact(required);
  FUZZ_CHECK(inf_get_string_field(&line, index, exact.data(), required,
                                  nullptr) == W32_ERROR_SUCCESS);
  // A field may hold a zero byte read from the file; the size counts the
  // whole field all the same.
  FUZZ_CHECK(exact[required - 1] == '\0');
  FUZZ_CHECK(std::strlen(exact.data()) + 1 <= required);
  if (required > 1) {
    std::vector<char> small(required - 1, 'x');
    FUZZ_CHECK(inf_get_string_field(&line, index, small.data(), required - 1,
                                    nullptr) == W32_ERROR_INSUFFICIENT_BUFFER);
  }
  int32_t number = 0;
  StatusCode int_status = inf_get_int_field(&line, index, &number);
  FUZZ_CHECK(int_status == W32_ERROR_SUCCESS ||
             int_status == W32_ERROR_INVALID_DATA);
  text->assign(exact.data(), required - 1);
  FUZZ_CHECK(utf8_valid(*text));
  return true;
}

// Reads the fields of line until one is missing.
void read_fields(const InfLine& line, std::vector<std::string>* fields) {
  fields->clear();
  for (uint32_t index = 0; index < kMaxFieldsTried; ++index) {
    std::string text;
    if (!read_field(line, index, &text)) {
      if (index > 0) return;
      text = "\x01no key";
    }
    fields->push_back(text);
  }
}

// Walks section by index, then line by line from its first line, and finds
// each line again by its key.
void walk_section(InfHandle inf, const char* section) {
  int32_t count = inf_get_line_count(inf, section);
  InfLine line{};
  StatusCode first = inf_find_first_line(inf, section, nullptr, &line);
  if (count < 0) {
    FUZZ_CHECK(first != W32_ERROR_SUCCESS);
    FUZZ_CHECK(inf_get_line_by_index(inf, section, 0, &line) ==
               W32_ERROR_LINE_NOT_FOUND);
    return;
  }
  FUZZ_CHECK((first == W32_ERROR_SUCCESS) == (count > 0));
  uint32_t walked = 0;
  while (first == W32_ERROR_SUCCESS && walked < kMaxLinesWalked) {
    InfLine by_index{};
    FUZZ_CHECK(inf_get_line_by_index(inf, section, walked, &by_index) ==
               W32_ERROR_SUCCESS);
    FUZZ_CHECK(by_index.line == line.line && by_index.section == line.section);
    std::vector<std::string> fields;
    read_fields(line, &fields);
    // A key is found again by its text, which cannot hold a zero byte.
    if (!fields.empty() && fields[0] != "\x01no key" &&
        fields[0].find('\0') == std::string::npos) {
      InfLine by_key{};
      FUZZ_CHECK(inf_find_first_line(inf, section, fields[0].c_str(),
                                     &by_key) == W32_ERROR_SUCCESS);
      FUZZ_CHECK(by_key.section == line.section && by_key.line <= line.line);
    }
    InfLine next{};
    first = inf_find_next_line(&line, &next);
    line = next;
    ++walked;
  }
  if (walked < kMaxLinesWalked) {
    FUZZ_CHECK(walked == static_cast<uint32_t>(count));
    FUZZ_CHECK(inf_get_line_by_index(inf, section, walked, &line) ==
               W32_ERROR_LINE_NOT_FOUND);
  }
}

// The section names the parser finds in the text as the reader sees it.
std::vector<std::string> section_names(const std::string& raw) {
  std::string decoded;
  bool decode = inf_text_needs_decoding(raw);
  if (decode) inf_decode_text(raw, &decoded);
  const std::string& text = decode ? decoded : raw;
  InfModel model;
  std::vector<std::string> names;
  if (inf_parse_text(text.data(), text.size(), &model) != W32_ERROR_SUCCESS) {
    return names;
  }
  for (const InfSectionRecord& section : model.sections) {
    names.emplace_back(model.text.data() + section.name.offset,
                       section.name.length);
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_inf_path = make_fuzz_root() + "/inf/zebsetup.inf";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string raw(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream file(g_inf_path, std::ios::binary | std::ios::trunc);
    file.write(raw.data(), static_cast<std::streamsize>(raw.size()));
  }
  InfHandle inf = nullptr;
  StatusCode status = inf_open("zebsetup.inf", &inf);
  if (status != W32_ERROR_SUCCESS) {
    FUZZ_CHECK(inf == nullptr);
    return 0;
  }
  for (const std::string& name : section_names(raw)) {
    walk_section(inf, name.c_str());
  }
  for (const char* name : kFixedSections) walk_section(inf, name);
  inf_close(inf);
  return 0;
}
